#pragma once
// Internal pieces of TRIAX shared by its source files: the state of one factorization, the
// count-ordered line lists, compression and the message helpers.
//
// During the factorization the storage holds
//   - the row file in (a, indr) at the front: active rows and the finished rows of U, each a
//     contiguous segment rowStart[i] .. rowStart[i] + rowLength[i] - 1; free slots have indr = -1;
//   - the column file in indc, overlaid on the same front positions: the active columns as row
//     indices only (the values live in the rows); free slots have indc = -1; colEntryPos holds
//     beside each column entry the row-file position of that entry, and rowEntryPos beside each
//     row entry its column-file slot. Every move of an entry, compressions included, carries its
//     position and renews its partner's, so the two always point at each other (debug builds
//     check this at every use); a storage without the two arrays searches instead;
//   - L at the end of (a, indc, indr), written downward from lena as pivots are taken.
// Keeping the values in the rows means a pivot row becomes a row of U where it stands.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "lu/lu_factors.hpp"
#include "lu/lu_singletons.hpp"

namespace kavro {
class UnitTable;
}

namespace kavro::lu::detail {

inline constexpr int32_t kFree = -1;

// Messages to the print unit when there is one and the level allows.
struct Printer {
  UnitTable* units = nullptr;
  int32_t unit = 0;
  int32_t level = -1;

  bool on(int32_t atLeast) const { return units != nullptr && unit > 0 && level >= atLeast; }
  void line(int32_t atLeast, const char* format, ...) const __attribute__((format(printf, 3, 4)));
};

// Compresses a file of nLines lines in place: the entries of line t are
// ind[start[t] .. start[t] + len[t] - 1] (and the same positions of values and positions when
// given). Every other slot below end must be kFree. Returns the new end; starts are updated.
int32_t lu1rec(int32_t nLines, int32_t end, const int32_t* len, int32_t* start, int32_t* ind, double* values,
               int32_t* positions = nullptr);

struct FactorState {
  int32_t m = 0, n = 0, lena = 0;
  double* a = nullptr;
  int32_t* indc = nullptr;
  int32_t* indr = nullptr;
  int32_t* colEntryPos = nullptr;  // beside indc; both null when the storage was not sized for them
  int32_t* rowEntryPos = nullptr;  // beside indr
  int32_t *rowPerm = nullptr, *colPerm = nullptr, *rowLen = nullptr, *colLen = nullptr;
  int32_t *rowStart = nullptr, *colStart = nullptr, *rowCountStart = nullptr, *colCountStart = nullptr;
  int32_t *rowPermInv = nullptr, *colPermInv = nullptr;
  int32_t* lColumnStart = nullptr;
  double* luWork = nullptr;
  double* scratch = nullptr;    // n: pivot-row values, search values
  double* scratch2 = nullptr;   // max(m, n): multipliers
  int32_t* mark = nullptr;      // n: position of a column in the pivot row, or -1
  int32_t* list = nullptr;      // max(m, n): rows of the pivot column
  int32_t* colStamp = nullptr;  // n: the last row update whose row had the column (see updateRow)
  int32_t updateStamp = 0;
  double* rowMax = nullptr;
  double* colMax = nullptr;
  int32_t* colMaxValid = nullptr;
  SingletonWatch singletons;  // under partial and rook pivoting
  int32_t* heap = nullptr;
  int32_t* heapPos = nullptr;
  int32_t heapSize = 0;

  // Settings.
  int32_t rule = kPartial;
  bool keepLU = true;
  double ltol = 10.0;
  double small = 0.0;  // drop tolerance
  double spaceFactor = 3.0;
  double dens1 = 0.3, dens2 = 0.5;
  int32_t maxSearch = 5;
  int32_t nelem = 0;

  // Files.
  int32_t lrow = 0, lcol = 0;                // ends of the row and column files
  int32_t lu1 = 0;                           // L occupies [lu1, lena)
  int32_t rowFileBase = 0, colFileBase = 0;  // live lengths after the last compression
  // A file is compressed before a step once its end passes spaceFactor * base + m + n + 1000
  // (kept as computed, so that the test is the same comparison of doubles at every step).
  double rowCompressAbove = 0.0, colCompressAbove = 0.0;
  int32_t compressions = 0;

  // Progress.
  int32_t nPiv = 0;      // pivots taken (positions 0..nPiv-1 of both permutations)
  int64_t nzActive = 0;  // entries of the active submatrix
  int32_t numL = 0, lenL = 0, lenU = 0;
  int64_t meritSum = 0;
  int32_t utri = 0, ltri = 0, nslack = 0, dense1 = 0, dense2 = 0;
  double amax = 0, lmax = 0, umax = 0, akmax = 0;
  int32_t need = 0;     // storage need on code 7
  int64_t peakUse = 0;  // most slots in use at once (files, L and the step's room)
  Printer print;

