#include "nl/nl_curvature.hpp"

#include <algorithm>
#include <cmath>
#include <new>

#include "nl/nl_evaluator.hpp"
#include "nl/nl_hessian.hpp"

namespace kavro::nl {

namespace {

// Free variables up to which the smallest eigenvalue is bracketed (see curvatureOf).
constexpr size_t kBracketedSize = 300;
// The dense test's operations at most: free^3 / 3 for a factorization, free^2 r to project on
// r active rows, free r^2 to orthogonalize them; about a third of a second here (1e9 of them
// took 0.85 s on cvxqp1). A test is made once at the end of a run and must not cost more than
// the run (blockqp1, 1,500 free variables and 1,000 active rows: 9 s of test after a 0.06 s
// solve); 1,000 free variables without active rows still pass.
constexpr double kMaxDenseWork = 4.0e8;

double denseWork(size_t free, size_t rows) {
  const double n = static_cast<double>(free), r = static_cast<double>(rows);
  return n * n * n / 3.0 + n * n * r + n * r * r;
}

// A dense square matrix by rows.
class Square {
 public:
  explicit Square(size_t n) : n_(n), a_(n * n, 0.0) {}
  size_t size() const { return n_; }
  double* row(size_t i) { return a_.data() + i * n_; }
  const double* row(size_t i) const { return a_.data() + i * n_; }

 private:
  size_t n_;
  std::vector<double> a_;
};

// Orthonormal vectors of length n, stored one after another.
class Basis {
 public:
  explicit Basis(size_t n) : n_(n) {}
  size_t count() const { return n_ == 0 ? 0 : v_.size() / n_; }
  const double* vector(size_t k) const { return v_.data() + k * n_; }
  // The least share of its length any vector offered kept after orthogonalization (1 when
  // none was offered): near 0 when the vectors are nearly dependent.
  double leastLeft() const { return leastLeft_; }

  // Gram-Schmidt (twice, for orthogonality) of v against the basis; v joins it when more than
  // `keep` of its length is left.
  bool add(std::vector<double>& v, double keep) {
    const double before = norm(v);
    if (before == 0.0) return false;
    for (int pass = 0; pass < 2; ++pass)
      for (size_t k = 0; k < count(); ++k) {
        const double* q = vector(k);
        double d = 0.0;
        for (size_t i = 0; i < n_; ++i) d += q[i] * v[i];
        for (size_t i = 0; i < n_; ++i) v[i] -= d * q[i];
      }
    const double after = norm(v);
    leastLeft_ = std::min(leastLeft_, after / before);
    if (after <= keep * before) return false;
    for (double& a : v) v_.push_back(a / after);
    return true;
  }

