// Markowitz search over the count-ordered lists, the stability tests of the pivoting rules and
// the line maxima they rely on.
#include <algorithm>
#include <cmath>
#include <limits>

#include "lu/lu_internal.hpp"

namespace kavro::lu::detail {

double FactorState::rowMaxOf(int32_t i) const {
  double v = 0.0;
  for (int32_t e = rowStart[i]; e < rowStart[i] + rowLen[i]; ++e) v = std::max(v, std::fabs(a[e]));
  return v;
}

double FactorState::computeColumnMax(int32_t j) {
  double v = 0.0;
  for (int32_t t = colStart[j]; t < colStart[j] + colLen[j]; ++t) {
    const int32_t e = findColumnEntry(t, j);
    v = std::max(v, std::fabs(a[e]));
  }
  colMax[j] = v;
  colMaxValid[j] = 1;
  return v;
}

// Binary max-heap of the active rows keyed by rowMax.
void FactorState::heapBuild() {
  heapSize = 0;
  for (int32_t i = 0; i < m; ++i) {
    heap[heapSize] = i;
    heapPos[i] = heapSize++;
    heapUpdate(i);
  }
}

void FactorState::heapUpdate(int32_t i) {
  int32_t p = heapPos[i];
  if (p < 0) return;
  const double key = rowMax[i];
  while (p > 0) {  // up
    const int32_t parent = (p - 1) / 2;
    if (rowMax[heap[parent]] >= key) break;
    heap[p] = heap[parent];
    heapPos[heap[p]] = p;
    p = parent;
  }
  for (;;) {  // down
    int32_t child = 2 * p + 1;
    if (child >= heapSize) break;
    if (child + 1 < heapSize && rowMax[heap[child + 1]] > rowMax[heap[child]]) ++child;
    if (rowMax[heap[child]] <= key) break;
    heap[p] = heap[child];
    heapPos[heap[p]] = p;
    p = child;
  }
  heap[p] = i;
  heapPos[i] = p;
}

void FactorState::heapRemove(int32_t i) {
  const int32_t p = heapPos[i];
  if (p < 0) return;
  const int32_t last = heap[--heapSize];
  heapPos[i] = -1;
  if (last == i) return;
  heap[p] = last;
  heapPos[last] = p;
  heapUpdate(last);
}

namespace {

struct Best {
  Pivot pivot;
  double absValue = 0.0;
  double ratio = std::numeric_limits<double>::infinity();