  // A number no earlier row update of this factorization has used (colStamp starts at -1; there
  // are fewer updates than entries of L, so the count stays within lena).
  int32_t nextUpdateStamp() { return updateStamp++; }

  int32_t rowsLeft() const { return m - nPiv; }
  int32_t colsLeft() const { return n - nPiv; }
  int32_t freeSpace() const { return lu1 - (lrow > lcol ? lrow : lcol); }

  // Position of column j in row i, or -1.
  int32_t findInRow(int32_t i, int32_t j) const {
    const int32_t* p = indr + rowStart[i];
    const int32_t len = rowLen[i];
    for (int32_t t = 0; t < len; ++t)
      if (p[t] == j) return rowStart[i] + t;
    return -1;
  }

  // Position in its row of the column-file entry at slot t (row indc[t], column j), or -1.
  // With the position arrays this is the position kept beside the slot: long columns do not
  // cost a row search per entry.
  int32_t findColumnEntry(int32_t t, int32_t j) const {
    if (colEntryPos == nullptr) return findInRow(indc[t], j);
    checkPositions(t, colEntryPos[t]);
    return colEntryPos[t];
  }

  // Slot of row i in column j, or -1; e is the position of the entry in row i.
  int32_t findRowEntry(int32_t j, int32_t i, int32_t e) const {
    if (rowEntryPos != nullptr) {
      checkPositions(rowEntryPos[e], e);
      return rowEntryPos[e];
    }
    for (int32_t t = colStart[j], ce = colStart[j] + colLen[j]; t < ce; ++t)
      if (indc[t] == i) return t;
    return -1;
  }

  // After the column entry at slot t moved there (with its colEntryPos): tell its row entry.
  void columnEntryMoved(int32_t t) {
    if (colEntryPos != nullptr) rowEntryPos[colEntryPos[t]] = t;
  }
  // After the row entry at position e moved there (with its rowEntryPos): tell its column slot.
  void rowEntryMoved(int32_t e) {
    if (rowEntryPos != nullptr) colEntryPos[rowEntryPos[e]] = e;
  }
  // Debug builds check that slot t of the column file and position e of the row file hold the
  // same entry and point at each other.
  void checkPositions([[maybe_unused]] int32_t t, [[maybe_unused]] int32_t e) const {
#ifndef NDEBUG
    const int32_t i = indc[t], j = indr[e];
    const bool inRow = e >= rowStart[i] && e < rowStart[i] + rowLen[i];
    const bool inColumn = t >= colStart[j] && t < colStart[j] + colLen[j];
    if (!inRow || !inColumn || colEntryPos[t] != e || rowEntryPos[e] != t) {
      std::fprintf(stderr, "TRIAX: entry positions out of step (slot %d, position %d)\n", t, e);
      std::abort();
    }
#endif
  }

  // Count lists: the active columns of count c are colPerm[colCountStart[c] .. colCountStart[c+1]-1]
  // (counts 0..m, colCountStart[m+1] = n); pivoted columns sit before colCountStart[0].
  void columnCountDown(int32_t j) {  // count c -> c-1
    const int32_t c = colLen[j];
    const int32_t p = colPermInv[j], q = colCountStart[c];
    swapCols(p, q);
    colCountStart[c] = q + 1;
  }
  void columnCountUp(int32_t j) {  // count c -> c+1
    const int32_t c = colLen[j];
    const int32_t q = colCountStart[c + 1] - 1;
    swapCols(colPermInv[j], q);
    colCountStart[c + 1] = q;
  }
  void rowCountDown(int32_t i) {
    const int32_t c = rowLen[i];
    if (c == 2) singletons.rowBecameSingleton(i);
    if (c == 1) singletons.rowLeftSingletons(i);
    const int32_t p = rowPermInv[i], q = rowCountStart[c];
    swapRows(p, q);
    rowCountStart[c] = q + 1;
  }
  void rowCountUp(int32_t i) {
    const int32_t c = rowLen[i];
    if (c == 0) singletons.rowBecameSingleton(i);
    if (c == 1) singletons.rowLeftSingletons(i);
    const int32_t q = rowCountStart[c + 1] - 1;
    swapRows(rowPermInv[i], q);
    rowCountStart[c + 1] = q;
  }
  void swapCols(int32_t p, int32_t q) {
    const int32_t jp = colPerm[p], jq = colPerm[q];
    colPerm[p] = jq;
    colPermInv[jq] = p;
    colPerm[q] = jp;
    colPermInv[jp] = q;
  }
  void swapRows(int32_t p, int32_t q) {
    const int32_t ip = rowPerm[p], iq = rowPerm[q];
    rowPerm[p] = iq;
    rowPermInv[iq] = p;
    rowPerm[q] = ip;
    rowPermInv[ip] = q;
  }

