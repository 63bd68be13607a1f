// Sizing of the factor storage: the only place where TRIAX allocates.
#include <algorithm>

#include "lu/lu_factors.hpp"
#include "lu/lu_singletons.hpp"

namespace kavro::lu {

void LuStorage::resize(int32_t rows, int32_t cols, int32_t lenaElements) {
  rows = std::max(rows, 0);
  cols = std::max(cols, 0);
  lenaElements = std::max(lenaElements, 0);
  maxRows = rows;
  maxCols = cols;
  lena = lenaElements;
  const size_t big = static_cast<size_t>(std::max(rows, cols));
  // Fresh zeroed arrays rather than assign(), which would write every element.
  const size_t elements = static_cast<size_t>(lenaElements);
  a = ElementArray<double>(elements);
  indc = ElementArray<int32_t>(elements);
  indr = ElementArray<int32_t>(elements);
  colEntryPos = ElementArray<int32_t>(elements);
  rowEntryPos = ElementArray<int32_t>(elements);
  for (auto* v : {&rowPerm, &rowLength, &rowStart, &rowPermInv, &heap, &heapPos}) v->assign(rows, 0);
  for (auto* v : {&colPerm, &colLength, &colStart, &colPermInv, &colMaxValid, &colStamp}) v->assign(cols, 0);
  singletonLists.assign(detail::SingletonWatch::workSize(rows, cols), 0);
  // Count lists: a column count runs over 0..rows, a row count over 0..cols.
  colCountStart.assign(static_cast<size_t>(rows) + 2, 0);
  rowCountStart.assign(static_cast<size_t>(cols) + 2, 0);
  lColumnStart.assign(static_cast<size_t>(rows) + 1, 0);
  luWork.assign(cols, 0.0);
  colMax.assign(cols, 0.0);
  rowMax.assign(rows, 0.0);
  workReal.assign(big, 0.0);
  workReal2.assign(big, 0.0);
  workInt.assign(big, 0);
  workInt2.assign(big, 0);
  sparse.resize(rows, cols, lenaElements);
}

void SparseSolveIndex::resize(int32_t rows, int32_t cols, int32_t lenaElements) {
  const size_t big = static_cast<size_t>(std::max(rows, cols));
  state = 0;
  arenaEnd = 0;
  uDensity = ltDensity = 0.0;
  arena = ElementArray<int32_t>(static_cast<size_t>(lenaElements));
  lColumnOfRow.assign(rows, -1);
  lRowStart.assign(static_cast<size_t>(rows) + 1, 0);
  for (auto* v : {&uColStart, &uColLength, &uColCapacity}) v->assign(static_cast<size_t>(cols), 0);
  rowMark.assign(rows, 0);
  colMark.assign(cols, 0);
  lineBits.assign((big + 63) / 64, 0);
}

}  // namespace kavro::lu