 private:
  static double norm(const std::vector<double>& v) {
    double s = 0.0;
    for (double a : v) s += a * a;
    return std::sqrt(s);
  }
  size_t n_;
  std::vector<double> v_;
  double leastLeft_ = 1.0;
};

bool atBound(double v, double lo, double up, double tol) {
  return (std::isfinite(lo) && lo > -1e20 && v <= lo + tol * (1.0 + std::fabs(lo))) ||
         (std::isfinite(up) && up < 1e20 && v >= up - tol * (1.0 + std::fabs(up)));
}

// Cholesky factor of m + shift I into l (lower, by rows). Returns -1 when it exists, else the
// column j whose pivot is not positive; the rows of l up to j then hold the partial factor.
int32_t choleskyFailure(const Square& m, double shift, Square& l) {
  const size_t d = m.size();
  for (size_t j = 0; j < d; ++j) {
    double s = m.row(j)[j] + shift;
    for (size_t k = 0; k < j; ++k) s -= l.row(j)[k] * l.row(j)[k];
    if (!(s > 0.0)) return static_cast<int32_t>(j);
    l.row(j)[j] = std::sqrt(s);
    for (size_t i = j + 1; i < d; ++i) {
      double t = m.row(i)[j];
      for (size_t k = 0; k < j; ++k) t -= l.row(i)[k] * l.row(j)[k];
      l.row(i)[j] = t / l.row(j)[j];
    }
  }
  return -1;
}

// With m + shift I = [M11 b; b' beta] failing at column j (L11 L11' = M11, L11 l = b), the
// vector p = [-L11^-T l; 1; 0] has p'(m + shift I)p = beta - l'l <= 0: a direction of curvature
// at most -shift for m.
std::vector<double> failureDirection(const Square& l, size_t j) {
  std::vector<double> p(l.size(), 0.0);
  p[j] = 1.0;
  for (size_t i = j; i-- > 0;) {
    double t = l.row(j)[i];
    for (size_t k = i + 1; k < j; ++k) t -= l.row(k)[i] * (-p[k]);
    p[i] = -t / l.row(i)[i];
  }
  return p;
}

// A direction along all the negative pivots at once. R = L D L' by columns without pivoting,
// pivots smaller than `small` in size taken as `small` (positive); v_j = 1 for each negative
// pivot and p solving L'p = v gives p'(LDL')p = sum of the negative pivots. Where blocks of the
// subspace each have their own way down (a chain of saddles, one per pair of variables), one
// direction takes them all, which the single failing pivot would take one run at a time. The
// factorization of an indefinite matrix without pivoting may grow, so the caller measures
// p'Rp itself; empty when no pivot is negative.
std::vector<double> allNegativePivots(const Square& r, double small) {
  const size_t d = r.size();
  Square l(d);
  std::vector<double> pivot(d, 0.0), p(d, 0.0);
  bool any = false;
  for (size_t j = 0; j < d; ++j) {
    double t = r.row(j)[j];
    for (size_t k = 0; k < j; ++k) t -= l.row(j)[k] * l.row(j)[k] * pivot[k];
    if (std::fabs(t) < small) t = small;
    pivot[j] = t;
    if (t < 0.0) p[j] = 1.0, any = true;
    l.row(j)[j] = 1.0;
    for (size_t i = j + 1; i < d; ++i) {
      double u = r.row(i)[j];
      for (size_t k = 0; k < j; ++k) u -= l.row(i)[k] * l.row(j)[k] * pivot[k];
      l.row(i)[j] = u / t;
    }
  }
  if (!any) return {};
  for (size_t i = d; i-- > 0;)
    for (size_t k = i + 1; k < d; ++k) p[i] -= l.row(k)[i] * p[k];
  return p;
}

// p'Rp / p'p.
double rayleigh(const Square& r, const std::vector<double>& p) {
  double num = 0.0, den = 0.0;
  for (size_t a = 0; a < r.size(); ++a) {
    double t = 0.0;
    for (size_t b = 0; b < r.size(); ++b) t += r.row(a)[b] * p[b];
    num += p[a] * t;
    den += p[a] * p[a];
  }
  return den > 0.0 ? num / den : 0.0;
}

struct Space {
  std::vector<int32_t> place;  // per model variable: its place among the free ones, or -1
  size_t free = 0;
};

Space freeVariables(const Model& m, const double* x, double tol) {
  Space s;
  s.place.assign(m.nVars(), -1);
  for (size_t j = 0; j < s.place.size(); ++j)
    if (!atBound(x[j], m.varLower[j], m.varUpper[j], tol)) s.place[j] = static_cast<int32_t>(s.free++);
  return s;
}

// The gradients of the rows at a limit, on the free variables, into the basis; sets the count
// of such rows and whether the test can be conclusive, or the failure (false) when a row cannot
// be evaluated or the dense test would take too long.
bool addActiveRows(const Model& m, const double* x, const Space& s, double tol, Basis& rows, Curvature& c) {
  Evaluator ev(m);
  ev.setPoint(x);
  std::vector<double> gradient(std::max<size_t>(m.conLinear.terms.size(), 1));
  bool nonlinearActive = false;
  for (int32_t i = 0; i < m.nCons(); ++i) {
    const int32_t f = m.conExpression(i);
    double body = 0.0, nonlinear = 0.0;
    if (!ev.value(f, body) || !ev.gradient(f, nonlinear, gradient.data())) {
      c.failure = "constraint " + std::to_string(i + 1) + " cannot be evaluated at the point";
      return false;
    }
    const size_t row = static_cast<size_t>(i);
    if (!atBound(body, m.conLower[row], m.conUpper[row], tol)) continue;
    if (denseWork(s.free, rows.count() + 1) > kMaxDenseWork) {
      c.failure = std::to_string(s.free) + " free variables and more than " + std::to_string(rows.count()) +
                  " active rows, more than the dense test takes";
      return false;
    }
    ++c.activeRows;
    nonlinearActive = nonlinearActive || i < m.header.nNonlinCons;
    std::vector<double> v(s.free, 0.0);
    const LinearTerm* t = m.conLinear.begin(i);
    for (int32_t k = 0; k < m.conLinear.size(i); ++k)
      if (const int32_t j = s.place[t[k].var]; j >= 0) v[j] += gradient[k];
    rows.add(v, 10.0 * tol);
  }
  // The multipliers of nearly dependent rows are determined only to about the first-order
  // tolerance over the share left (bt8: two gradients 1e-4 apart at the answer, multipliers
  // that fit them as well as any other pair); the curvature of the Lagrangian then depends on
  // which pair was returned, unless the rows are linear and add none.
  c.conclusive = !nonlinearActive || rows.leastLeft() >= std::sqrt(tol);
  return true;
}

// P H P on the free variables, P = I - QQ' the projection onto the subspace (Q the
// orthonormal basis of the active rows' gradients). On the subspace it acts as Z'HZ for any
// orthonormal basis Z of it; on the rows' span it is 0. So P H P + shift I is positive definite
// exactly when Z'HZ + shift I is, with no basis of the subspace to build (a Gram-Schmidt
// completion would cost free^3 twice over).
Square projectedHessian(const Hessian& h, const std::vector<double>& values, const Space& s, const Basis& rows) {
  const size_t n = s.free, r = rows.count();
  Square a(n);
  for (int64_t k = 0; k < h.nonzeros(); ++k) {
    const int32_t i = s.place[h.rowOf(k)], j = s.place[h.colOf(k)];
    if (i < 0 || j < 0) continue;
    a.row(static_cast<size_t>(i))[j] = a.row(static_cast<size_t>(j))[i] = values[k];
  }
  if (r == 0) return a;
  // W = H Q (n x r, by columns), C = Q'W (r x r); PHP = H - QW' - WQ' + QCQ'.
  std::vector<double> w(n * r, 0.0), qc(n * r, 0.0);
  for (size_t t = 0; t < r; ++t) {
    const double* q = rows.vector(t);
    for (size_t i = 0; i < n; ++i) {
      double sum = 0.0;
      for (size_t k = 0; k < n; ++k) sum += a.row(i)[k] * q[k];
      w[t * n + i] = sum;
    }
  }
  for (size_t t = 0; t < r; ++t)
    for (size_t u = 0; u < r; ++u) {
      double c = 0.0;
      for (size_t k = 0; k < n; ++k) c += rows.vector(t)[k] * w[u * n + k];
      for (size_t i = 0; i < n; ++i) qc[u * n + i] += rows.vector(t)[i] * c;  // (QC)(:, u)
    }
  for (size_t i = 0; i < n; ++i)
    for (size_t j = 0; j < n; ++j) {
      double sum = 0.0;
      for (size_t t = 0; t < r; ++t) {
        const double qi = rows.vector(t)[i], qj = rows.vector(t)[j];
        sum += qi * w[t * n + j] + w[t * n + i] * qj - qc[t * n + i] * qj;
      }
      a.row(i)[j] -= sum;
    }
  return a;
}

// p projected onto the subspace: p - Q(Q'p).
void project(std::vector<double>& p, const Basis& rows) {
  for (size_t t = 0; t < rows.count(); ++t) {
    const double* q = rows.vector(t);
    double d = 0.0;
    for (size_t k = 0; k < p.size(); ++k) d += q[k] * p[k];
    for (size_t k = 0; k < p.size(); ++k) p[k] -= d * q[k];
  }
}

// The largest |entry| of a.
double spreadOf(const Square& a) {
  double spread = 0.0;
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t j = 0; j < a.size(); ++j) spread = std::max(spread, std::fabs(a.row(i)[j]));
  return spread;
}

// Brackets the smallest eigenvalue of a, known to lie below -threshold, by bisection on the
// shift of a Cholesky factorization; the shift of the last failing one.
double bracketSmallest(const Square& a, Curvature& c) {
  Square l(a.size());
  double lo = c.threshold, hi = static_cast<double>(a.size()) * spreadOf(a) + c.threshold;  // fails at lo, holds at hi
  for (int k = 0; k < 60 && hi - lo > 1e-3 * hi; ++k) {
    const double mid = 0.5 * (lo + hi);
    (choleskyFailure(a, mid, l) < 0 ? hi : lo) = mid;
  }
  c.smallest = -hi;
  return lo;
}

// The direction of negative curvature of the projected Hessian a (see the header), unit length
// on the model's variables; its curvature.
double directionOf(const Square& a, Curvature& c, const Space& s, const Basis& rows, double failingShift) {
  Square l(a.size());
  std::vector<double> p = allNegativePivots(a, std::max(c.threshold, 1e-4 * spreadOf(a)));
  if (!p.empty()) project(p, rows);
  if (p.empty() || !(rayleigh(a, p) < -c.threshold)) {
    p = failureDirection(l, static_cast<size_t>(choleskyFailure(a, failingShift, l)));
    project(p, rows);
  }
  const double curvature = rayleigh(a, p);
  double norm = 0.0;
  for (double t : p) norm += t * t;
  norm = std::sqrt(norm);
  c.direction.assign(s.place.size(), 0.0);
  for (size_t j = 0; j < s.place.size(); ++j)
    if (s.place[j] >= 0) c.direction[j] = p[s.place[j]] / norm;
  return curvature;
}

Curvature curvatureOf(const Model& m, int32_t objective, const double* x, const double* y, double sigma,
                      double tolerance, int32_t maxFree) {
  Curvature c;
  const Space s = freeVariables(m, x, tolerance);
  c.free = static_cast<int32_t>(s.free);
  if (c.free > maxFree || denseWork(s.free, 0) > kMaxDenseWork) {
    c.failure = std::to_string(c.free) + " free variables, more than the dense test takes";
    return c;
  }
  Hessian hessian(m, objective);
  std::vector<double> values(static_cast<size_t>(hessian.nonzeros()));
  std::vector<double> lambda(static_cast<size_t>(m.nCons()));
  for (size_t i = 0; i < lambda.size(); ++i) lambda[i] = -y[i];
  if (!hessian.evaluate(x, sigma, lambda.data(), values.data())) {
    c.failure = "the Hessian cannot be evaluated at the point";
    return c;
  }
  double largest = 0.0;
  for (double v : values) largest = std::max(largest, std::fabs(v));
  Basis rows(s.free);
  if (!addActiveRows(m, x, s, tolerance, rows, c)) return c;
  c.dimension = static_cast<int32_t>(s.free - rows.count());
  c.evaluated = true;
  c.threshold = tolerance * (1.0 + largest);
  c.smallest = -c.threshold;
  if (c.dimension == 0) return c;
  const Square a = projectedHessian(hessian, values, s, rows);
  Square l(a.size());
  if (choleskyFailure(a, c.threshold, l) < 0) return c;
  c.negative = true;
  // Bracketing takes up to 60 factorizations: worth it for the report on small subspaces; on
  // large ones the curvature along the direction found stands for it (an upper bound).
  const double failingShift = a.size() <= kBracketedSize ? bracketSmallest(a, c) : c.threshold;
  const double along = directionOf(a, c, s, rows, failingShift);
  if (a.size() > kBracketedSize) c.smallest = along;
  return c;
}

}  // namespace

Curvature reducedCurvature(const Model& model, int32_t objective, const double* x, const double* y, double sigma,
                           double tolerance, int32_t maxFree) {
  try {
    return curvatureOf(model, objective, x, y, sigma, tolerance, maxFree);
  } catch (const std::bad_alloc&) {
    Curvature c;
    c.failure = "not enough memory for the dense second-order test";
    return c;
  } catch (const HessianTooLarge&) {
    Curvature c;
    c.failure = "the Hessian does not fit in memory";
    return c;
  }
}

}  // namespace kavro::nl
