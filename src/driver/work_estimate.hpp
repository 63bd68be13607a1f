#pragma once
// The solver's own estimate of the work storage a problem needs, in 8-byte words. The host
// link and the kavro command both size the work array with it.

#include <cstdint>

namespace kavro {

// Superbasics estimate from the number of nonlinear Jacobian and objective entries.
int32_t superbasicsEstimate(int64_t nonlinearEntries);

// m rows, n columns, nz matrix entries, nonlinearEntries of them nonlinear. The arithmetic is
// done in 32-bit integers as the host link has always done it; the result includes a margin of
// 100000 words.
int64_t estimateWorkWords(int32_t m, int32_t n, int32_t nz, int64_t nonlinearEntries);

}  // namespace kavro
