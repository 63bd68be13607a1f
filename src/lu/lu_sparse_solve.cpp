// Solves with sparse right-hand sides. Each step does exactly the arithmetic of the dense solve
// (lu_solve.cpp), in the dense order, on the lines that can give a nonzero, and skips the lines
// on which the dense solve would only have met zeros; so the results agree bit for bit.
//
// The lines to work on are kept as bits in a mask, by pivot position (U) or column number (L),
// and taken in the dense order from the mask, 64 at a time: a step costs its work plus one word
// per 64 lines. A line is marked when something it reads may have become nonzero:
//   - L and U' are scatters, column by column in increasing order: a column is marked when its
//     pivot entry gets a nonzero; the marks it sets lie further on;
//   - U and L' are dot products, row by row (column by column for L') in decreasing order: a line
//     is marked when an entry it reads gets a nonzero, found through the column lists of U and
//     the row lists of L (LuStorage::sparse); the marks it sets lie further on.
//
// Dense results. Marking costs more per nonzero than the dense loop, which streams through the
// factors, so a step that has listed a tenth of the dimension stops marking and finishes with
// the dense loop from the line it has reached: the lines behind it were done in the dense order,
// the lines before it are exactly those the dense loop has still to do, and the unmarked lines
// hold zeros either way; the result comes back unlisted. A right-hand side that is already that
// dense goes to the dense loop at once. The scatter steps (L and U') decide by this alone, so
// that a sparse result never pays for dense ones before it; the dot-product steps (U and L')
// also run the dense loop from the start while their recent results have been dense, since
// marking through the lists costs them more (below).
#include <algorithm>
#include <bit>
#include <cmath>

#include "lu/lu_sparse_index.hpp"

namespace kavro::lu {
namespace {

using kernels::SparseVector;

// Expected result densities (fractions of the dimension) above which the dot-product steps run
// the dense loop from the start instead of marking. U marks through its column lists, which are
// long, so that marking even the first tenth of a dense result costs as much as the dense loop;
// L' marks through the row lists of L, which are short, so it keeps marking to a higher density.
constexpr double kDenseResultU = 0.15;
constexpr double kDenseResultLt = 0.30;

// The running density of a step's results: a quarter weight on the newest.
void recordDensity(double& average, int32_t nonzeros, int32_t dimension) {
  average = 0.75 * average + 0.25 * static_cast<double>(nonzeros) / std::max(dimension, 1);
}

// The number of listed positions above which a step finishes with its dense loop.
int32_t denseSwitchCount(int32_t dimension) { return dimension / 10; }

// Lines to work on, as bits; taking a line clears its bit, so the mask is empty between solves.
class LineMask {
 public:
  explicit LineMask(uint64_t* words) : w_(words) {}
  void mark(int32_t k) { w_[k >> 6] |= uint64_t{1} << (k & 63); }
  // Calls work(k) for every marked line in increasing order while it returns true; work may mark
  // lines after k. When work returns false the rest of the mask is cleared and the line after k
  // is returned (the dense loop goes on from there); -1 when every marked line was done.
  template <class Work>
  int32_t forward(int32_t count, Work work) {
    const int32_t words = (count + 63) >> 6;
    for (int32_t wi = 0; wi < words; ++wi) {
      while (w_[wi] != 0) {
        const int32_t k = wi * 64 + std::countr_zero(w_[wi]);
        w_[wi] &= w_[wi] - 1;
        if (!work(k)) {
          std::fill(w_ + wi, w_ + words, uint64_t{0});
          return k + 1;
        }
      }
    }
    return -1;
  }
  // The same in decreasing order; work may mark lines before k. On a stop at k the lines below k
  // are left to the dense loop and k is returned; -1 when every marked line was done.
  template <class Work>
  int32_t backward(int32_t count, Work work) {
    for (int32_t wi = (count + 63) / 64 - 1; wi >= 0; --wi) {
      while (w_[wi] != 0) {
        const int32_t bit = 63 - std::countl_zero(w_[wi]);
        w_[wi] &= ~(uint64_t{1} << bit);
        const int32_t k = wi * 64 + bit;
        if (!work(k)) {
          std::fill(w_, w_ + wi + 1, uint64_t{0});
          return k;
        }
      }
    }
    return -1;
  }

 private:
  uint64_t* w_;
};

struct Factors {
  const double* a;
  const int32_t* indc;
  const int32_t* indr;
  const int32_t* lcs;  // L column k: [lcs[k+1], lcs[k]), pivot row indr[lcs[k+1]]
  int32_t numL0, l0End, lEnd;
  const int32_t* rowPerm;
  const int32_t* colPerm;
  const int32_t* rowPermInv;
  const int32_t* colPermInv;
  const int32_t* rowStart;
  const int32_t* rowLen;
  int32_t n;
  double tol;

