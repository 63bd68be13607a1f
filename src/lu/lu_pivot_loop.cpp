// lu1fad: the pivoting loop. Its phases end in a fixed order: unit slacks, column singletons
// (Utri), row singletons (Ltri), the sparse phase searching columns and rows, the sparse phase
// searching columns only, and the dense factorization of what is left.
#include <cmath>

#include "lu/lu_internal.hpp"

namespace kavro::lu::detail {
namespace {

enum class Phase { kLtri, kSpars1, kSpars2, kDense };

// The first column singleton that passes the rule's test, or found = false.
Pivot acceptableSingleton(FactorState& s) {
  if (s.m < 1) return {};
  for (int32_t p = s.colCountStart[1]; p < s.colCountStart[2]; ++p) {
    const int32_t j = s.colPerm[p];
    const int32_t i = s.indc[s.colStart[j]];
    switch (s.rule) {
      case kPartial: return {true, i, j, 0};
      case kSymmetric:
        if (i == j) return {true, i, j, 0};
        break;
      case kRook:
        if (std::fabs(s.a[s.findColumnEntry(s.colStart[j], j)]) * s.ltol >= s.rowMax[i]) return {true, i, j, 0};
        break;
      default:
        if (std::fabs(s.a[s.findColumnEntry(s.colStart[j], j)]) * s.ltol >= s.heapTop()) return {true, i, j, 0};
        break;
    }
  }
  return {};
}

bool denseWanted(FactorState& s) {
  const int64_t block = 3 * static_cast<int64_t>(s.rowsLeft()) * s.colsLeft();
  if (block < s.freeSpace()) return true;
  compressRowFile(s);
  compressColumnFile(s);
  return block < s.freeSpace();
}

}  // namespace

int32_t lu1fad(FactorState& s) {
  // Unit slacks: their columns hold one entry, so no multipliers arise. (The pivot step uses
  // list[] only for the rows of a pivot column, which a slack column does not have.)
  for (int32_t t = 0; t < s.nslack; ++t) {
    const int32_t j = s.list[t];
    if (!eliminate(s, s.indc[s.colStart[j]], j)) return kFactorNoStorage;
  }
  s.print.line(50, " Slacks ended.  nslack =%8d", s.nslack);

  for (Pivot p = acceptableSingleton(s); p.found; p = acceptableSingleton(s)) {
    if (!eliminate(s, p.row, p.col)) return kFactorNoStorage;
    ++s.utri;
  }
  s.print.line(50, " Utri ended.  spars1 = true");

  Phase phase = Phase::kLtri;
  while (s.nzActive > 0) {
    const double area = static_cast<double>(s.rowsLeft()) * s.colsLeft();
    if (phase == Phase::kSpars1 && area * s.dens1 <= static_cast<double>(s.nzActive)) {
      phase = Phase::kSpars2;
      s.dense1 = s.nPiv + 1;
      s.print.line(50, " spars1 ended.  spars2 = true");
    }
    if (phase == Phase::kSpars2 && area * s.dens2 <= static_cast<double>(s.nzActive)) {
      phase = Phase::kDense;
      s.dense2 = s.nPiv + 1;
      s.print.line(50, " spars2 ended.  dense = true");
    }
    if (phase == Phase::kDense && denseWanted(s)) return denseFactor(s) ? kFactorOk : kFactorNoStorage;

    const bool rows = phase == Phase::kLtri || phase == Phase::kSpars1;
    const int32_t maxCol = phase == Phase::kDense ? 1 : s.maxSearch;
    const Pivot p = markowitzSearch(s, maxCol, s.maxSearch - 1, rows);
    if (!p.found) return s.rule == kSymmetric ? kFactorNoDiagonalPivot : kFactorInternalError;
    if (phase == Phase::kLtri) {
      if (p.merit > 0) {
        phase = Phase::kSpars1;
        s.print.line(50, " Ltri ended.");
      } else {
        ++s.ltri;
      }
    }
    s.meritSum += p.merit;
    if (!eliminate(s, p.row, p.col)) return kFactorNoStorage;
  }
  return kFactorOk;
}

}  // namespace kavro::lu::detail
