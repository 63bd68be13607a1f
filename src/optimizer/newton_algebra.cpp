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

}  // namespace kavro