  int32_t pivotRowOfL(int32_t k) const { return indr[lcs[k + 1]]; }
};

Factors factorsOf(int32_t n, const LuParams& p, const LuStorage& lu) {
  Factors f;
  f.a = lu.a.data();
  f.indc = lu.indc.data();
  f.indr = lu.indr.data();
  f.lcs = lu.lColumnStart.data();
  f.numL0 = p.ip[20];
  f.l0End = lu.lena - p.ip[21];
  f.lEnd = lu.lena - p.ip[23];
  f.rowPerm = lu.rowPerm.data();
  f.colPerm = lu.colPerm.data();
  f.rowPermInv = lu.rowPermInv.data();
  f.colPermInv = lu.colPermInv.data();
  f.rowStart = lu.rowStart.data();
  f.rowLen = lu.rowLength.data();
  f.n = n;
  f.tol = p.rp[3] > 0 ? p.rp[3] : 0.0;
  return f;
}

// Puts i on the list of v (marked in listed) unless it is there; true when it was new.
inline bool list(SparseVector& v, int32_t* listed, int32_t i) {
  if (listed[i]) return false;
  listed[i] = 1;
  v.index[v.count++] = i;
  return true;
}

void markList(const SparseVector& v, int32_t* listed) {
  for (int32_t k = 0; k < v.count; ++k) listed[v.index[k]] = 1;
}

void unmarkList(const SparseVector& v, int32_t* listed) {
  for (int32_t k = 0; k < v.count; ++k) listed[v.index[k]] = 0;
}

// The dense loops of the four steps from a given line on, as lu_solve.cpp runs them.
void denseL(const Factors& f, int32_t from, double* v) {
  for (int32_t k = from; k < f.numL0; ++k) {
    const int32_t lo = f.lcs[k + 1], hi = f.lcs[k];
    const double vp = v[f.indr[lo]];
    if (std::fabs(vp) <= f.tol) continue;
    for (int32_t t = lo; t < hi; ++t) v[f.indc[t]] -= f.a[t] * vp;
  }
  for (int32_t t = f.l0End - 1; t >= f.lEnd; --t) {
    const double vp = v[f.indr[t]];
    if (std::fabs(vp) > f.tol) v[f.indc[t]] -= f.a[t] * vp;
  }
}

// One row of U^-1: w[diagonal column of row i] from v[i] and the w already known.
inline double uRowSolution(const Factors& f, int32_t i, const double* v, const double* w) {
  const int32_t rs = f.rowStart[i], re = rs + f.rowLen[i];
  double t = v[i];
  for (int32_t e = rs + 1; e < re; ++e) t -= f.a[e] * w[f.indr[e]];
  return std::fabs(t) > f.tol ? t / f.a[rs] : 0.0;
}

// Positions below `below`, from the top down. Returns the number of nonzeros written.
int32_t denseU(const Factors& f, int32_t below, const double* v, double* w) {
  int32_t nonzeros = 0;
  for (int32_t k = below - 1; k >= 0; --k) {
    const int32_t i = f.rowPerm[k];
    const double wj = uRowSolution(f, i, v, w);
    w[f.indr[f.rowStart[i]]] = wj;
    nonzeros += wj != 0.0;
  }
  return nonzeros;
}

// Positions from `from` on of U'^-1: v[row] from the work vector w, scattered into w.
void denseUt(const Factors& f, int32_t from, double* w, double* v) {
  for (int32_t k = from; k < f.n; ++k) {
    const double t = w[f.colPerm[k]];
    if (std::fabs(t) <= f.tol) continue;  // v[i] stays 0, as the dense solve sets it
    const int32_t i = f.rowPerm[k];
    const int32_t rs = f.rowStart[i], re = rs + f.rowLen[i];
    const double xi = t / f.a[rs];
    v[i] = xi;
    for (int32_t e = rs + 1; e < re; ++e) w[f.indr[e]] -= f.a[e] * xi;
  }
}

inline double ltColumnSum(const Factors& f, int32_t k, const double* v) {
  double sum = 0.0;
  for (int32_t t = f.lcs[k + 1]; t < f.lcs[k]; ++t) sum += f.a[t] * v[f.indc[t]];
  return sum;
}

// Columns of the factorization's L below `below`, from the top down. Returns the number of
// nonzero sums (each changed its pivot row).
int32_t denseLt(const Factors& f, int32_t below, double* v) {
  int32_t updated = 0;
  for (int32_t k = below - 1; k >= 0; --k) {
    const double sum = ltColumnSum(f, k, v);
    v[f.pivotRowOfL(k)] -= sum;
    updated += sum != 0.0;
  }
  return updated;
}

// v := L^-1 v: the columns of the factorization's L whose pivot entry may be nonzero, then the
// entries appended by replacements (all of them: they are few).
void solveL(const Factors& f, SparseSolveIndex& x, SparseVector& v) {
  const int32_t limit = denseSwitchCount(f.n);
  double* vv = v.value.data();
  if (v.count > limit) {
    denseL(f, 0, vv);
    v.markDense();
    return;
  }
  const int32_t* colOf = x.lColumnOfRow.data();
  int32_t* listed = x.rowMark.data();
  LineMask columns(x.lineBits.data());
  markList(v, listed);
  for (int32_t k = 0; k < v.count; ++k)
    if (colOf[v.index[k]] >= 0) columns.mark(colOf[v.index[k]]);
  const int32_t rest = columns.forward(f.numL0, [&](int32_t k) {
    const int32_t lo = f.lcs[k + 1], hi = f.lcs[k];
    const double vp = vv[f.indr[lo]];
    if (std::fabs(vp) <= f.tol) return true;
    for (int32_t t = lo; t < hi; ++t) {
      const int32_t i = f.indc[t];
      if (list(v, listed, i) && colOf[i] >= 0) columns.mark(colOf[i]);
      vv[i] -= f.a[t] * vp;
    }
    return v.count <= limit;
  });
  if (rest >= 0) {
    unmarkList(v, listed);
    denseL(f, rest, vv);
    v.markDense();
    return;
  }
  for (int32_t t = f.l0End - 1; t >= f.lEnd; --t) {
    const double vp = vv[f.indr[t]];
    if (std::fabs(vp) <= f.tol) continue;
    list(v, listed, f.indc[t]);
    vv[f.indc[t]] -= f.a[t] * vp;
  }
  unmarkList(v, listed);
}

// w := U^-1 v (full rank), from the last pivot position down: the rows where v has a nonzero,
// and the rows with an entry in a column that got a nonzero (a listed row without that entry
// any more only costs its dot product). Dense results expected: every row.
void solveU(const Factors& f, SparseSolveIndex& x, const SparseVector& v, SparseVector& w) {
  w.clear();
  const int32_t limit = denseSwitchCount(f.n);
  const double* vv = v.value.data();
  double* wv = w.value.data();
  if (!v.listed() || v.count > limit || x.uDensity > kDenseResultU) {
    recordDensity(x.uDensity, denseU(f, f.n, vv, wv), f.n);
    w.markDense();
    return;
  }
  const int32_t* arena = x.arena.data();
  LineMask rows(x.lineBits.data());
  for (int32_t k = 0; k < v.count; ++k) rows.mark(f.rowPermInv[v.index[k]]);
  const int32_t rest = rows.backward(f.n, [&](int32_t k) {
    const int32_t i = f.rowPerm[k];
    const double wj = uRowSolution(f, i, vv, wv);
    if (wj == 0.0) return true;
    const int32_t j = f.indr[f.rowStart[i]];
    w.add(j, wj);
    for (int32_t q = x.uColStart[j], qe = q + x.uColLength[j]; q < qe; ++q) {
      const int32_t kr = f.rowPermInv[arena[q]];
      if (kr < k) rows.mark(kr);
    }
    return w.count <= limit;
  });
  if (rest < 0) {
    recordDensity(x.uDensity, w.count, f.n);
    return;
  }
  recordDensity(x.uDensity, w.count + denseU(f, rest, vv, wv), f.n);
  w.markDense();
}

// v := U'^-1 w (full rank), from the first pivot position on: the positions whose column of w
// may be nonzero. w is the work vector and is left zero.
void solveUt(const Factors& f, SparseSolveIndex& x, SparseVector& w, SparseVector& v) {
  v.clear();
  const int32_t limit = denseSwitchCount(f.n);
  double* wv = w.value.data();
  double* vv = v.value.data();
  int32_t rest = 0;
  if (w.count <= limit) {
    int32_t* listed = x.colMark.data();
    LineMask positions(x.lineBits.data());
    markList(w, listed);
    for (int32_t k = 0; k < w.count; ++k) positions.mark(f.colPermInv[w.index[k]]);
    rest = positions.forward(f.n, [&](int32_t k) {
      const double t = wv[f.colPerm[k]];
      if (std::fabs(t) <= f.tol) return true;
      const int32_t i = f.rowPerm[k];
      const int32_t rs = f.rowStart[i], re = rs + f.rowLen[i];
      const double xi = t / f.a[rs];
      v.add(i, xi);
      for (int32_t e = rs + 1; e < re; ++e) {
        const int32_t j = f.indr[e];
        if (list(w, listed, j)) positions.mark(f.colPermInv[j]);
        wv[j] -= f.a[e] * xi;
      }
      return w.count <= limit;
    });
    unmarkList(w, listed);
    if (rest < 0) {
      w.clear();
      return;
    }
  }
  denseUt(f, rest, wv, vv);
  v.markDense();
  std::fill(wv, wv + f.n, 0.0);
  w.count = 0;
}

// v := L'^-1 v: the entries appended by replacements first, then the columns of the
// factorization's L from the last down, as dot products: those with an entry in a row that may
// be nonzero. Dense results expected (or no list): every column.
void solveLt(const Factors& f, SparseSolveIndex& x, SparseVector& v) {
  const int32_t limit = denseSwitchCount(f.n);
  int32_t* listed = x.rowMark.data();
  double* vv = v.value.data();
  const bool sparse = v.listed() && v.count <= limit;
  if (sparse) markList(v, listed);
  for (int32_t t = f.lEnd; t < f.l0End; ++t) {
    const double vi = vv[f.indc[t]];
    if (std::fabs(vi) <= f.tol) continue;
    if (sparse) list(v, listed, f.indr[t]);
    vv[f.indr[t]] -= f.a[t] * vi;
  }
  if (!sparse || v.count > limit || x.ltDensity > kDenseResultLt) {
    // The density recorded counts the listed rows and the rows that received a nonzero sum:
    // an upper bound of the nonzeros without another pass over v.
    const int32_t updated = denseLt(f, f.numL0, vv);
    if (sparse) {
      unmarkList(v, listed);
      recordDensity(x.ltDensity, std::min(f.n, v.count + updated), f.n);
    }
    v.markDense();
    return;
  }
  const int32_t* rowColumns = x.arena.data();
  const int32_t* start = x.lRowStart.data();
  LineMask columns(x.lineBits.data());
  auto markColumnsOf = [&](int32_t i) {
    for (int32_t q = start[i]; q < start[i + 1]; ++q) columns.mark(rowColumns[q]);
  };
  for (int32_t k = 0; k < v.count; ++k) markColumnsOf(v.index[k]);
  const int32_t rest = columns.backward(f.numL0, [&](int32_t k) {
    const int32_t p = f.pivotRowOfL(k);
    const double sum = ltColumnSum(f, k, vv);
    if (list(v, listed, p)) markColumnsOf(p);  // a new nonzero: its columns are all earlier
    vv[p] -= sum;
    return v.count <= limit;
  });
  unmarkList(v, listed);
  if (rest < 0) {
    recordDensity(x.ltDensity, v.count, f.n);
    return;
  }
  recordDensity(x.ltDensity, std::min(f.n, v.count + denseLt(f, rest, vv)), f.n);
  v.markDense();
}

bool sparsePathOpen(int32_t m, int32_t n, const LuParams& params, LuStorage& lu) {
  if (m != n || params.ip[16] != m || m > lu.maxRows || n > lu.maxCols || params.ip[8] == 0) return false;
  if (lu.sparse.state != 1 && !detail::buildSparseIndex(m, n, params, lu)) return false;
  return true;
}

}  // namespace

int32_t solveSparse(int32_t mode, int32_t m, int32_t n, SparseVector& v, SparseVector& w, LuParams& params,
                    LuStorage& lu) {
  if (mode < 1 || mode > 6) return 0;
  const bool fromV = mode == 1 || mode == 2 || mode == 3 || mode == 5;
  const bool listed = fromV ? v.listed() : w.listed();
  if (!listed || !sparsePathOpen(m, n, params, lu)) {
    // The dense solve on the same arrays; the solution comes back without a list.
    const bool wOut = mode == 3 || mode == 5;
    if (wOut) w.clear();
    const int32_t code = solveWithFactors(mode, m, n, v.value.data(), w.value.data(), params, lu);
    if (mode != 3) v.markDense();
    if (wOut) w.markDense();
    if (mode == 4 || mode == 6) w.clear();
    return code;
  }
  const Factors f = factorsOf(n, params, lu);
  SparseSolveIndex& x = lu.sparse;
  switch (mode) {
    case 1: solveL(f, x, v); break;
    case 2: solveLt(f, x, v); break;
    case 3: solveU(f, x, v, w); break;
    case 4: solveUt(f, x, w, v); break;
    case 5:
      solveL(f, x, v);
      solveU(f, x, v, w);
      break;
    default:
      solveUt(f, x, w, v);
      solveLt(f, x, v);
      break;
  }
  if (mode >= 3) params.uSolveResidual() = 0.0;
  return 0;
}

}  // namespace kavro::lu