  // Row maxima heap (complete pivoting): the largest row maximum is at heap[0].
  void heapBuild();
  void heapUpdate(int32_t i);
  void heapRemove(int32_t i);
  double heapTop() const { return heapSize > 0 ? rowMax[heap[0]] : 0.0; }

  // Column maximum of an active column (cached until the column changes). The search asks for
  // it once per entry of every row it examines, so the cached case stays inline.
  double columnMax(int32_t j) { return colMaxValid[j] ? colMax[j] : computeColumnMax(j); }
  // Column j of the active submatrix has changed (entries updated, added or removed).
  void columnChanged(int32_t j) {
    colMaxValid[j] = 0;
    singletons.columnChanged(j);
  }
  double computeColumnMax(int32_t j);
  double rowMaxOf(int32_t i) const;
};

// The pivoting loop. Returns a result code (0, 7, 8 or 9).
int32_t lu1fad(FactorState& s);

// Markowitz search: the chosen pivot (row, column, merit); found=false when nothing acceptable.
struct Pivot {
  bool found = false;
  int32_t row = -1, col = -1;
  int64_t merit = 0;
};
Pivot markowitzSearch(FactorState& s, int32_t maxCol, int32_t maxRow, bool searchRows);
// True when a(i,j) of magnitude aij passes the stability test of the rule (inline: the search
// applies it to every candidate it meets).
inline bool acceptable(const FactorState& s, int32_t i, int32_t j, double aij, double cmax) {
  switch (s.rule) {
    case kRook: return cmax <= s.ltol * aij && s.rowMax[i] <= s.ltol * aij;
    case kComplete: return s.heapTop() <= s.ltol * aij;
    case kSymmetric: return i == j && cmax <= s.ltol * aij;
    default: return cmax <= s.ltol * aij;
  }
}

// Eliminates with pivot (i, j). Returns false when the storage is exhausted (s.need is set).
bool eliminate(FactorState& s, int32_t i, int32_t j);

// Factorizes the remaining active submatrix as a dense block. Returns false on lack of space.
bool denseFactor(FactorState& s);

// Sets the live lengths of the files (after building or compressing them) and the ends beyond
// which they are compressed again.
void setRowFileBase(FactorState& s, int32_t base);
void setColumnFileBase(FactorState& s, int32_t base);
void compressRowFile(FactorState& s);
void compressColumnFile(FactorState& s);
// The rest of ensureSpace, for steps that compress or do not fit.
bool ensureSpaceCompressing(FactorState& s, int64_t rowNeed, int64_t colNeed, int64_t lNeed);

// Checks the files' space for a step needing rowNeed and colNeed slots at the ends of the row
// and column files and lNeed slots of L; compresses when needed or when the files carry much
// dead space. Returns false when the step cannot fit (s.need set). Inline: every pivot asks, and
// nearly always the answer is that the step fits as things are.
inline bool ensureSpace(FactorState& s, int64_t rowNeed, int64_t colNeed, int64_t lNeed) {
  const int64_t limit = static_cast<int64_t>(s.lu1) - lNeed;
  const bool fits = s.lrow + rowNeed <= limit && s.lcol + colNeed <= limit;
  if (!fits || s.lrow > s.rowCompressAbove || s.lcol > s.colCompressAbove)
    return ensureSpaceCompressing(s, rowNeed, colNeed, lNeed);
  const int64_t used = std::max(s.lrow + rowNeed, s.lcol + colNeed) + lNeed + (s.lena - s.lu1);
  if (used > s.peakUse) s.peakUse = used;
  return true;
}

// What the singularity check needs of the columns of U: in luWork the largest magnitude of each
// column, in colLength its number of entries, and the largest diagonal. Taken while the rows of
// U are moved into place when they are (measured = true), else by the check itself.
struct UColumnMeasures {
  bool measured = false;
  double dumax = 0.0;
};

// After the loop: puts the rows of U in pivot order at the front of the row file, measuring the
// columns of U on the way (luWork and colLength must be zero on entry).
UColumnMeasures orderRowsOfU(FactorState& s);

// Flags small pivots; fills luWork and the diagonal statistics; returns the result code 0 or 1.
int32_t luCheckSingularity(int32_t m, int32_t n, LuParams& params, LuStorage& lu, const Printer& print,
                           const UColumnMeasures& measures);

// Statistics block lines.
void printFirstStatsLine(const Printer& print, int32_t m, int32_t n, int32_t nelem, double amax);
void printStatistics(const Printer& print, int32_t m, int32_t n, int32_t nelem, LuParams& params);

}  // namespace kavro::lu::detail