  // Least merit wins; on equal merit the larger entry when both are well inside the threshold,
  // otherwise the better ratio to the column maximum.
  void consider(int32_t i, int32_t j, int64_t merit, double aij, double cmax) {
    const double r = cmax / aij;
    if (pivot.found && merit == pivot.merit) {
      if (r <= 2.0 && ratio <= 2.0) {
        if (aij <= absValue) return;
      } else if (r >= ratio) {
        return;
      }
    }
    pivot = {true, i, j, merit};
    absValue = aij;
    ratio = r;
  }
};

void examineColumn(FactorState& s, int32_t j, int32_t count, Best& best) {
  const int32_t cs = s.colStart[j];
  double cmax = 0.0;
  for (int32_t t = 0; t < count; ++t) {
    const double v = std::fabs(s.a[s.findColumnEntry(cs + t, j)]);
    s.scratch[t] = v;
    cmax = std::max(cmax, v);
  }
  s.colMax[j] = cmax;
  s.colMaxValid[j] = 1;
  for (int32_t t = 0; t < count; ++t) {
    const int32_t i = s.indc[cs + t];
    const int64_t merit = static_cast<int64_t>(count - 1) * (s.rowLen[i] - 1);
    if (best.pivot.found && merit > best.pivot.merit) continue;
    if (!acceptable(s, i, j, s.scratch[t], cmax)) continue;
    best.consider(i, j, merit, s.scratch[t], cmax);
  }
}

[[gnu::always_inline]] inline void examineRow(FactorState& s, int32_t i, int32_t count, Best& best) {
  for (int32_t e = s.rowStart[i]; e < s.rowStart[i] + count; ++e) {
    const int32_t j = s.indr[e];
    if (s.rule == kSymmetric && j != i) continue;
    const int64_t merit = static_cast<int64_t>(s.colLen[j] - 1) * (count - 1);
    if (best.pivot.found && merit > best.pivot.merit) continue;
    const double aij = std::fabs(s.a[e]);
    const double cmax = s.columnMax(j);
    if (!acceptable(s, i, j, aij, cmax)) continue;
    best.consider(i, j, merit, aij, cmax);
  }
}

// The row singletons in count-list order until one passes (best then holds it, of merit 0, which
// ends the search); those that fail are recorded as failed. Singletons known to fail are passed
// by: taken from the list of pending ones when it is short next to the count list, by a walk of
// the count list otherwise (the order, and so the pivot, is the same either way). Only called at
// count 1, where nothing has been found yet.
bool pendingSingletonPasses(FactorState& s, Best& best) {
  SingletonWatch& w = s.singletons;
  const int64_t pending = w.pendingCount();
  if (pending * pending <= s.rowCountStart[2] - s.rowCountStart[1]) {
    while (w.anyPending()) {
      const int32_t i = w.firstPending(s.rowPermInv);
      examineRow(s, i, 1, best);
      if (best.pivot.found) return true;
      w.failed(i, s.indr[s.rowStart[i]]);
    }
    return false;
  }
  for (int32_t p = s.rowCountStart[1]; p < s.rowCountStart[2] && w.anyPending(); ++p) {
    const int32_t i = s.rowPerm[p];
    if (w.knownToFail(i)) continue;
    examineRow(s, i, 1, best);
    if (best.pivot.found) return true;
    w.failed(i, s.indr[s.rowStart[i]]);
  }
  return false;
}

int32_t smallestRowCount(const FactorState& s) {
  for (int32_t c = 1; c <= s.n; ++c)
    if (s.rowCountStart[c] < s.rowCountStart[c + 1]) return c;
  return 1;
}

}  // namespace

Pivot markowitzSearch(FactorState& s, int32_t maxCol, int32_t maxRow, bool searchRows) {
  Best best;
  int32_t ncol = 0, nrow = 0;
  const int32_t rmin = searchRows ? 1 : smallestRowCount(s);
  for (int32_t count = 1;; ++count) {
    const bool colsLeft = count <= s.m && s.colCountStart[count] < s.n;
    const bool rowsLeft = searchRows && count <= s.n && s.rowCountStart[count] < s.m;
    if (!colsLeft && !rowsLeft) break;
    if (best.pivot.found) {
      // No line of this count can beat the best: with rows searched every shorter row has been
      // seen; without, the shortest row bounds the merit.
      const int64_t bound = searchRows ? static_cast<int64_t>(count - 1) * (count - 1)
                                       : static_cast<int64_t>(count - 1) * (rmin - 1);
      if (best.pivot.merit <= bound) break;
    }
    if (count <= s.m) {
      for (int32_t p = s.colCountStart[count]; p < s.colCountStart[count + 1]; ++p) {
        examineColumn(s, s.colPerm[p], count, best);
        ++ncol;
        if (best.pivot.found && (best.pivot.merit == 0 || ncol >= maxCol)) return best.pivot;
      }
    }
    if (rowsLeft) {
      if (count == 1 && s.singletons.on()) {
        // Every row singleton counts as examined, as a scan of them all would count them.
        if (pendingSingletonPasses(s, best)) return best.pivot;
        nrow += s.rowCountStart[2] - s.rowCountStart[1];
        continue;
      }
      for (int32_t p = s.rowCountStart[count]; p < s.rowCountStart[count + 1]; ++p) {
        ++nrow;
        examineRow(s, s.rowPerm[p], count, best);
        if (best.pivot.found && (best.pivot.merit == 0 || nrow >= maxRow)) return best.pivot;
      }
    }
  }
  return best.pivot;
}

}  // namespace kavro::lu::detail
