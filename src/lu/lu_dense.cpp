// The dense phase: once the active submatrix is dense enough it is copied into a column-major
// block in the free space and factorized there; its L columns and U rows are then stored in the
// same form as the sparse ones.
#include <algorithm>
#include <cmath>
#include <utility>

#include "lu/lu_internal.hpp"

namespace kavro::lu::detail {
namespace {

// Copies the active rows into the block and empties both files of the active lines.
void loadBlock(FactorState& s, double* d, int32_t r, int32_t c) {
  std::fill(d, d + static_cast<int64_t>(r) * c, 0.0);
  for (int32_t ii = 0; ii < r; ++ii) {
    const int32_t i = s.rowPerm[s.nPiv + ii];
    for (int32_t e = s.rowStart[i]; e < s.rowStart[i] + s.rowLen[i]; ++e) {
      const int32_t jj = s.colPermInv[s.indr[e]] - s.nPiv;
      d[static_cast<int64_t>(jj) * r + ii] = s.a[e];
      s.indr[e] = kFree;
    }
    s.rowLen[i] = 0;
  }
  for (int32_t jj = 0; jj < c; ++jj) {
    const int32_t j = s.colPerm[s.nPiv + jj];
    for (int32_t t = s.colStart[j]; t < s.colStart[j] + s.colLen[j]; ++t) s.indc[t] = kFree;
    s.colLen[j] = 0;
  }
}

// Chooses the pivot of step k: the largest entry of the first column that has one (partial
// pivoting), or of the whole remaining block (the other rules). False when all is negligible.
bool choosePivot(const FactorState& s, const double* d, int32_t r, int32_t c, int32_t k, int32_t& pi, int32_t& pj) {
  double best = s.small;
  pi = pj = -1;
  for (int32_t jj = k; jj < c; ++jj) {
    const double* col = d + static_cast<int64_t>(jj) * r;
    for (int32_t ii = k; ii < r; ++ii) {
      if (std::fabs(col[ii]) > best) {
        best = std::fabs(col[ii]);
        pi = ii;
        pj = jj;
      }
    }
    if (s.rule == kPartial && pj >= 0) return true;
  }
  return pj >= 0;
}

void swapBlockColumns(FactorState& s, double* d, int32_t r, int32_t p, int32_t q) {
  if (p == q) return;
  std::swap_ranges(d + static_cast<int64_t>(p) * r, d + static_cast<int64_t>(p + 1) * r,
                   d + static_cast<int64_t>(q) * r);
  s.swapCols(s.nPiv + p, s.nPiv + q);
}

void swapBlockRows(FactorState& s, double* d, int32_t r, int32_t c, int32_t p, int32_t q) {
  if (p == q) return;
  for (int32_t jj = 0; jj < c; ++jj)
    std::swap(d[static_cast<int64_t>(jj) * r + p], d[static_cast<int64_t>(jj) * r + q]);
  s.swapRows(s.nPiv + p, s.nPiv + q);
}

// Right-looking LU of the block; returns the number of pivots.
int32_t factorBlock(FactorState& s, double* d, int32_t r, int32_t c) {
  const int32_t steps = std::min(r, c);
  int32_t k = 0;
  for (; k < steps; ++k) {
    int32_t pi, pj;
    if (!choosePivot(s, d, r, c, k, pi, pj)) break;
    swapBlockColumns(s, d, r, k, pj);
    swapBlockRows(s, d, r, c, k, pi);
    double* colk = d + static_cast<int64_t>(k) * r;
    const double piv = colk[k];
    if (s.rule != kPartial) s.akmax = std::max(s.akmax, std::fabs(piv));
    for (int32_t ii = k + 1; ii < r; ++ii) colk[ii] /= piv;
    for (int32_t jj = k + 1; jj < c; ++jj) {
      double* col = d + static_cast<int64_t>(jj) * r;
      const double f = col[k];
      if (f == 0.0) continue;
      for (int32_t ii = k + 1; ii < r; ++ii) col[ii] -= colk[ii] * f;
    }
    s.meritSum += static_cast<int64_t>(r - k - 1) * (c - k - 1);
  }
  return k;
}

// Stores row t of U and column t of L of the factorized block.
void storeStep(FactorState& s, const double* d, int32_t r, int32_t c, int32_t t) {
  const int32_t i = s.rowPerm[s.nPiv + t];
  const int32_t start = s.lrow;
  for (int32_t jj = t; jj < c; ++jj) {
    const double v = d[static_cast<int64_t>(jj) * r + t];
    if (jj > t && std::fabs(v) <= s.small) continue;
    s.a[s.lrow] = v;
    s.indr[s.lrow] = s.colPerm[s.nPiv + jj];
    ++s.lrow;
    s.umax = std::max(s.umax, std::fabs(v));
  }
  s.rowStart[i] = start;
  s.rowLen[i] = s.lrow - start;
  s.lenU += s.rowLen[i];
  if (!s.keepLU) return;
  const int32_t top = s.lu1;
  const double* col = d + static_cast<int64_t>(t) * r;
  for (int32_t ii = t + 1; ii < r; ++ii) {
    if (std::fabs(col[ii]) <= s.small) continue;
    --s.lu1;
    s.a[s.lu1] = col[ii];
    s.indc[s.lu1] = s.rowPerm[s.nPiv + ii];
    s.indr[s.lu1] = i;
    s.lmax = std::max(s.lmax, std::fabs(col[ii]));
  }
  if (s.lu1 < top) {
    s.lColumnStart[s.numL] = top;
    ++s.numL;
    s.lColumnStart[s.numL] = s.lu1;
    s.lenL += top - s.lu1;
  }
}

}  // namespace

bool denseFactor(FactorState& s) {
  const int32_t r = s.rowsLeft(), c = s.colsLeft();
  const int64_t rc = static_cast<int64_t>(r) * c;
  const int32_t base = std::max(s.lrow, s.lcol);
  if (base + 3 * rc > s.lu1) {
    s.need = static_cast<int32_t>(std::min<int64_t>(s.lena + (base + 3 * rc - s.lu1), INT32_MAX));
    return false;
  }
  double* d = s.a + base;
  loadBlock(s, d, r, c);
  // The block lies inside the row file from now on: its slots count as free there.
  for (int64_t k = s.lrow; k < base + rc; ++k) s.indr[k] = kFree;
  s.lrow = static_cast<int32_t>(base + rc);
  s.nzActive = 0;
  const int32_t nd = factorBlock(s, d, r, c);
  for (int32_t t = 0; t < nd; ++t) storeStep(s, d, r, c, t);
  s.peakUse = std::max<int64_t>(s.peakUse, static_cast<int64_t>(s.lrow) + (s.lena - s.lu1));
  s.nPiv += nd;
  return true;
}

}  // namespace kavro::lu::detail
