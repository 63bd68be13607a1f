#pragma once
// The second-order test of an answer: is the returned point a minimum, or a stationary point
// with a direction of negative curvature (a saddle point or a maximum)? A first-order
// certificate (nl_point_check.hpp) cannot tell them apart.
//
//   Curvature c = kavro::bench::reducedCurvature(model, x, y);
//
// With the answer's multipliers y (the optimizer's convention, sigma grad f - J'y = z), the
// Hessian of the Lagrangian sigma f - y'c is taken on the subspace that keeps every active
// constraint and bound as it is: the variables within the tolerance of a bound are held, and
// the directions must be orthogonal to the gradients of the rows within the tolerance of a
// limit. That subspace lies inside the critical cone, so a negative eigenvalue of the reduced
// Hessian there means that the point is not a local minimum when the active rows are linear (a
// step along the eigenvector, either way, stays feasible and lowers the objective to second
// order), and fails the usual second-order necessary condition otherwise.
//
// Dense linear algebra, for models of up to a few thousand variables: an orthonormal basis Z
// of the subspace by Gram-Schmidt, then Cholesky factorizations of Z'HZ + s I to bracket its
// smallest eigenvalue. "negative" means an eigenvalue below -tolerance * (1 + max |H_ij|).

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "nl/nl_evaluator.hpp"
#include "nl/nl_hessian.hpp"
#include "nl/nl_model.hpp"

