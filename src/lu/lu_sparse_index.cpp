// Building the row lists of L and the column lists of U for the sparse solves, and adding the
// entries that replacements write.
#include "lu/lu_sparse_index.hpp"

#include <algorithm>
#include <iterator>

namespace kavro::lu::detail {
namespace {

// Row i's L columns: the columns of the factorization's L with an entry in row i.
bool buildLRows(int32_t m, const LuParams& params, LuStorage& lu) {
  SparseSolveIndex& x = lu.sparse;
  const int32_t numL0 = params.ip[20], lenL0 = params.ip[21];
  if (lenL0 > std::ssize(x.arena)) return false;
  const int32_t* lcs = lu.lColumnStart.data();
  int32_t* start = x.lRowStart.data();
  std::fill(x.lColumnOfRow.begin(), x.lColumnOfRow.begin() + m, -1);
  std::fill(start, start + m + 1, 0);
  for (int32_t k = 0; k < numL0; ++k) x.lColumnOfRow[lu.indr[lcs[k + 1]]] = k;
  for (int32_t t = lu.lena - lenL0; t < lu.lena; ++t) ++start[lu.indc[t] + 1];
  for (int32_t i = 0; i < m; ++i) start[i + 1] += start[i];
  int32_t* next = x.rowMark.data();  // zero between solves: used here, then cleared
  std::copy(start, start + m, next);
  for (int32_t k = 0; k < numL0; ++k)
    for (int32_t t = lcs[k + 1]; t < lcs[k]; ++t) x.arena[next[lu.indc[t]]++] = k;
  std::fill(next, next + m, 0);
  return true;
}

// The rows of each column of U (the diagonal included), with some room to grow.
bool buildUColumns(int32_t n, const LuParams& params, LuStorage& lu, int32_t from) {
  SparseSolveIndex& x = lu.sparse;
  const int32_t rank = params.ip[16];
  int32_t* len = x.uColLength.data();
  int32_t* cap = x.uColCapacity.data();
  std::fill(len, len + n, 0);
  int64_t total = 0;
  for (int32_t k = 0; k < rank; ++k) {
    const int32_t i = lu.rowPerm[k];
    for (int32_t e = lu.rowStart[i]; e < lu.rowStart[i] + lu.rowLength[i]; ++e) ++len[lu.indr[e]];
  }
  for (int32_t j = 0; j < n; ++j) total += len[j];
  const int64_t room = std::ssize(x.arena) - from;
  if (total > room) return false;
  const bool spare = total + total / 4 + 2 * static_cast<int64_t>(n) <= room;
  int32_t pos = from;
  for (int32_t j = 0; j < n; ++j) {
    cap[j] = spare ? len[j] + len[j] / 4 + 2 : len[j];
    x.uColStart[j] = pos;
    pos += cap[j];
    len[j] = 0;
  }
  for (int32_t k = 0; k < rank; ++k) {
    const int32_t i = lu.rowPerm[k];
    for (int32_t e = lu.rowStart[i]; e < lu.rowStart[i] + lu.rowLength[i]; ++e) {
      const int32_t j = lu.indr[e];
      x.arena[x.uColStart[j] + len[j]++] = i;
    }
  }
  x.arenaEnd = pos;
  return true;
}

}  // namespace

bool buildSparseIndex(int32_t m, int32_t n, const LuParams& params, LuStorage& lu) {
  lu.sparse.state = 0;
  if (!buildLRows(m, params, lu) || !buildUColumns(n, params, lu, params.ip[21])) return false;
  lu.sparse.state = 1;
  return true;
}

void noteUEntry(LuStorage& lu, int32_t i, int32_t j) {
  SparseSolveIndex& x = lu.sparse;
  if (x.state != 1) return;
  int32_t& len = x.uColLength[j];
  int32_t& cap = x.uColCapacity[j];
  int32_t& start = x.uColStart[j];
  if (len == cap) {  // move the list to the end of the arena with room to double
    const int32_t grown = 2 * len + 4;
    if (static_cast<int64_t>(x.arenaEnd) + grown > std::ssize(x.arena)) {
      x.state = 0;
      return;
    }
    std::copy(x.arena.begin() + start, x.arena.begin() + start + len, x.arena.begin() + x.arenaEnd);
    start = x.arenaEnd;
    cap = grown;
    x.arenaEnd += grown;
  }
  x.arena[start + len++] = i;
}

void noteURow(LuStorage& lu, int32_t i) {
  if (lu.sparse.state != 1) return;
  for (int32_t e = lu.rowStart[i]; e < lu.rowStart[i] + lu.rowLength[i]; ++e) noteUEntry(lu, i, lu.indr[e]);
}

void clearUColumn(LuStorage& lu, int32_t j) {
  if (lu.sparse.state == 1) lu.sparse.uColLength[j] = 0;
}

}  // namespace kavro::lu::detail
