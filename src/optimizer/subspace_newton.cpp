#include "optimizer/subspace_newton.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kernels/column_view.hpp"
#include "kernels/vector_ops.hpp"

namespace kavro {

namespace {

double dot(int32_t n, const double* a, const double* b) {
  double s = 0.0;
  for (int32_t k = 0; k < n; ++k) s += a[k] * b[k];
  return s;
}

}  // namespace

SubspaceNewton::SubspaceNewton(const Problem& prob, const ProblemState& state, BasisFactors& basis,
                               SubproblemObjective& objective, const Parameters& params)
    : prob_(prob),
      state_(state),
      basis_(basis),
      objective_(objective),
      option_(objective.secondDerivativesOffered() ? params.hessianOption : kQuasiNewtonHessian),
      automaticFrom_(params.hessianMemory > 0 ? kAutomaticThreshold
                                              : std::max(kAutomaticThreshold, params.hessianDimension + 1)),
      m_(prob.m),
      n_(prob.n),
      nnv_(prob.nNonlinVars()) {
  const auto nnv = static_cast<size_t>(std::max(nnv_, 1));
  const auto m = static_cast<size_t>(std::max(m_, 1));
  const auto maxS = static_cast<size_t>(std::max(1, params.superbasicsLimit)) + 1;
  hv_.assign(nnv, 0.0);
  d_.assign(nnv, 0.0);
  rowWork_.assign(m, 0.0);
  rowSolution_.assign(m, 0.0);
  for (auto* v : {&r_, &z_, &dir_, &q_, &x_, &scratch_, &modelZ_}) v->assign(maxS, 0.0);
  if (option_ != kQuasiNewtonHessian) dense_.assign(static_cast<size_t>(kDenseOrder * kDenseOrder), 0.0);
}

bool SubspaceNewton::wanted(int32_t ns) const {
  if (ns <= 0 || nnv_ <= 0) return false;
  if (option_ == kExactHessian) return true;
  return option_ == kAutomaticHessian && ns >= automaticFrom_;
}

bool SubspaceNewton::direction(int32_t ns, const double* rg, const double* qnDirection, const SubspaceHessian& model,
                               double* pS) {
  if (!objective_.prepareHessian(state_.x.data())) return false;
  const bool made = ns <= kDenseOrder ? modifiedCholesky(ns, rg, pS)
                                      : conjugateGradients(ns, rg, qnDirection, model, pS);
  // Rounding may spoil descent in a nearly flat subspace; the quasi-Newton direction is safe.
  return made && dot(ns, rg, pS) < 0.0;
}

// d = Z v over the nonlinear variables (the basic ones follow the superbasic ones), w = H d,
// then Z'w = w_S - S' B^-T w_B.
bool SubspaceNewton::reducedProduct(int32_t ns, const double* v, double* out) {
  ++products_;
  const kernels::ColumnView a(prob_.a);
  const int32_t* list = basis_.list();
  double* w = rowWork_.data();
  double* pB = rowSolution_.data();
  std::fill(w, w + m_, 0.0);
  for (int32_t k = 0; k < ns; ++k) {
    const int32_t j = list[m_ + k];
    if (v[k] == 0.0) continue;
    if (j >= n_) w[j - n_] += v[k];
    else a.add(j, v[k], w);
  }
  basis_.lu().solveB(w, pB);
  double* d = d_.data();
  std::fill(d, d + nnv_, 0.0);
  for (int32_t k = 0; k < m_; ++k)
    if (list[k] < nnv_) d[list[k]] = -pB[k];
  for (int32_t k = 0; k < ns; ++k)
    if (list[m_ + k] < nnv_) d[list[m_ + k]] = v[k];
  double* hv = hv_.data();
  if (!objective_.hessianProduct(d, hv)) return false;
  for (int32_t k = 0; k < m_; ++k) w[k] = list[k] < nnv_ ? hv[list[k]] : 0.0;
  basis_.lu().solveBt(w, pB);
  for (int32_t k = 0; k < ns; ++k) {
    const int32_t j = list[m_ + k];
    const double aY = j < n_ ? a.dot(j, pB) : pB[j - n_];
    out[k] = (j < nnv_ ? hv[j] : 0.0) - aY;
  }
  return true;
}

void SubspaceNewton::precondition(int32_t ns, const SubspaceHessian& model, const double* r, double* z) {
  // The model's direction for a gradient g is -M^-1 g: M^-1 r is its direction for -r.
  for (int32_t k = 0; k < ns; ++k) scratch_[static_cast<size_t>(k)] = -r[k];
  model.direction(ns, scratch_.data(), modelZ_.data(), z);
}

bool SubspaceNewton::conjugateGradients(int32_t ns, const double* rg, const double* qnDirection,
                                        const SubspaceHessian& model, double* pS) {
  double* r = r_.data();
  double* z = z_.data();
  double* d = dir_.data();
  double* x = x_.data();
  double* q = q_.data();
  for (int32_t k = 0; k < ns; ++k) {
    r[k] = -rg[k];
    d[k] = qnDirection[k];  // M^-1 r, already at hand
    x[k] = 0.0;
  }
  double rz = dot(ns, r, d);
  const double rgNorm = std::sqrt(dot(ns, rg, rg));
  const double eta = std::min(0.5, std::sqrt(kernels::maxNorm(ns, rg)));
  if (!(rz > 0.0)) return false;
  for (int32_t it = 0; it < std::min(ns, kMaxCgIterations); ++it) {
    ++cgIterations_;
    if (!reducedProduct(ns, d, q)) return false;
    const double curvature = dot(ns, d, q);
    if (!(curvature > 0.0)) {
      if (it == 0) {
        std::copy(d, d + ns, pS);
        return true;
      }
      // Downhill along d, as long as the iterate.
      const double sign = dot(ns, rg, d) > 0.0 ? -1.0 : 1.0;
      const double scale = kernels::maxNorm(ns, x) / std::max(kernels::maxNorm(ns, d), std::numeric_limits<double>::min());
      for (int32_t k = 0; k < ns; ++k) pS[k] = x[k] + sign * scale * d[k];
      return true;
    }
    const double alpha = rz / curvature;
    for (int32_t k = 0; k < ns; ++k) {
      x[k] += alpha * d[k];
      r[k] -= alpha * q[k];
    }
    if (std::sqrt(dot(ns, r, r)) <= eta * rgNorm) break;
    precondition(ns, model, r, z);
    const double rzNext = dot(ns, r, z);
    if (!(rzNext > 0.0)) break;
    const double beta = rzNext / rz;
    rz = rzNext;
    for (int32_t k = 0; k < ns; ++k) d[k] = z[k] + beta * d[k];
  }
  std::copy(x, x + ns, pS);
  return true;
}

// Z'HZ by columns, symmetrized; then L D L' with the pivots raised as the header says, and
// pS = -(L D L')^-1 rg.
bool SubspaceNewton::modifiedCholesky(int32_t ns, const double* rg, double* pS) {
  double* A = dense_.data();
  const auto at = [ns](int32_t i, int32_t j) { return static_cast<size_t>(i) * static_cast<size_t>(ns) + j; };
  double* e = z_.data();
  for (int32_t j = 0; j < ns; ++j) {
    std::fill(e, e + ns, 0.0);
    e[j] = 1.0;
    if (!reducedProduct(ns, e, A + at(j, 0))) return false;
  }
  double maxDiag = 0.0, maxOff = 0.0;
  for (int32_t i = 0; i < ns; ++i) {
    maxDiag = std::max(maxDiag, std::fabs(A[at(i, i)]));
    for (int32_t j = 0; j < i; ++j) {
      const double s = 0.5 * (A[at(i, j)] + A[at(j, i)]);
      A[at(i, j)] = A[at(j, i)] = s;
      maxOff = std::max(maxOff, std::fabs(s));
    }
  }
  const double eps = std::numeric_limits<double>::epsilon();
  const double beta2 = std::max({maxDiag, ns > 1 ? maxOff / std::sqrt(double(ns) * ns - 1.0) : 0.0, eps});
  const double delta = eps * std::max(maxDiag + maxOff, 1.0);
  double* D = r_.data();
  // Column j of L below the diagonal overwrites A(i, j), i > j.
  for (int32_t j = 0; j < ns; ++j) {
    double cjj = A[at(j, j)];
    for (int32_t k = 0; k < j; ++k) cjj -= A[at(j, k)] * A[at(j, k)] * D[k];
    double theta = 0.0;
    for (int32_t i = j + 1; i < ns; ++i) {
      double cij = A[at(i, j)];
      for (int32_t k = 0; k < j; ++k) cij -= A[at(i, k)] * D[k] * A[at(j, k)];
      A[at(i, j)] = cij;
      theta = std::max(theta, std::fabs(cij));
    }
    D[j] = std::max({std::fabs(cjj), theta * theta / beta2, delta});
    for (int32_t i = j + 1; i < ns; ++i) A[at(i, j)] /= D[j];
  }
  for (int32_t i = 0; i < ns; ++i) {
    double s = -rg[i];
    for (int32_t k = 0; k < i; ++k) s -= A[at(i, k)] * pS[k];
    pS[i] = s;
  }
  for (int32_t i = 0; i < ns; ++i) pS[i] /= D[i];
  for (int32_t i = ns - 1; i >= 0; --i) {
    double s = pS[i];
    for (int32_t k = i + 1; k < ns; ++k) s -= A[at(k, i)] * pS[k];
    pS[i] = s;
  }
  return std::all_of(pS, pS + ns, [](double v) { return std::isfinite(v); });
}

}  // namespace kavro