namespace kavro::bench {

struct Curvature {
  bool evaluated = false;
  std::string failure;
  int32_t free = 0;        // variables not at a bound
  int32_t activeRows = 0;  // rows at a limit
  int32_t dimension = 0;   // of the subspace
  bool negative = false;   // an eigenvalue below -threshold
  double threshold = 0.0;
  double smallest = 0.0;   // bracketed to about 1e-3 relative when negative; else >= -threshold
};

namespace detail {

using Matrix = std::vector<std::vector<double>>;

inline bool atBound(double v, double lo, double up, double tol) {
  return (std::isfinite(lo) && v <= lo + tol * (1.0 + std::fabs(lo))) ||
         (std::isfinite(up) && v >= up - tol * (1.0 + std::fabs(up)));
}

// Gram-Schmidt (twice, for orthogonality) of v against the basis; v joins it when more than
// `rankTolerance` of its length is left. Gradients of rows active at one point may be parallel
// (degenerate active sets), and at a point returned within the tolerances they differ by about
// the point's error, 1e-7 or so: they must count once, so the test is far above that.
inline bool orthogonalize(std::vector<double>& v, Matrix& basis, double rankTolerance) {
  double before = 0.0;
  for (double a : v) before += a * a;
  before = std::sqrt(before);
  if (before == 0.0) return false;
  for (int pass = 0; pass < 2; ++pass)
    for (const auto& q : basis) {
      double d = 0.0;
      for (size_t k = 0; k < v.size(); ++k) d += q[k] * v[k];
      for (size_t k = 0; k < v.size(); ++k) v[k] -= d * q[k];
    }
  double after = 0.0;
  for (double a : v) after += a * a;
  after = std::sqrt(after);
  if (after <= rankTolerance * before) return false;
  for (double& a : v) a /= after;
  basis.push_back(std::move(v));
  return true;
}

// True when M + shift I is positive definite.
inline bool choleskySucceeds(const Matrix& m, double shift) {
  const size_t d = m.size();
  Matrix l(d, std::vector<double>(d, 0.0));
  for (size_t j = 0; j < d; ++j) {
    double s = m[j][j] + shift;
    for (size_t k = 0; k < j; ++k) s -= l[j][k] * l[j][k];
    if (!(s > 0.0)) return false;
    l[j][j] = std::sqrt(s);
    for (size_t i = j + 1; i < d; ++i) {
      double t = m[i][j];
      for (size_t k = 0; k < j; ++k) t -= l[i][k] * l[j][k];
      l[i][j] = t / l[j][j];
    }
  }
  return true;
}

}  // namespace detail

inline Curvature reducedCurvature(const nl::Model& m, const std::vector<double>& x, const std::vector<double>& y,
                                  double tolerance = 1e-6) {
  using detail::Matrix;
  Curvature c;
  const int32_t n = m.nVars(), mc = m.nCons();
  // The Hessian of sigma f + lambda'c with lambda = -y.
  std::vector<double> lambda(static_cast<size_t>(mc));
  for (int32_t i = 0; i < mc; ++i) lambda[static_cast<size_t>(i)] = -y[static_cast<size_t>(i)];
  const double sigma = m.nObjs() > 0 && m.objSense[0] == 1 ? -1.0 : 1.0;
  nl::Hessian hessian(m, m.nObjs() > 0 ? 0 : -1);
  std::vector<double> values(static_cast<size_t>(hessian.nonzeros()));
  if (!hessian.evaluate(x.data(), sigma, lambda.data(), values.data())) {
    c.failure = "the Hessian cannot be evaluated at the point";
    return c;
  }
  // The free variables and their places.
  std::vector<int32_t> place(static_cast<size_t>(n), -1);
  for (int32_t j = 0; j < n; ++j)
    if (!detail::atBound(x[static_cast<size_t>(j)], m.varLower[static_cast<size_t>(j)], m.varUpper[static_cast<size_t>(j)], tolerance))
      place[static_cast<size_t>(j)] = c.free++;
  const size_t nf = static_cast<size_t>(c.free);
  Matrix h(nf, std::vector<double>(nf, 0.0));
  double largest = 0.0;
  for (int64_t k = 0; k < hessian.nonzeros(); ++k) {
    const int32_t i = place[static_cast<size_t>(hessian.rowOf(k))], j = place[static_cast<size_t>(hessian.colOf(k))];
    largest = std::max(largest, std::fabs(values[static_cast<size_t>(k)]));
    if (i < 0 || j < 0) continue;
    h[static_cast<size_t>(i)][static_cast<size_t>(j)] = values[static_cast<size_t>(k)];
    h[static_cast<size_t>(j)][static_cast<size_t>(i)] = values[static_cast<size_t>(k)];
  }
  // The gradients of the active rows, on the free variables: an orthonormal basis of their span.
  const double rankTolerance = 10.0 * tolerance;
  nl::Evaluator ev(m);
  ev.setPoint(x.data());
  Matrix rows;
  std::vector<double> jac(m.conLinear.terms.size());
  double nonlinear = 0.0;
  for (int32_t i = 0; i < mc; ++i) {
    const int32_t f = m.conExpression(i);
    double body = 0.0;
    double* g = jac.data() + m.conLinear.start[static_cast<size_t>(i)];
    if (!ev.value(f, body) || !ev.gradient(f, nonlinear, g)) {
      c.failure = "constraint " + std::to_string(i + 1) + " cannot be evaluated at the point";
      return c;
    }
    if (!detail::atBound(body, m.conLower[static_cast<size_t>(i)], m.conUpper[static_cast<size_t>(i)], tolerance)) continue;
    ++c.activeRows;
    std::vector<double> v(nf, 0.0);
    for (int32_t k = m.conLinear.start[static_cast<size_t>(i)]; k < m.conLinear.start[static_cast<size_t>(i) + 1]; ++k) {
      const int32_t j = place[static_cast<size_t>(m.conLinear.terms[static_cast<size_t>(k)].var)];
      if (j >= 0) v[static_cast<size_t>(j)] += jac[static_cast<size_t>(k)];
    }
    detail::orthogonalize(v, rows, rankTolerance);
  }
  // The rest of a basis of the free space: the subspace, Z = basis[rank...].
  const size_t rank = rows.size();
  Matrix& basis = rows;
  for (size_t j = 0; j < nf && basis.size() < nf; ++j) {
    std::vector<double> e(nf, 0.0);
    e[j] = 1.0;
    detail::orthogonalize(e, basis, 1e-6);
  }
  const Matrix z(basis.begin() + static_cast<std::ptrdiff_t>(rank), basis.end());
  const size_t d = z.size();
  c.dimension = static_cast<int32_t>(d);
  // Z'HZ.
  Matrix hz(d, std::vector<double>(nf, 0.0));
  for (size_t a = 0; a < d; ++a)
    for (size_t i = 0; i < nf; ++i) {
      double s = 0.0;
      for (size_t k = 0; k < nf; ++k) s += h[i][k] * z[a][k];
      hz[a][i] = s;
    }
  Matrix reduced(d, std::vector<double>(d, 0.0));
  double spread = 0.0;
  for (size_t a = 0; a < d; ++a)
    for (size_t b = 0; b <= a; ++b) {
      double s = 0.0;
      for (size_t k = 0; k < nf; ++k) s += z[b][k] * hz[a][k];
      reduced[a][b] = reduced[b][a] = s;
      spread = std::max(spread, std::fabs(s));
    }
  c.evaluated = true;
  c.threshold = tolerance * (1.0 + largest);
  if (d == 0 || detail::choleskySucceeds(reduced, c.threshold)) {
    c.smallest = -c.threshold;
    return c;
  }
  // Not positive definite after the shift: bracket the smallest eigenvalue, which lies in
  // [-d spread, -threshold], by bisection on the shift.
  c.negative = true;
  double lo = c.threshold, hi = static_cast<double>(d) * spread + c.threshold;  // shifts: fails at lo, succeeds at hi
  for (int k = 0; k < 60 && hi - lo > 1e-3 * hi; ++k) {
    const double mid = 0.5 * (lo + hi);
    (detail::choleskySucceeds(reduced, mid) ? hi : lo) = mid;
  }
  c.smallest = -hi;
  return c;
}

}  // namespace kavro::bench
