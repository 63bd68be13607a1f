#include "optimizer/newton_algebra.hpp"

namespace kavro {

bool modifiedCholeskyDirection(int32_t n, double* A, const double* g, double* d, double* p) {
  const auto at = [n](int32_t i, int32_t j) { return static_cast<size_t>(i) * static_cast<size_t>(n) + j; };
  double maxDiag = 0.0, maxOff = 0.0;
  for (int32_t i = 0; i < n; ++i) {
    maxDiag = std::max(maxDiag, std::fabs(A[at(i, i)]));
    for (int32_t j = 0; j < i; ++j) {
      const double s = 0.5 * (A[at(i, j)] + A[at(j, i)]);
      A[at(i, j)] = A[at(j, i)] = s;
      maxOff = std::max(maxOff, std::fabs(s));
    }
  }
  // beta bounds the entries of L (no growth beyond what A's own entries give); delta keeps D
  // away from zero relative to A's size.
  const double eps = std::numeric_limits<double>::epsilon();
  const double offBound = n > 1 ? maxOff / std::sqrt(static_cast<double>(n) * n - 1.0) : 0.0;
  const double beta2 = std::max({maxDiag, offBound, eps});
  const double delta = eps * (1.0 + maxDiag + maxOff);
  for (int32_t j = 0; j < n; ++j) {
    double cjj = A[at(j, j)];
    for (int32_t k = 0; k < j; ++k) cjj -= A[at(j, k)] * A[at(j, k)] * d[k];
    double theta = 0.0;
    for (int32_t i = j + 1; i < n; ++i) {
      double cij = A[at(i, j)];
      for (int32_t k = 0; k < j; ++k) cij -= A[at(i, k)] * d[k] * A[at(j, k)];
      A[at(i, j)] = cij;
      theta = std::max(theta, std::fabs(cij));
    }
    d[j] = std::max({std::fabs(cjj), theta * theta / beta2, delta});
    for (int32_t i = j + 1; i < n; ++i) A[at(i, j)] /= d[j];
  }
  // L y = -g, D z = y, L' p = z.
  for (int32_t i = 0; i < n; ++i) {
    double s = -g[i];
    for (int32_t k = 0; k < i; ++k) s -= A[at(i, k)] * p[k];
    p[i] = s;
  }
  for (int32_t i = 0; i < n; ++i) p[i] /= d[i];
  for (int32_t i = n - 1; i >= 0; --i) {
    double s = p[i];
    for (int32_t k = i + 1; k < n; ++k) s -= A[at(k, i)] * p[k];
    p[i] = s;
  }
  return std::all_of(p, p + n, [](double v) { return std::isfinite(v); });
}

// Right-looking: once pivot j is chosen, its column updates the b columns after it. The pivot
// rule is the dense one's; beta^2's bound on the off-diagonal entries keeps the dense formula's
// sqrt(n^2 - 1) so that the two agree on the same matrix.
BandedDirection bandedModifiedCholeskyDirection(int32_t n, int32_t b, double* band, const double* g, double* d,
                                                double* p) {
  BandedDirection result;
  const int64_t stride = int64_t{b} + 1;
  const auto column = [band, stride](int32_t j) { return band + j * stride; };
  const auto below = [n, b](int32_t j) { return std::min(b, n - 1 - j); };  // entries under the diagonal
  double maxDiag = 0.0, maxOff = 0.0;
  for (int32_t j = 0; j < n; ++j) {
    const double* c = column(j);
    maxDiag = std::max(maxDiag, std::fabs(c[0]));
    for (int32_t k = 1; k <= below(j); ++k) maxOff = std::max(maxOff, std::fabs(c[k]));
  }
  const double eps = std::numeric_limits<double>::epsilon();
  const double offBound = n > 1 ? maxOff / std::sqrt(static_cast<double>(n) * n - 1.0) : 0.0;
  const double beta2 = std::max({maxDiag, offBound, eps});
  const double delta = eps * (1.0 + maxDiag + maxOff);
  for (int32_t j = 0; j < n; ++j) {
    double* c = column(j);
    const int32_t last = below(j);
    double theta = 0.0;
    for (int32_t k = 1; k <= last; ++k) theta = std::max(theta, std::fabs(c[k]));
    d[j] = std::max({std::fabs(c[0]), theta * theta / beta2, delta});
    if (d[j] != c[0]) ++result.raisedPivots;
    for (int32_t k = 1; k <= last; ++k) {
      const double f = c[k] / d[j];
      double* next = column(j + k);
      for (int32_t l = k; l <= last; ++l) next[l - k] -= c[l] * f;
    }
    for (int32_t k = 1; k <= last; ++k) c[k] /= d[j];
  }
  // L y = -g by columns, D z = y, L' p = z by rows of L'.
  for (int32_t i = 0; i < n; ++i) p[i] = -g[i];
  for (int32_t j = 0; j < n; ++j) {
    const double* c = column(j);
    for (int32_t k = 1; k <= below(j); ++k) p[j + k] -= c[k] * p[j];
  }
  for (int32_t i = 0; i < n; ++i) p[i] /= d[i];
  for (int32_t j = n - 1; j >= 0; --j) {
    const double* c = column(j);
    double s = p[j];
    for (int32_t k = 1; k <= below(j); ++k) s -= c[k] * p[j + k];
    p[j] = s;
  }
  result.finite = std::all_of(p, p + n, [](double v) { return std::isfinite(v); });
  return result;
}

}  // namespace kavro
