#pragma once
// The solver's own estimate of the work storage a problem needs, in 8-byte words. The host
// link and the kavro command both size the work array with it.

#include <cstdint>

#include "kavro/problem.hpp"

namespace kavro {

// Superbasics estimate from the number of nonlinear Jacobian and objective entries.
int32_t superbasicsEstimate(int64_t nonlinearEntries);

// m rows, n columns, nz matrix entries, nonlinearEntries of them nonlinear. The arithmetic is
// done in 32-bit integers as the host link has always done it; the result includes a margin of
// 100000 words.
int64_t estimateWorkWords(int32_t m, int32_t n, int32_t nz, int64_t nonlinearEntries);

// Entries of the densest basis the matrix allows: its min(m, n) longest columns, each counted
// as at least 10 entries (as the storage formulas count an average column), and a slack for
// every other row. Problems with a few dense columns need far more room for their factors
// than a count built on the average column gives.
int64_t densestBasisEntries(const SparseMatrix& a, int32_t m);

}  // namespace kavro
