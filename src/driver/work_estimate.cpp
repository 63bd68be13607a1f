#include "driver/work_estimate.hpp"

#include <algorithm>
#include <functional>
#include <vector>

namespace kavro {

int32_t superbasicsEstimate(int64_t nonlinearEntries) {
  const int64_t q = (5 * nonlinearEntries) / 4;
  if (q < 1) return 3;
  if (q < 4998) return static_cast<int32_t>(q) + 2;
  return 5000;
}

int64_t estimateWorkWords(int32_t m, int32_t n, int32_t nz, int64_t nonlinearEntries) {
  // Products may exceed 32 bits on large models; they are formed in 64 bits and the
  // divisions truncate as before. A model without columns is treated as having one.
  const int64_t cols = std::max<int32_t>(n, 1);
  const int64_t S = superbasicsEstimate(nonlinearEntries), H = S;
  const int64_t a = n / 2 + 1, c = a, b = m / 2 + 1, d = nz / 2 + 1;
  const int64_t p = std::max(std::max<int64_t>(c, 1), a);
  const int64_t q1 = a + H + d + (b != 0 ? m + n : 0);
  const int64_t r = (static_cast<int64_t>(n) + m) + p + (S * (S + 1) / 2 - S + H) + (b != 0 ? m : 0);
  const int64_t t = r + std::min<int64_t>(m, n) * 18 * std::max<int64_t>(10, nz / cols) + 4 * int64_t{m} +
                    10 * (int64_t{m} + H);
  const int64_t estimate = 5 * (std::max(int64_t{m} + H, p) + b) + t + 2 * q1;
  return estimate + 100000;
}

int64_t densestBasisEntries(const SparseMatrix& a, int32_t m) {
  const int32_t n = a.columns();
  std::vector<int32_t> lengths(static_cast<size_t>(n));
  for (int32_t j = 0; j < n; ++j) lengths[j] = std::max(10, a.colStart[j + 1] - a.colStart[j]);
  const int32_t k = std::min(m, n);
  std::nth_element(lengths.begin(), lengths.begin() + k, lengths.end(), std::greater<int32_t>());
  int64_t entries = static_cast<int64_t>(m) - k;
  for (int32_t t = 0; t < k; ++t) entries += lengths[t];
  return entries;
}

}  // namespace kavro
