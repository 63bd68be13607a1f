#pragma once
// TRIAX: sparse LU factorization P A Q = L U of an m x n matrix given as a list of entries,
// with solves, column replacement and rank checks on the same storage.
//
// Life cycle: the caller sizes LuStorage once (resize); lu1fac factorizes in place; the solves
// and lu8rpc work in the same arrays and never allocate. m may differ from n.
//
// Indices: entries are given with 0-based row indices (indc) and column indices (indr);
// jrep is 0-based. Numbers in printed messages are 1-based, as everywhere in the reports.
//
// Settings and results travel in two vectors of 30 entries with 1-based meanings
// (LuParams::ip[k], LuParams::rp[k], k = 1..30); named accessors are given for the common ones.

#include <array>
#include <cstdint>
#include <vector>

#include "kernels/sparse_vector.hpp"
#include "lu/element_array.hpp"

namespace kavro {
class UnitTable;
}

namespace kavro::lu {

// Pivoting rules (ip[6]).
enum PivotRule : int32_t { kPartial = 0, kRook = 1, kComplete = 2, kSymmetric = 3 };

// Result codes of lu1fac. Code 10 is returned for an entry that is not a finite number: the
// row maxima (and every pivot test) would be meaningless with it.
enum FactorResult : int32_t {
  kFactorOk = 0,
  kFactorSingular = 1,
  kFactorBadIndex = 3,
  kFactorDuplicate = 4,
  kFactorNoStorage = 7,
  kFactorInternalError = 8,
  kFactorNoDiagonalPivot = 9,
  kFactorRookSetupFailed = 10,
};

struct LuParams {
  std::array<int32_t, 31> ip{};  // ip[1..30]
  std::array<double, 31> rp{};   // rp[1..30]

  // Inputs.
  int32_t& printUnit() { return ip[1]; }
  int32_t& printLevel() { return ip[2]; }
  int32_t& maxSearch() { return ip[3]; }
  int32_t& pivotRule() { return ip[6]; }
  int32_t& keepFactors() { return ip[8]; }
  double& factorTol() { return rp[1]; }
  double& updateTol() { return rp[2]; }
  double& dropTol() { return rp[3]; }
  double& absSingularTol() { return rp[4]; }
  double& relSingularTol() { return rp[5]; }
  double& spaceFactor() { return rp[6]; }
  double& density1() { return rp[7]; }
  double& density2() { return rp[8]; }
  // Outputs.
  int32_t& result() { return ip[10]; }
  int32_t& nsing() { return ip[11]; }
  int32_t& lastSingular() { return ip[12]; }  // 0-based column, -1 when none
  int32_t& minLena() { return ip[13]; }
  int32_t& replacements() { return ip[15]; }
  int32_t& rank() { return ip[16]; }
  int32_t& dense1Step() { return ip[17]; }
  int32_t& dense2Step() { return ip[18]; }
  int32_t& minDiagColumn() { return ip[19]; }  // 0-based column, -1 when none
  int32_t& numL0() { return ip[20]; }
  int32_t& lenL0() { return ip[21]; }
  int32_t& lenU0() { return ip[22]; }
  int32_t& lenL() { return ip[23]; }
  int32_t& lenU() { return ip[24]; }
  int32_t& rowFileEnd() { return ip[25]; }
  int32_t& compressions() { return ip[26]; }
  int32_t& meritSum() { return ip[27]; }
  int32_t& utri() { return ip[28]; }
  int32_t& ltri() { return ip[29]; }
  int32_t& nslack() { return ip[30]; }
  double& amax() { return rp[10]; }
  double& lmax() { return rp[11]; }
  double& umax() { return rp[12]; }
  double& dumax() { return rp[13]; }
  double& dumin() { return rp[14]; }
  double& akmax() { return rp[15]; }
  double& growth() { return rp[16]; }
  double& uSolveResidual() { return rp[20]; }
};

// What the solves with sparse right-hand sides (solveSparse) need besides the factors: for each
// row the L column it is the pivot row of and the L columns it has entries in, and for each
// column of U the rows with entries in it. Built from the factors by the first sparse solve after
// a factorization; the replacements add the entries they create to the column lists (entries
// they remove may stay listed: a listed row without the entry only costs a look). The markers and
// bits are all zero between solves.
struct SparseSolveIndex {
  int32_t state = 0;     // 0 to be built, 1 built and kept up to date
  int32_t arenaEnd = 0;  // first free slot of the arena
  // How dense the results of the U and L' steps have been lately (fractions of the dimension,
  // averaged over the last few solves): the steps choose their way by them.
  double uDensity = 0.0, ltDensity = 0.0;
  ElementArray<int32_t> arena;                               // lena: rows' L columns, then the rows of U's columns
  std::vector<int32_t> lColumnOfRow;                         // maxRows: the L column whose pivot row this is, or -1
  std::vector<int32_t> lRowStart;                            // maxRows + 1: row i's L columns in arena[lRowStart[i]..]
  std::vector<int32_t> uColStart, uColLength, uColCapacity;  // maxCols: U's columns in the arena
  std::vector<int32_t> rowMark, colMark;                     // maxRows, maxCols: the listed positions of a vector
  std::vector<uint64_t> lineBits;                            // max(maxRows, maxCols) bits: the lines still to do

