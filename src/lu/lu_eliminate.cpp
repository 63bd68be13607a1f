// One elimination step of the sparse phases: the pivot row becomes a row of U where it stands,
// the pivot column becomes a column of L at the end of the storage, and the rows of the pivot
// column are updated with fill-in.
#include <algorithm>
#include <cmath>

#include "lu/lu_internal.hpp"

namespace kavro::lu::detail {
namespace {

// Removes row i from the column file of column j (the last entry takes its place); e is the
// entry's position in row i. Forced inline: it runs once for every entry of U.
[[gnu::always_inline]] inline void removeFromColumn(FactorState& s, int32_t j, int32_t i, int32_t e) {
  const int32_t last = s.colStart[j] + s.colLen[j] - 1;
  const int32_t t = s.findRowEntry(j, i, e);
  if (t >= 0 && t != last) {
    s.indc[t] = s.indc[last];
    if (s.colEntryPos != nullptr) {
      s.colEntryPos[t] = s.colEntryPos[last];
      s.columnEntryMoved(t);
    }
  }
  s.indc[last] = kFree;
  s.columnCountDown(j);
  --s.colLen[j];
}

// Moves a line out of its count list to the first position after the pivots taken so far: it
// trades places with the first line of each shorter count on the way. The moving line is written
// only where it ends.
void lineToPivotPosition(int32_t line, int32_t count, int32_t* perm, int32_t* permInv, int32_t* countStart) {
  int32_t p = permInv[line];
  for (int32_t c = count; c >= 0; --c) {
    const int32_t q = countStart[c];
    if (q != p) {
      const int32_t other = perm[q];
      perm[p] = other;
      permInv[other] = p;
      p = q;
    }
    countStart[c] = q + 1;
  }
  perm[p] = line;
  permInv[line] = p;
}

void rowToPivotPosition(FactorState& s, int32_t i) {
  if (s.rowLen[i] == 1) s.singletons.rowLeftSingletons(i);
  lineToPivotPosition(i, s.rowLen[i], s.rowPerm, s.rowPermInv, s.rowCountStart);
}

void columnToPivotPosition(FactorState& s, int32_t j) {
  lineToPivotPosition(j, s.colLen[j], s.colPerm, s.colPermInv, s.colCountStart);
}

// Appends (v, j) to row i, moving the row to the end of the row file (with `reserve` free slots
// behind it) when the slot after it is taken.
void appendToRow(FactorState& s, int32_t i, double v, int32_t j, int32_t reserve) {
  int32_t end = s.rowStart[i] + s.rowLen[i];
  if (end == s.lrow) {
    ++s.lrow;
  } else if (s.indr[end] != kFree) {
    const int32_t from = s.rowStart[i], len = s.rowLen[i], to = s.lrow;
    for (int32_t t = 0; t < len; ++t) {
      s.a[to + t] = s.a[from + t];
      s.indr[to + t] = s.indr[from + t];
      s.indr[from + t] = kFree;
      if (s.rowEntryPos != nullptr) {
        s.rowEntryPos[to + t] = s.rowEntryPos[from + t];
        s.rowEntryMoved(to + t);
      }
    }
    s.rowStart[i] = to;
    end = to + len;
    for (int32_t t = 0; t < reserve; ++t) s.indr[end + t] = kFree;
    s.lrow = end + std::max(reserve, 1);
  }
  s.a[end] = v;
  s.indr[end] = j;
  s.rowCountUp(i);
  ++s.rowLen[i];
}

// Appends row i to column j; rowPos is where the entry stands in row i.
void appendToColumn(FactorState& s, int32_t j, int32_t i, int32_t rowPos, int32_t reserve) {
  int32_t end = s.colStart[j] + s.colLen[j];
  if (end == s.lcol) {
    ++s.lcol;
  } else if (s.indc[end] != kFree) {
    const int32_t from = s.colStart[j], len = s.colLen[j], to = s.lcol;
    for (int32_t t = 0; t < len; ++t) {
      s.indc[to + t] = s.indc[from + t];
      s.indc[from + t] = kFree;
      if (s.colEntryPos != nullptr) {
        s.colEntryPos[to + t] = s.colEntryPos[from + t];
        s.columnEntryMoved(to + t);
      }
    }
    s.colStart[j] = to;
    end = to + len;
    for (int32_t t = 0; t < reserve; ++t) s.indc[end + t] = kFree;
    s.lcol = end + std::max(reserve, 1);
  }
  s.indc[end] = i;
  if (s.colEntryPos != nullptr) s.colEntryPos[end] = rowPos;
  s.columnCountUp(j);
  ++s.colLen[j];
}

// Row i := row i - l * pivot row (the pivot row's other columns are marked with their positions).
// remainingRows bounds the fill that any one column can still receive in this step. The columns
// that row i already has are stamped with a number new to this call, so that nothing is left to
// undo afterwards: each row costs its own length and the pivot row's only when it takes fill.
void updateRow(FactorState& s, int32_t i, double l, int32_t rs, int32_t rl, int32_t remainingRows) {
  const int32_t stamp = s.nextUpdateStamp();
  int32_t nfill = rl - 1;
  const int32_t re = s.rowStart[i];
  const int32_t len = s.rowLen[i];
  bool anySmall = false;
  for (int32_t e = re; e < re + len; ++e) {
    const int32_t j = s.indr[e];
    const int32_t me = s.mark[j];
    if (me < 0) continue;
    s.a[e] -= l * s.a[me];
    s.colStamp[j] = stamp;
    --nfill;
    if (std::fabs(s.a[e]) <= s.small) anySmall = true;
  }
  if (anySmall) {
    int32_t w = re;
    for (int32_t e = re; e < re + len; ++e) {
      if (std::fabs(s.a[e]) <= s.small) {
        removeFromColumn(s, s.indr[e], i, e);
        --s.nzActive;
        continue;
      }
      if (w != e) {
        s.a[w] = s.a[e];
        s.indr[w] = s.indr[e];
        if (s.rowEntryPos != nullptr) {
          s.rowEntryPos[w] = s.rowEntryPos[e];
          s.rowEntryMoved(w);
        }
      }
      ++w;
    }
    for (int32_t e = w; e < re + len; ++e) {
      s.indr[e] = kFree;
      s.rowCountDown(i);
      --s.rowLen[i];
    }
  }
  if (nfill > 0) {
    for (int32_t e = rs + 1; e < rs + rl; ++e) {
      const int32_t j = s.indr[e];
      if (s.colStamp[j] == stamp) continue;
      const double v = -l * s.a[e];
      if (std::fabs(v) <= s.small) continue;
      appendToRow(s, i, v, j, nfill);
      const int32_t rowPos = s.rowStart[i] + s.rowLen[i] - 1;
      appendToColumn(s, j, i, rowPos, remainingRows);
      if (s.rowEntryPos != nullptr) s.rowEntryPos[rowPos] = s.colStart[j] + s.colLen[j] - 1;
      ++s.nzActive;
    }
  }
}

}  // namespace

bool eliminate(FactorState& s, int32_t ip, int32_t jp) {
  const int32_t rl = s.rowLen[ip], cl = s.colLen[jp];
  int64_t rowNeed = 0, colNeed = 0;
  if (rl > 1 && cl > 1) {
    for (int32_t t = s.colStart[jp]; t < s.colStart[jp] + cl; ++t)
      if (s.indc[t] != ip) rowNeed += s.rowLen[s.indc[t]] + rl;
    for (int32_t e = s.rowStart[ip]; e < s.rowStart[ip] + rl; ++e)
      if (s.indr[e] != jp) colNeed += s.colLen[s.indr[e]] + cl;
  }
  if (!ensureSpace(s, rowNeed, colNeed, s.keepLU ? cl - 1 : 0)) return false;

  // The pivot row, diagonal first, leaves the active submatrix.
  const int32_t rs = s.rowStart[ip];
  const int32_t pos = s.findInRow(ip, jp);
  std::swap(s.a[pos], s.a[rs]);
  std::swap(s.indr[pos], s.indr[rs]);
  if (s.rowEntryPos != nullptr) {
    std::swap(s.rowEntryPos[pos], s.rowEntryPos[rs]);
    s.rowEntryMoved(pos);
    s.rowEntryMoved(rs);
  }
  const double piv = s.a[rs];
  rowToPivotPosition(s, ip);
  for (int32_t e = rs; e < rs + rl; ++e) {
    const int32_t j = s.indr[e];
    removeFromColumn(s, j, ip, e);
    s.columnChanged(j);
    s.umax = std::max(s.umax, std::fabs(s.a[e]));
  }
  s.lenU += rl;
  s.nzActive -= rl;
  if (s.rule == kComplete) s.heapRemove(ip);

  // The pivot column gives the multipliers.
  const int32_t cs = s.colStart[jp];
  const int32_t nl = s.colLen[jp];
  if (s.keepLU && nl > 0) s.lColumnStart[s.numL] = s.lu1;
  for (int32_t t = 0; t < nl; ++t) {
    const int32_t i = s.indc[cs + t];
    s.list[t] = i;
    const int32_t e = s.findColumnEntry(cs + t, jp);
    const int32_t last = s.rowStart[i] + s.rowLen[i] - 1;
    const double l = s.a[e] / piv;
    s.a[e] = s.a[last];
    s.indr[e] = s.indr[last];
    s.indr[last] = kFree;
    if (s.rowEntryPos != nullptr && e != last) {
      s.rowEntryPos[e] = s.rowEntryPos[last];
      s.rowEntryMoved(e);
    }
    s.rowCountDown(i);
    --s.rowLen[i];
    s.scratch2[t] = l;
    s.lmax = std::max(s.lmax, std::fabs(l));
    if (s.keepLU) {
      --s.lu1;
      s.a[s.lu1] = l;
      s.indc[s.lu1] = i;
      s.indr[s.lu1] = ip;
    }
  }
  s.nzActive -= nl;
  if (s.keepLU && nl > 0) {
    ++s.numL;
    s.lColumnStart[s.numL] = s.lu1;
    s.lenL += nl;
  }
  for (int32_t t = cs; t < cs + nl; ++t) s.indc[t] = kFree;
  columnToPivotPosition(s, jp);
  s.colLen[jp] = 0;

  if (rl > 1 && nl > 0) {
    for (int32_t e = rs + 1; e < rs + rl; ++e) s.mark[s.indr[e]] = e;
    for (int32_t t = 0; t < nl; ++t) updateRow(s, s.list[t], s.scratch2[t], rs, rl, nl - t);
    for (int32_t e = rs + 1; e < rs + rl; ++e) s.mark[s.indr[e]] = -1;
  }
  if (s.rule != kPartial) {
    for (int32_t t = 0; t < nl; ++t) {
      const int32_t i = s.list[t];
      s.rowMax[i] = s.rowMaxOf(i);
      s.akmax = std::max(s.akmax, s.rowMax[i]);
      if (s.rule == kComplete) s.heapUpdate(i);
    }
  }
  ++s.nPiv;
  return true;
}

}  // namespace kavro::lu::detail
