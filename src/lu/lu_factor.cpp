// lu1fac: checks the entries, builds the row and column files and the count lists, recognises
// unit slacks, runs the pivoting loop and stores the outputs.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "lu/lu_internal.hpp"

namespace kavro::lu {
namespace {

using detail::FactorState;
using detail::kFree;
using detail::Printer;

FactorState makeState(int32_t m, int32_t n, LuParams& p, LuStorage& lu) {
  FactorState s;
  s.m = m;
  s.n = n;
  s.lena = lu.lena;
  s.a = lu.a.data();
  s.indc = lu.indc.data();
  s.indr = lu.indr.data();
  if (std::ssize(lu.colEntryPos) >= s.lena && std::ssize(lu.rowEntryPos) >= s.lena) {
    s.colEntryPos = lu.colEntryPos.data();
    s.rowEntryPos = lu.rowEntryPos.data();
  }
  s.rowPerm = lu.rowPerm.data();
  s.colPerm = lu.colPerm.data();
  s.rowLen = lu.rowLength.data();
  s.colLen = lu.colLength.data();
  s.rowStart = lu.rowStart.data();
  s.colStart = lu.colStart.data();
  s.rowCountStart = lu.rowCountStart.data();
  s.colCountStart = lu.colCountStart.data();
  s.rowPermInv = lu.rowPermInv.data();
  s.colPermInv = lu.colPermInv.data();
  s.lColumnStart = lu.lColumnStart.data();
  s.luWork = lu.luWork.data();
  s.scratch = lu.workReal.data();
  s.scratch2 = lu.workReal2.data();
  s.mark = lu.workInt.data();
  s.list = lu.workInt2.data();
  s.colStamp = lu.colStamp.data();
  s.rowMax = lu.rowMax.data();
  s.colMax = lu.colMax.data();
  s.colMaxValid = lu.colMaxValid.data();

  s.heap = lu.heap.data();
  s.heapPos = lu.heapPos.data();

  s.rule = (p.pivotRule() >= kPartial && p.pivotRule() <= kSymmetric) ? p.pivotRule() : kPartial;
  s.keepLU = p.keepFactors() != 0;
  s.ltol = std::max(p.factorTol(), 1.0001);
  s.small = std::max(p.dropTol(), 0.0);
  s.spaceFactor = p.spaceFactor() > 0 ? p.spaceFactor() : 3.0;
  s.dens2 = p.density2();
  s.dens1 = std::min(p.density1(), s.dens2);
  s.maxSearch = std::max(p.maxSearch(), 1);
  return s;
}

// Scans the entries from the last to the first: drops tiny ones, checks the indices and values,
// counts the lines. Returns 0, 3 or 10; k receives the offending entry.
int32_t scanEntries(FactorState& s, int32_t& nelem, int32_t& bad) {
  std::fill(s.rowLen, s.rowLen + s.m, 0);
  std::fill(s.colLen, s.colLen + s.n, 0);
  double amax = 0.0;
  for (int32_t k = nelem - 1; k >= 0; --k) {
    const double v = std::fabs(s.a[k]);
    if (v <= s.small) {
      const int32_t last = --nelem;
      s.a[k] = s.a[last];
      s.indc[k] = s.indc[last];
      s.indr[k] = s.indr[last];
      continue;
    }
    const int32_t i = s.indc[k], j = s.indr[k];
    bad = k;
    // One unsigned comparison per index covers both ends (a negative index wraps beyond m).
    if (static_cast<uint32_t>(i) >= static_cast<uint32_t>(s.m) ||
        static_cast<uint32_t>(j) >= static_cast<uint32_t>(s.n))
      return kFactorBadIndex;
    if (!std::isfinite(v)) return kFactorRookSetupFailed;
    amax = std::max(amax, v);
    ++s.rowLen[i];
    ++s.colLen[j];
  }
  s.amax = amax;
  return kFactorOk;
}

// Sorts the entries into rows in place (the row file) and builds the column file in indc.
// Returns the position of a duplicate entry, or -1.
int32_t buildFiles(FactorState& s, int32_t nelem) {
  int32_t pos = 0;
  for (int32_t i = 0; i < s.m; ++i) {
    s.rowStart[i] = pos;
    pos += s.rowLen[i];
  }
  // Place entries row by row; next[i] is kept in list[] (m entries suffice there). An entry
  // of another row is carried to that row's next slot, and the entry found there onwards, until
  // one of row i turns up to fill the slot it left.
  int32_t* next = s.list;
  for (int32_t i = 0; i < s.m; ++i) next[i] = s.rowStart[i];
  for (int32_t i = 0; i < s.m; ++i) {
    const int32_t end = s.rowStart[i] + s.rowLen[i];
    for (int32_t k = next[i]; k < end; ++k) {
      int32_t r = s.indc[k];
      if (r == i) continue;
      double v = s.a[k];
      int32_t j = s.indr[k];
      do {
        const int32_t t = next[r]++;
        std::swap(v, s.a[t]);
        std::swap(j, s.indr[t]);
        std::swap(r, s.indc[t]);
      } while (r != i);
      s.a[k] = v;
      s.indr[k] = j;
      s.indc[k] = i;
    }
    next[i] = end;
  }
  // Column file: row indices only, rows in order. A duplicate is the second entry of a row in
  // a column: the entry placed just before it in that column has the same row.
  pos = 0;
  for (int32_t j = 0; j < s.n; ++j) {
    s.colStart[j] = pos;
    pos += s.colLen[j];
    s.mark[j] = s.colStart[j];
  }
  for (int32_t i = 0; i < s.m; ++i)
    for (int32_t k = s.rowStart[i]; k < s.rowStart[i] + s.rowLen[i]; ++k) {
      const int32_t j = s.indr[k];
      const int32_t t = s.mark[j]++;
      if (t > s.colStart[j] && s.indc[t - 1] == i) {
        s.indc[k] = i;  // as the error message reports it
        return k;
      }
      s.indc[t] = i;
      if (s.colEntryPos != nullptr) {
        s.colEntryPos[t] = k;
        s.rowEntryPos[k] = t;
      }
    }
  std::fill(s.mark, s.mark + s.n, -1);
  s.lrow = s.lcol = nelem;
  detail::setRowFileBase(s, nelem);
  detail::setColumnFileBase(s, nelem);
  s.lu1 = s.lena;
  s.nzActive = nelem;
  return -1;
}

// Counting sort of lines by count into perm, with the start of each count in countStart (counts
// 0..maxCount; those above the longest line all start at nLines).
void sortByCount(int32_t nLines, int32_t maxCount, const int32_t* len, int32_t* perm, int32_t* permInv,
                 int32_t* countStart) {
  int32_t longest = 0;
  for (int32_t t = 0; t < nLines; ++t) longest = std::max(longest, len[t]);
  std::fill(countStart, countStart + longest + 2, 0);
  for (int32_t t = 0; t < nLines; ++t) ++countStart[len[t] + 1];
  for (int32_t c = 1; c <= longest + 1; ++c) countStart[c] += countStart[c - 1];
  // countStart[c] is now the first position of count c; place lines (stable).
  for (int32_t t = 0; t < nLines; ++t) {
    const int32_t p = countStart[len[t]]++;
    perm[p] = t;
    permInv[t] = p;
  }
  for (int32_t c = longest + 1; c > 0; --c) countStart[c] = countStart[c - 1];
  countStart[0] = 0;
  std::fill(countStart + longest + 2, countStart + maxCount + 2, nLines);
}

// Marks the unit slack columns (luWork = 1) and lists them in scratch2-free order in list[].
void findSlacks(FactorState& s) {
  std::fill(s.luWork, s.luWork + s.n, 0.0);
  std::fill(s.mark, s.mark + std::max(s.m, s.n), -1);
  s.nslack = 0;
  for (int32_t p = s.colCountStart[1]; p < s.colCountStart[2]; ++p) {
    const int32_t j = s.colPerm[p];
    const int32_t i = s.indc[s.colStart[j]];
    if (s.mark[i] >= 0) continue;
    if (s.rule == kSymmetric && i != j) continue;
    const int32_t e = s.findColumnEntry(s.colStart[j], j);
    if (std::fabs(s.a[e]) != 1.0) continue;
    s.mark[i] = j;
    s.luWork[j] = 1.0;
    s.list[s.nslack++] = j;
  }
  std::fill(s.mark, s.mark + std::max(s.m, s.n), -1);
}

// Under partial and rook pivoting the search looks only at row singletons that may pass: at the
// start, all of them. (A storage without the lists, as tests make one, searches them all.)
void startSingletonWatch(FactorState& s, LuStorage& lu) {
  const bool sized = std::ssize(lu.singletonLists) >= detail::SingletonWatch::workSize(s.m, s.n);
  s.singletons.start(lu.singletonLists.data(), s.m, s.n, sized && (s.rule == kPartial || s.rule == kRook));
  for (int32_t p = s.rowCountStart[1]; p < s.rowCountStart[2]; ++p) s.singletons.rowBecameSingleton(s.rowPerm[p]);
}

void setupLineMaxima(FactorState& s) {
  std::fill(s.colMaxValid, s.colMaxValid + s.n, 0);
  std::fill(s.colStamp, s.colStamp + s.n, -1);

  if (s.rule == kPartial) return;
  for (int32_t i = 0; i < s.m; ++i) s.rowMax[i] = s.rowMaxOf(i);
  s.akmax = s.amax;
  if (s.rule == kComplete) s.heapBuild();
}

void storeOutputs(const FactorState& s, int32_t code, int32_t nelem, LuParams& p) {
  p.result() = code;
  p.rank() = s.nPiv;
  p.dense1Step() = s.dense1;
  p.dense2Step() = s.dense2;
  p.numL0() = s.numL;
  p.lenL0() = p.lenL() = s.lenL;
  p.lenU0() = p.lenU() = s.lenU;
  p.rowFileEnd() = s.lrow;
  p.compressions() = s.compressions;
  p.meritSum() = static_cast<int32_t>(std::min<int64_t>(s.meritSum, INT32_MAX));
  p.utri() = s.utri;
  p.ltri() = s.ltri;
  p.nslack() = s.nslack;
  p.replacements() = 0;
  p.amax() = s.amax;
  p.lmax() = s.lmax;
  p.umax() = s.umax;
  p.akmax() = s.rule != kPartial ? s.akmax : 0.0;
  if (s.rule == kPartial) p.growth() = s.umax / (s.amax + 1e-20);
  else p.growth() = s.akmax / (s.amax + 1e-20);
  (void)nelem;
}

void reportError(const Printer& pr, int32_t code, const FactorState& s, int32_t lena, int32_t k) {
  switch (code) {
    case kFactorBadIndex:
      pr.line(0, " lu1fac  error...  entry  a(%8d)  has an illegal row or column index", k + 1);
      pr.line(0, " indc, indr =%8d%8d", s.indc[k] + 1, s.indr[k] + 1);
      break;
    case kFactorDuplicate:
      pr.line(0, " lu1fac  error...  entry  a(%8d)  has the same indices as an earlier entry", k + 1);
      pr.line(0, " indc, indr =%8d%8d", s.indc[k] + 1, s.indr[k] + 1);
      break;
    case kFactorNoStorage:
      pr.line(0, " lu1fac  error...  insufficient storage");
      pr.line(0, " Increase  lena  from%10d  to at least%10d", lena, s.need);
      break;
    case kFactorInternalError:
      pr.line(0, " lu1fac  error...  fatal bug");
      pr.line(0, " (sorry --- this should never happen)");
      break;
    case kFactorNoDiagonalPivot:
      pr.line(0, " lu1fac  error...  TSP used but");
      pr.line(0, " diagonal pivot could not be found");
      break;
    default: break;
  }
}

// Keep-factors: the rows of U in pivot order at the front; L stays at the end. Returns the
// measures of the columns of U when moving the rows took them on the way.
detail::UColumnMeasures finishFactors(FactorState& s) {
  std::fill(s.colLen, s.colLen + s.n, 0);
  std::fill(s.luWork, s.luWork + s.n, 0.0);
  detail::UColumnMeasures measures;
  if (s.keepLU) measures = detail::orderRowsOfU(s);
  return measures;
}

}  // namespace

int32_t lu1fac(int32_t m, int32_t n, int32_t& nelem, LuParams& params, LuStorage& lu, UnitTable* units) {
  const Printer pr{units, params.printUnit(), params.printLevel()};
  lu.sparse.state = 0;  // the sparse solves rebuild their structures for the new factors
  for (int k = 10; k <= 30; ++k) params.ip[k] = 0;
  for (int k = 10; k <= 20; ++k) params.rp[k] = 0.0;
  params.lastSingular() = -1;
  params.minDiagColumn() = -1;

  const int32_t lena = lu.lena;
  const int64_t minlen = static_cast<int64_t>(std::max(nelem, 0)) + 2 * (static_cast<int64_t>(m) + n);
  const bool badShape = m < 0 || n < 0 || m > lu.maxRows || n > lu.maxCols || nelem < 0 ||
                        static_cast<size_t>(lena) > lu.a.size() || nelem > lena;
  if (badShape || minlen > lena) {
    FactorState s;
    s.need = static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(minlen, lena + 1), INT32_MAX));
    reportError(pr, kFactorNoStorage, s, lena, 0);
    params.result() = kFactorNoStorage;
    params.minLena() = s.need;
    return kFactorNoStorage;
  }

  FactorState s = makeState(m, n, params, lu);
  s.print = pr;
  s.nelem = nelem;
  int32_t bad = 0;
  int32_t code = scanEntries(s, nelem, bad);
  s.nelem = nelem;
  if (code != kFactorOk) {
    reportError(pr, code, s, lena, bad);
    storeOutputs(s, code, nelem, params);
    params.minLena() = static_cast<int32_t>(minlen);
    return code;
  }
  detail::printFirstStatsLine(pr, m, n, nelem, s.amax);

  const int32_t dup = buildFiles(s, nelem);
  if (dup >= 0) {
    reportError(pr, kFactorDuplicate, s, lena, dup);
    storeOutputs(s, kFactorDuplicate, nelem, params);
    params.minLena() = static_cast<int32_t>(minlen);
    return kFactorDuplicate;
  }
  sortByCount(m, n, s.rowLen, s.rowPerm, s.rowPermInv, s.rowCountStart);
  sortByCount(n, m, s.colLen, s.colPerm, s.colPermInv, s.colCountStart);
  startSingletonWatch(s, lu);
  findSlacks(s);
  setupLineMaxima(s);

  code = detail::lu1fad(s);
  s.peakUse = std::max<int64_t>(s.peakUse, static_cast<int64_t>(s.lena) - s.lu1 + std::max(s.lrow, s.lcol));
  params.minLena() = static_cast<int32_t>(std::min<int64_t>(std::max(minlen, s.peakUse), INT32_MAX));
  if (code == kFactorOk) {
    const detail::UColumnMeasures measures = finishFactors(s);
    storeOutputs(s, code, nelem, params);
    code = detail::luCheckSingularity(m, n, params, lu, pr, measures);
    params.result() = code;
  } else {
    if (code == kFactorNoStorage) params.minLena() = s.need;
    reportError(pr, code, s, lena, 0);
    storeOutputs(s, code, nelem, params);
    params.result() = code;
    return code;
  }
  detail::printStatistics(pr, m, n, nelem, params);
  return code;
}

}  // namespace kavro::lu