  void resize(int32_t maxRows, int32_t maxCols, int32_t lenaElements);
};

// Factor storage. a/indc/indr hold the entries on entry and the factors on exit.
//
// Layout of the factors: the rows of U are at the front of (a, indr), each row with its diagonal
// first, in pivot order after a factorization (rows moved by later replacements go to the end of
// that row file); free slots inside the row file have indr = -1. L is at the end of (a, indc,
// indr): entry t means v[indc[t]] -= a[t] * v[indr[t]]; the columns of the factorization occupy
// [lColumnStart[k+1], lColumnStart[k]) for k = 0..numL0-1 (downward from lena), and the single
// entries appended by replacements follow them downward to lena - lenL.
struct LuStorage {
  int32_t lena = 0;
  int32_t maxRows = 0, maxCols = 0;
  ElementArray<double> a;
  ElementArray<int32_t> indc, indr;
  std::vector<int32_t> rowPerm, colPerm;  // P and Q (pivot order)
  std::vector<int32_t> rowLength, colLength;
  std::vector<int32_t> rowStart, colStart;
  std::vector<int32_t> rowCountStart, colCountStart;
  std::vector<int32_t> rowPermInv, colPermInv;
  // On exit, for each column j of U the largest magnitude in it, negated for columns whose
  // pivot was flagged too small.
  std::vector<double> luWork;
  // Further vectors owned by the package (sized in resize).
  std::vector<int32_t> lColumnStart;    // maxRows + 1
  std::vector<double> workReal;         // max(maxRows, maxCols): scatter and solve scratch
  std::vector<double> workReal2;        // max(maxRows, maxCols)
  std::vector<int32_t> workInt;         // max(maxRows, maxCols): markers
  std::vector<int32_t> workInt2;        // max(maxRows, maxCols): index lists
  std::vector<int32_t> colStamp;        // maxCols: columns met by the row being updated
  std::vector<double> rowMax, colMax;   // line maxima during the factorization
  std::vector<int32_t> colMaxValid;     // maxCols
  std::vector<int32_t> singletonLists;  // 6 maxRows + maxCols: row singletons the search skips
  std::vector<int32_t> heap, heapPos;   // maxRows: rows keyed by their maxima (complete pivoting)
  ElementArray<int32_t> colEntryPos;    // lena: the row-file position of each column-file entry
  ElementArray<int32_t> rowEntryPos;    // lena: the column-file slot of each row-file entry
  SparseSolveIndex sparse;              // for solves with sparse right-hand sides

