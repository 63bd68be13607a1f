// Compression of the row and column files in place, and the space check made before each
// elimination step.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "lu/lu_internal.hpp"

namespace kavro::lu::detail {

int32_t lu1rec(int32_t nLines, int32_t end, const int32_t* len, int32_t* start, int32_t* ind, double* values,
               int32_t* positions) {
  // Mark the first slot of every line with the line number; its own index waits in start[].
  for (int32_t t = 0; t < nLines; ++t) {
    if (len[t] <= 0) continue;
    const int32_t k = start[t];
    start[t] = ind[k];
    ind[k] = -(t + 2);
  }
  int32_t p = 0;
  for (int32_t k = 0; k < end;) {
    if (ind[k] > -2) {  // a free slot
      ++k;
      continue;
    }
    const int32_t t = -(ind[k] + 2);
    const int32_t l = len[t];
    ind[p] = start[t];
    if (values) values[p] = values[k];
    if (positions) positions[p] = positions[k];
    if (l > 1 && p != k) {
      std::memmove(ind + p + 1, ind + k + 1, sizeof(int32_t) * static_cast<size_t>(l - 1));
      if (values) std::memmove(values + p + 1, values + k + 1, sizeof(double) * static_cast<size_t>(l - 1));
      if (positions) std::memmove(positions + p + 1, positions + k + 1, sizeof(int32_t) * static_cast<size_t>(l - 1));
    }
    start[t] = p;
    p += l;
    k += l;
  }
  return p;
}

namespace {
double compressAbove(const FactorState& s, int32_t base) {
  const int64_t slack = static_cast<int64_t>(s.m) + s.n + 1000;
  return s.spaceFactor * base + slack;
}
}  // namespace

void setRowFileBase(FactorState& s, int32_t base) {
  s.rowFileBase = base;
  s.rowCompressAbove = compressAbove(s, base);
}

void setColumnFileBase(FactorState& s, int32_t base) {
  s.colFileBase = base;
  s.colCompressAbove = compressAbove(s, base);
}

// The entries carry their positions in the other file; the other file learns their new places.
void compressRowFile(FactorState& s) {
  s.lrow = lu1rec(s.m, s.lrow, s.rowLen, s.rowStart, s.indr, s.a, s.rowEntryPos);
  if (s.rowEntryPos != nullptr) {
    for (int32_t k = s.nPiv; k < s.m; ++k) {  // the active rows (rows of U have left the columns)
      const int32_t i = s.rowPerm[k];
      for (int32_t e = s.rowStart[i]; e < s.rowStart[i] + s.rowLen[i]; ++e) s.colEntryPos[s.rowEntryPos[e]] = e;
    }
  }
  setRowFileBase(s, s.lrow);
  ++s.compressions;
}

void compressColumnFile(FactorState& s) {
  s.lcol = lu1rec(s.n, s.lcol, s.colLen, s.colStart, s.indc, nullptr, s.colEntryPos);
  if (s.colEntryPos != nullptr)
    for (int32_t t = 0; t < s.lcol; ++t) s.rowEntryPos[s.colEntryPos[t]] = t;
  setColumnFileBase(s, s.lcol);
  ++s.compressions;
}

bool ensureSpaceCompressing(FactorState& s, int64_t rowNeed, int64_t colNeed, int64_t lNeed) {
  auto fits = [&] {
    const int64_t limit = static_cast<int64_t>(s.lu1) - lNeed;
    return s.lrow + rowNeed <= limit && s.lcol + colNeed <= limit;
  };
  const bool ok = fits();
  if (!ok || s.lrow > s.rowCompressAbove) compressRowFile(s);
  if (!ok || s.lcol > s.colCompressAbove) compressColumnFile(s);
  if (fits()) {
    s.peakUse = std::max<int64_t>(s.peakUse, std::max(s.lrow + rowNeed, s.lcol + colNeed) + lNeed + (s.lena - s.lu1));
    return true;
  }
  // What this step needs on top of what is in use, plus room for the fill still to come: at
  // most the whole remaining submatrix, and no more than the space used so far once again.
  const int64_t used = std::max(s.lrow + rowNeed, s.lcol + colNeed) + lNeed + (s.lena - s.lu1);
  const int64_t rest = static_cast<int64_t>(s.rowsLeft()) * s.colsLeft();
  const int64_t need = used + 2 * (static_cast<int64_t>(s.m) + s.n) + std::min(rest, used);
  s.need = static_cast<int32_t>(std::min<int64_t>(need, INT32_MAX));
  return false;
}

UColumnMeasures orderRowsOfU(FactorState& s) {
  int64_t total = 0;
  for (int32_t k = 0; k < s.nPiv; ++k) total += s.rowLen[s.rowPerm[k]];
  if (s.lrow + total > s.lu1) compressRowFile(s);
  if (s.lrow + total > s.lu1) return {};  // the rows stay where they are: correct, only less compact
  const int32_t base = s.lrow;
  int32_t p = base;
  double dumax = 0.0;
  for (int32_t k = 0; k < s.nPiv; ++k) {
    const int32_t i = s.rowPerm[k];
    const int32_t len = s.rowLen[i];
    const double* from = s.a + s.rowStart[i];
    const int32_t* fromCol = s.indr + s.rowStart[i];
    double* to = s.a + p;
    int32_t* toCol = s.indr + p;
    dumax = std::max(dumax, std::fabs(from[0]));
    for (int32_t t = 0; t < len; ++t) {
      const double v = from[t];
      const int32_t j = fromCol[t];
      to[t] = v;
      toCol[t] = j;
      s.luWork[j] = std::max(s.luWork[j], std::fabs(v));
      ++s.colLen[j];
    }
    s.rowStart[i] = p - base;
    p += len;
  }
  std::memmove(s.a, s.a + base, sizeof(double) * static_cast<size_t>(total));
  std::memmove(s.indr, s.indr + base, sizeof(int32_t) * static_cast<size_t>(total));
  for (int32_t k = s.nPiv; k < s.m; ++k) s.rowStart[s.rowPerm[k]] = static_cast<int32_t>(total);
  s.lrow = static_cast<int32_t>(total);
  return {true, dumax};
}

}  // namespace kavro::lu::detail
