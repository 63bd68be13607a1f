#include "optimizer/reduced_hessian.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <utility>

#include "specs/parameters.hpp"

namespace kavro {

bool ReducedHessian::resize(int32_t maxR, int32_t maxS, const MachineConstants& machine) {
  maxR_ = std::max(maxR, int32_t{1});
  maxS_ = std::max(maxS, int32_t{0});
  tiny_ = machine.eps0;
  smallDiag_ = machine.eps2;
  const size_t r = static_cast<size_t>(maxR_);
  triangleSize_ = r * (r + 1) / 2;
  const size_t beyond = static_cast<size_t>(std::max(maxS_ - maxR_, int32_t{0}));
  try {
    r_.assign(triangleSize_ + beyond, 0.0);
    v_.assign(r + 1, 0.0);
    w_.assign(std::max(r, static_cast<size_t>(maxS_)), 0.0);
    hess_.assign(r, 0.0);
  } catch (const std::bad_alloc&) {
    maxR_ = maxS_ = 0;
    triangleSize_ = 0;
    r_ = v_ = w_ = hess_ = {};
    return false;
  }
  return true;
}

void ReducedHessian::setIdentity(int32_t ns) {
  const int32_t n = order(ns);
  for (int32_t i = 0; i < n; ++i) {
    double* ri = row(i);
    ri[0] = 1.0;
    std::fill(ri + 1, ri + (n - i), 0.0);
  }
  for (int32_t k = maxR_; k < ns; ++k) r_[diagonalIndex(k)] = 1.0;
}

ReducedHessian::ResetResult ReducedHessian::reset(int32_t ns) {
  const int32_t n = order(ns);
  if (n == 0) return {};
  double dmax = 0.0, dmin = std::numeric_limits<double>::infinity();
  for (int32_t i = 0; i < n; ++i) {
    const double d = std::fabs(row(i)[0]);
    dmax = std::max(dmax, d);
    dmin = std::min(dmin, d);
  }
  // A marked factor, and also a singular one (which no rescaling can mend), starts afresh.
  if (needsReset() || !(dmin > 0.0) || !std::isfinite(dmax)) {
    setIdentity(ns);
    return {};
  }
  double* scale = v_.data();
  for (int32_t j = 0; j < n; ++j) scale[j] = 1.0 / std::sqrt(std::fabs(row(j)[0]));
  for (int32_t i = 0; i < n; ++i) {
    double* ri = row(i);
    for (int32_t j = i; j < n; ++j) ri[j - i] *= scale[j];
  }
  return {true, dmax / dmin};
}

void ReducedHessian::addColumn(int32_t ns) {
  const int32_t k = ns - 1;
  if (k >= maxR_) {
    r_[diagonalIndex(k)] = 1.0;
    return;
  }
  for (int32_t i = 0; i < k; ++i) r_[index(i, k)] = 0.0;
  r_[index(k, k)] = 1.0;
}

// Plane rotation of rows i and i+1 over the columns i+1..n-1:
//   row i := c row i + s row i+1,   row i+1 := -s row i + c row i+1.
// Row n (one past the triangle) stands for the folded rows beyond maxR, which are zero in
// these columns, so a rotation with it touches no trailing entry.
void ReducedHessian::rotateTrailing(int32_t i, int32_t n, double c, double s) {
  if (i + 1 >= n) return;
  double* ri = row(i) + 1;
  double* rk = row(i + 1);
  const int32_t len = n - i - 1;
  for (int32_t j = 0; j < len; ++j) {
    const double x = ri[j], y = rk[j];
    ri[j] = c * x + s * y;
    rk[j] = c * y - s * x;
  }
}

// Rotates rows i and i+1 so that the subdiagonal entry h at (i+1, i) becomes zero. An entry at
// or below eps^0.8 is dropped without a rotation.
void ReducedHessian::eliminateSubdiagonal(int32_t i, int32_t n, double h) {
  if (std::fabs(h) <= tiny_) return;
  double& rii = row(i)[0];
  const double rho = std::hypot(rii, h);
  const double c = rii / rho, s = h / rho;
  rii = rho;
  rotateTrailing(i, n, c, s);
}

// R := Q (R + v w') over the leading n rows and columns, with v in v_ (nv = n entries, or n + 1
// when entry n folds the rows beyond maxR) and w in w_. Returns the last row touched.
int32_t ReducedHessian::rankOneUpdate(int32_t n, int32_t nv) {
  double* v = v_.data();
  double* h = hess_.data();
  int32_t last = nv - 1;
  while (last > 0 && std::fabs(v[last]) <= tiny_) --last;

  // Rotations from the bottom reduce v to a multiple of e_0; R becomes upper Hessenberg with
  // subdiagonal h.
  for (int32_t i = last - 1; i >= 0; --i) {
    h[i] = 0.0;
    const double vNext = v[i + 1];
    if (std::fabs(vNext) <= tiny_) continue;
    const double rho = std::hypot(v[i], vNext);
    const double c = v[i] / rho, s = vNext / rho;
    v[i] = rho;
    double& rii = row(i)[0];
    h[i] = -s * rii;
    rii *= c;
    rotateTrailing(i, n, c, s);
  }
  double* r0 = row(0);
  for (int32_t j = 0; j < n; ++j) r0[j] += v[0] * w_[j];

  // Rotations from the top remove the subdiagonal again.
  for (int32_t i = 0; i < last; ++i) eliminateSubdiagonal(i, n, h[i]);
  return last;
}

int ReducedHessian::updateCode(int32_t last, int32_t n) const {
  const int32_t k = std::min(last, n - 1);
  return std::fabs(row(k)[0]) > smallDiag_ ? 1 : 2;
}

int ReducedHessian::bfgsUpdate(int32_t ns, const double* g1, const double* g2, const double* p, double alpha,
                               const double* z) {
  if (ns <= 0 || needsReset()) return 0;
  double a = 0.0, c = 0.0;
  for (int32_t j = 0; j < ns; ++j) {
    a += g1[j] * p[j];
    c += g2[j] * p[j];
  }
  // Too little curvature along p (this also refuses NaN), an ascent direction or no step.
  if (!(c > 0.91 * a) || !(a < 0.0) || !(alpha > 0.0)) return 0;
  const double delta1 = 1.0 / std::sqrt(-a);
  const double delta2 = 1.0 / std::sqrt((c - a) * alpha);
  if (!std::isfinite(delta1) || !std::isfinite(delta2)) return 0;

  const int32_t n = order(ns);
  double* v = v_.data();
  for (int32_t j = 0; j < n; ++j) v[j] = -delta1 * z[j];
  int32_t nv = n;
  if (ns > maxR_) {
    double sum = 0.0;
    for (int32_t j = maxR_; j < ns; ++j) sum += (delta1 * z[j]) * (delta1 * z[j]);
    v[n] = std::sqrt(sum);
    nv = n + 1;
  }
  // w = delta2 (g2 - g1) + delta1 g1, formed to lose least to cancellation.
  const bool close = std::fabs(delta1 / delta2 - 1.0) < 0.5;
  for (int32_t j = 0; j < ns; ++j) {
    w_[j] = close ? delta2 * g2[j] + (delta1 - delta2) * g1[j] : delta2 * (g2[j] - g1[j]) + delta1 * g1[j];
  }
  const int32_t last = rankOneUpdate(n, nv);

  // Beyond maxR only the diagonal of the updated matrix is kept.
  for (int32_t j = maxR_; j < ns; ++j) {
    double& d = r_[diagonalIndex(j)];
    const double e = delta1 * g1[j];
    const double t = w_[j] - e;
    const double dSquared = d * d + t * t - e * e;
    if (dSquared > 0.0 && std::isfinite(dSquared)) d = std::sqrt(dSquared);
  }
  return updateCode(last, n);
}

int ReducedHessian::exchangeUpdate(int32_t k, int32_t ns, const double* y) {
  if (ns <= 1 || k >= maxR_ || k < 0 || needsReset()) return 0;
  const double yk = y[k];
  if (yk == 0.0 || !std::isfinite(yk)) return 0;
  const int32_t n = order(ns);
  for (int32_t i = 0; i < n; ++i) v_[i] = i <= k ? r_[index(i, k)] : 0.0;
  for (int32_t j = 0; j < n; ++j) w_[j] = -y[j] / yk;
  w_[k] = -(1.0 + yk) / yk;
  return updateCode(rankOneUpdate(n, n), n);
}

void ReducedHessian::deleteColumn(int32_t k, int32_t ns) {
  if (k < 0 || k >= ns) return;
  if (k >= maxR_) {
    for (int32_t j = k; j + 1 < ns; ++j) r_[diagonalIndex(j)] = r_[diagonalIndex(j + 1)];
    return;
  }
  const bool marked = needsReset();
  const int32_t n = order(ns);
  double* h = hess_.data();
  // Columns k+1..n-1 move one place left; the rows below k become upper Hessenberg.
  for (int32_t i = 0; i < n; ++i) {
    double* ri = row(i);
    const int32_t first = std::max(i, k);
    if (i > k) h[i - 1] = ri[0];
    for (int32_t j = first; j + 1 < n; ++j) ri[j - i] = ri[j + 1 - i];
    ri[n - 1 - i] = 0.0;
  }
  for (int32_t i = k; i + 1 < n; ++i) eliminateSubdiagonal(i, n, h[i]);
  if (ns > maxR_) {
    // The first superbasic beyond the triangle becomes its last column.
    r_[index(n - 1, n - 1)] = r_[diagonalIndex(maxR_)];
    for (int32_t j = maxR_; j + 1 < ns; ++j) r_[diagonalIndex(j)] = r_[diagonalIndex(j + 1)];
  }
  if (marked) markForReset();
}

void ReducedHessian::moveOutOfTriangle(int32_t q, int32_t ns) {
  if (q < 0 || q >= maxR_ || ns <= maxR_) return;
  double sum = 0.0;
  for (int32_t i = 0; i <= q; ++i) sum += r_[index(i, q)] * r_[index(i, q)];
  deleteColumn(q, ns);
  r_[diagonalIndex(ns - 1)] = sum > 0.0 ? std::sqrt(sum) : 1.0;
}

ReducedHessian::Condition ReducedHessian::estimateCondition(int32_t ns) const {
  const int32_t n = order(ns);
  Condition cond;
  if (n == 0) return cond;
  cond.dmax = 0.0;
  cond.dmin = std::numeric_limits<double>::infinity();
  for (int32_t i = 0; i < n; ++i) {
    const double d = std::fabs(row(i)[0]);
    cond.dmax = std::max(cond.dmax, d);
    cond.dmin = std::min(cond.dmin, d);
  }
  if (n < 2) return {cond.dmax, cond.dmin, 1.0};
  constexpr double kLargest = std::numeric_limits<double>::max();
  const double ratio = cond.dmin > 0.0 ? cond.dmax / cond.dmin : kLargest;
  cond.condR = std::min(ratio * ratio, kLargest);
  return cond;
}

void ReducedHessian::solve(int mode, int32_t ns, double* b) const {
  const int32_t n = order(ns);
  if (mode == 1) {
    for (int32_t i = n - 1; i >= 0; --i) {
      const double* ri = row(i);
      double sum = b[i];
      for (int32_t j = i + 1; j < n; ++j) sum -= ri[j - i] * b[j];
      b[i] = sum / ri[0];
    }
  } else {
    for (int32_t i = 0; i < n; ++i) {
      const double* ri = row(i);
      const double x = b[i] / ri[0];
      b[i] = x;
      for (int32_t j = i + 1; j < n; ++j) b[j] -= ri[j - i] * x;
    }
  }
  for (int32_t k = maxR_; k < ns; ++k) b[k] /= r_[diagonalIndex(k)];
}

void ReducedHessian::multiply(int mode, int32_t ns, double* b) const {
  const int32_t n = order(ns);
  if (mode == 1) {
    for (int32_t i = 0; i < n; ++i) {
      const double* ri = row(i);
      double sum = 0.0;
      for (int32_t j = i; j < n; ++j) sum += ri[j - i] * b[j];
      b[i] = sum;
    }
  } else {
    for (int32_t i = n - 1; i >= 0; --i) {
      const double* ri = row(i);
      const double x = b[i];
      b[i] = ri[0] * x;
      for (int32_t j = i + 1; j < n; ++j) b[j] += ri[j - i] * x;
    }
  }
  for (int32_t k = maxR_; k < ns; ++k) b[k] *= r_[diagonalIndex(k)];
}

void ReducedHessian::swapDiagonal(int32_t j, int32_t k) {
  if (j < maxR_ || k < maxR_ || j >= maxS_ || k >= maxS_) return;
  std::swap(r_[diagonalIndex(j)], r_[diagonalIndex(k)]);
}

}  // namespace kavro