  // Sizes everything for matrices of at most maxRows x maxCols and lena elements.
  void resize(int32_t maxRows, int32_t maxCols, int32_t lenaElements);
};

// Factorizes the nelem entries a[0..nelem-1] (rows indc, columns indr). On return nelem is the
// number of entries kept after dropping those of magnitude at most the drop tolerance.
// Returns the result code (also in ip[10]).
int32_t lu1fac(int32_t m, int32_t n, int32_t& nelem, LuParams& params, LuStorage& lu, UnitTable* units);

// Solves with the factors. mode 1: v := L^-1 v; 2: v := L'^-1 v; 3: w := U^-1 v;
// 4: v := U'^-1 w; 5: w := (LU)^-1 v (L then U); 6: v := (LU)'^-1 w (U' then L').
// v has m entries, w n entries. Returns 1 when the U solve left a residual (rp[20] > 0), else 0.
// Modes 7 and 8 are 1 and 2 restricted to the L of the factorization (without the columns
// appended by replacements). The drop tolerance rp[3] applies to every mode.
int32_t solveWithFactors(int32_t mode, int32_t m, int32_t n, double* v, double* w, LuParams& params, LuStorage& lu);

// Mode 6 for two right-hand sides at once (v0 := (LU)'^-1 w0, v1 := (LU)'^-1 w1), reading the
// factors once; each result is bit for bit that of its own solve. The residual is the second's.
int32_t solveTransposedPair(int32_t m, int32_t n, double* v0, double* w0, double* v1, double* w1, LuParams& params,
                            LuStorage& lu);

// Solves with the factors for a sparse right-hand side, with the same modes and the same results
// as solveWithFactors (bit for bit): 1: v := L^-1 v; 2: v := L'^-1 v; 3: w := U^-1 v;
// 4: v := U'^-1 w; 5: w := (LU)^-1 v (L then U); 6: v := (LU)'^-1 w (U' then L').
//
// v has m entries and w n entries, each with its list of possibly nonzero positions (see
// kernels::SparseVector). The right-hand side must be listed. Modes 1, 2 and 5 leave the L-part in
// v (mode 5: L^-1 v, as the dense mode does); modes 4 and 6 use w as work space and leave it
// zero; the solution vector is overwritten, with its list. The work follows the lines of the
// factors that the nonzeros reach (a step costs its arithmetic on those lines plus a word per 64
// lines), found through the structures in LuStorage::sparse, which the first sparse solve after
// a factorization builds.
//
// The dense path is taken, and the results come back without lists (count = -1), when the
// factors are not square with full rank or the right-hand side is not listed. Each step also
// finishes with its dense loop, and leaves its result unlisted, once the positions it has listed
// pass a tenth of the dimension (at once when its right-hand side is that dense); the U and L'
// steps also while their recent results have been dense (over 15% of the dimension for U, 30%
// for L'). Returns 1 when the U solve left a residual, else 0 (always 0 on the sparse path,
// which needs full rank). Modes 7 and 8 are not offered.
int32_t solveSparse(int32_t mode, int32_t m, int32_t n, kernels::SparseVector& v, kernels::SparseVector& w,
                    LuParams& params, LuStorage& lu);

// Replaces column jrep of A. oldColumnOption: 0 the column has no entries in U, 1 delete them
// first. newColumnOption: 0 the new column is zero, 1 v holds it, 2 v already holds L^-1 times it.
// Returns 0 rank unchanged, 1 rank up, -1 rank down, 2 unstable, 7 no storage, 8 jrep out of range.
// v (m entries) is overwritten by L^-1 times the new column; w (n entries) is not used.
int32_t lu8rpc(int32_t oldColumnOption, int32_t newColumnOption, int32_t m, int32_t n, int32_t jrep, double* v,
               double* w, LuParams& params, LuStorage& lu, UnitTable* units, double& diag, double& vnorm);

// Checks the last row of U (pivot position rank-1) after a replacement of column jsing and lowers
// the rank when it is negligible. Returns 0 (rank kept), -1 (rank lowered) or 1 (the column of the
// largest entry is not among the non-pivot positions: internal error). diag receives the pivot.
int32_t lu7rnk(int32_t m, int32_t n, int32_t jsing, LuParams& params, LuStorage& lu, double& diag);

}  // namespace kavro::lu
