#pragma once
// The optimizer's one door to the LU package: it fills the package's settings from the run
// parameters, factorizes the basis (with the instability fallback), solves with B and B', and
// replaces basis columns.

#include <cstdint>
#include <vector>

#include "kernels/sparse_vector.hpp"
#include "lu/lu_factors.hpp"

namespace kavro {

struct Parameters;
class UnitTable;
struct ReportChannels;

class BasisLU {
 public:
  // Sizes the storage for bases of m rows and rank checks of up to maxRows rows, with lena
  // elements for the factors. Allocates; called once per run.
  void size(int32_t m, int32_t maxRows, int32_t lena);
  // New element storage of lena elements for the same dimensions; the factors are lost, so a
  // factorization must follow.
  void resizeElements(int32_t lena);

  // Entry area to be filled before factorize()/rankFactorize(): nelem entries of a, with
  // 0-based row (indc) and column (indr) indices.
  double* entries() { return lu_.a.data(); }
  int32_t* entryRows() { return lu_.indc.data(); }
  int32_t* entryCols() { return lu_.indr.data(); }
  int32_t lena() const { return lu_.lena; }

  // Mode 0: factorize the m x m basis whose nelem entries were assembled. Returns the package's
  // result, or 2 when the instability fallback changed the tolerances and asks for another
  // factorization.
  int32_t factorize(int32_t m, int32_t nelem, Parameters& params, const ReportChannels& out);

  // Mode 1: v := L^-1 v, keeping the result for a later replaceColumn.
  void solveL(double* v);
  // Mode 2: solves B x = y. y (m entries) is overwritten; x receives the solution. The L-part
  // is kept for a later replaceColumn.
  void solveB(double* y, double* x);
  // Mode 3: solves B' y = x. x (m entries, by basis position) is overwritten; y receives the
  // solution (by row).
  void solveBt(double* x, double* y);
  // Two solves with B' in one pass over the factors (x0 -> y0, x1 -> y1), each bit for bit
  // what solveBt gives it: cheaper when both solutions are dense.
  void solveBtPair(double* x0, double* y0, double* x1, double* y1);

  // The same two solves for right-hand sides with few nonzeros, for example a column of the
  // constraint matrix (B x = a_q) or a unit vector (B' y = e_r). The vectors (kernels::
  // SparseVector, sized m by the caller) hold their values densely with the list of the positions
  // that may be nonzero; the right-hand side must come with its list. The solutions are those of
  // solveB and solveBt bit for bit, and the work follows the part of the factors that the
  // nonzeros reach instead of m.
  //
  // The solution comes back listed, or without a list (count == -1, every value set) when the
  // dense path was taken: the factors are not of full rank, a step's result passed a tenth of m
  // (from there the dense loop is cheaper than following the nonzeros), or the recent results of
  // B x were dense (over 15% of m).
  //
  // solveBSparse: b (by row) is left holding L^-1 b, which is kept for a later replaceColumn
  // as with solveB; x receives the solution (by basis position).
  void solveBSparse(kernels::SparseVector& b, kernels::SparseVector& x);
  // solveBtSparse: b (by basis position) is used as work space and left zero; y receives the
  // solution (by row).
  void solveBtSparse(kernels::SparseVector& b, kernels::SparseVector& y);
  // Mode 4: replaces basis position jrep by the column whose L-part was kept. Returns the
  // package's result (nonzero means the factors must be recomputed).
  int32_t replaceColumn(int32_t jrep);

  // Mode 8: rank check of a rectangular rows x cols matrix whose nelem entries were assembled;
  // no factors kept. Returns the result; rowPerm()/rank() tell which rows were pivotal.
  int32_t rankFactorize(int32_t rows, int32_t cols, int32_t nelem, Parameters& params, const ReportChannels& out);

  // Results of the last factorization.
  lu::LuParams& params() { return p_; }
  lu::LuStorage& storage() { return lu_; }
  int32_t nonzeros() { return p_.lenL() + p_.lenU(); }
  int32_t rank() { return p_.rank(); }
  // For each basis position, the largest magnitude of its U column, negative when its pivot was
  // flagged too small.
  const std::vector<double>& columnMarks() const { return lu_.luWork; }
  int32_t m() const { return m_; }

 private:
  void setParameters(Parameters& params, const ReportChannels& out, bool keepFactors);
  void keepL(const double* v);  // keptL_ := v (all m entries)

  lu::LuParams p_;
  lu::LuStorage lu_;
  UnitTable* units_ = nullptr;
  int32_t m_ = 0;
  kernels::SparseVector keptL_;  // L^-1 times the last column solved (for replaceColumn)
  std::vector<double> work_;
};

}  // namespace kavro
