#pragma once
// The reduced-Hessian factor: an upper-triangular R with R'R approximating the Hessian of the
// objective restricted to the superbasic variables. The first min(ns, maxR) superbasics have a
// full triangle; each superbasic beyond maxR ("Hessian dimension") has a diagonal entry only,
// so the approximation is block diagonal: [R'R 0; 0 D^2].
//
// Indices are 0-based: superbasic k (0 <= k < ns) is row and column k of R when k < maxR, and
// the diagonal entry d_k otherwise. R(0,0) == 0 marks a factor that must be reset before use;
// a newly sized factor is marked.
//
// Storage is sized once by resize(); no operation allocates afterwards. The triangle is packed
// by rows with a fixed row length (row i holds columns i..maxR-1), followed by the diagonal
// entries of the superbasics beyond maxR. The class prints nothing: the caller reports resets
// and update results.
//
// Preconditions shared by every operation: 0 <= ns <= maxS(); vectors indexed by superbasic
// (y, g1, g2, p, z, b) have at least ns entries. A factor marked for reset stays marked through
// column changes, and updates leave it alone, until reset() is called.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavro {

struct MachineConstants;

class ReducedHessian {
 public:
  struct ResetResult {
    bool rescaled = false;  // true: the caller prints "Hessian modified.  CondR =" condR
    double condR = 1.0;
  };
  struct Condition {
    double dmax = 1.0;   // max |R(i,i)| over i < order(ns)
    double dmin = 1.0;   // min |R(i,i)|
    double condR = 1.0;  // (dmax/dmin)^2, 1 when the order is below 2; the largest double when dmin is 0
  };

  // Sizes all storage: maxR = "Hessian dimension" (raised to 1 if smaller), maxS = "Superbasics
  // limit". The thresholds are eps^0.8 (entries at or below it are treated as zero by the
  // rotations) and eps^0.5 (a smaller last diagonal makes an update report 2). Returns false
  // when the storage cannot be allocated; the factor is then unusable (maxR() == 0).
  bool resize(int32_t maxR, int32_t maxS, const MachineConstants& machine);

  int32_t maxR() const { return maxR_; }
  int32_t maxS() const { return maxS_; }
  // Order of the triangle in use for ns superbasics.
  int32_t order(int32_t ns) const { return ns < maxR_ ? ns : maxR_; }

  bool needsReset() const { return r_.empty() || r_[0] == 0.0; }
  void markForReset() {
    if (!r_.empty()) r_[0] = 0.0;
  }

  // A marked factor (or a triangle with a zero diagonal) becomes the identity, with every
  // diagonal entry beyond maxR equal to 1, and condR = 1. Otherwise every column j of R is
  // multiplied by 1/sqrt(|R(j,j)|), so that |R(j,j)| becomes sqrt(|R(j,j)|); condR is then the
  // ratio of the largest to the smallest |R(j,j)| before the scaling and rescaled is true.
  ResetResult reset(int32_t ns);

  // Superbasic ns-1 (ns counted after the increment) is new: a unit column of R, or a diagonal
  // entry of 1 beyond maxR.
  void addColumn(int32_t ns);

  // Superbasic k leaves (ns counted before the decrement); the later superbasics move up one
  // place, as they do in the basis list. Within the triangle the column is removed and the
  // triangle restored by rotations. When superbasics beyond maxR exist, the first of them moves
  // into the last column of R as the diagonal entry it had, so R never gains a zero diagonal.
  void deleteColumn(int32_t k, int32_t ns);

  // A basic variable leaves and superbasic k replaces it in the basis; the leaving variable
  // becomes superbasic k. y_j = w'a_j, the pivot row of B^-1 S over the ns superbasics
  // (B'w = e_r for the leaving position r), so y[k] is the pivot. R'R becomes M'R'RM with
  // M = I + e_k u', u_j = -y_j/y_k (j != k), u_k = -(1 + y_k)/y_k: the reduced Hessian in the
  // new null-space basis. Made only when ns > 1, k < maxR and y[k] != 0; the triangle's
  // coupling to superbasics beyond maxR is not kept. Returns 0 (not made), 1 (made) or 2 (made
  // with a last diagonal at or below eps^0.5), for the log's second "Hmod" digit.
  int exchangeUpdate(int32_t k, int32_t ns, const double* y);

  // BFGS update after a step alpha along p: g1 and g2 are the reduced gradients before and
  // after it and z = R^-T g1 (over all ns, the first solve of the direction, so that the
  // direction satisfies R p = -z). With a = g1'p and c = g2'p, nothing is done when
  // c <= 0.91 a, a >= 0 or alpha <= 0; otherwise R'R gains -(g1 g1')/|a| + (y y')/((c-a) alpha),
  // y = g2 - g1, made by plane rotations on the triangle, and each diagonal entry beyond maxR
  // takes the diagonal of the same update. Returns hmod: 0 not made, 1 made, 2 made with the
  // last diagonal entry touched at or below eps^0.5.
  int bfgsUpdate(int32_t ns, const double* g1, const double* g2, const double* p, double alpha, const double* z);

  Condition estimateCondition(int32_t ns) const;

  // In place: mode 1 solves R x = b, mode 2 solves R' x = b over the first order(ns) entries;
  // entries beyond maxR are divided by their diagonal entries.
  void solve(int mode, int32_t ns, double* b) const;

  // In place: mode 1 b := R b, mode 2 b := R' b over the first order(ns) entries; entries
  // beyond maxR are multiplied by their diagonal entries (the inverse of solve).
  void multiply(int mode, int32_t ns, double* b) const;

  // Exchanges the diagonal entries of superbasics j and k, both at or beyond maxR (the caller
  // moves the basis-list entries, values, bounds and gradients with them): used to bring the
  // superbasic beyond maxR with the largest |rg| to position maxR.
  void swapDiagonal(int32_t j, int32_t k);

  // Superbasic q < maxR leaves the triangle for the diagonal part while ns > maxR: the
  // superbasics after it move up one place (so superbasic maxR becomes the last column of R,
  // as in deleteColumn) and q becomes superbasic ns-1, with the diagonal entry sqrt((R'R)_qq)
  // so that its own curvature is kept. The caller moves its basis-list entry (and values,
  // bounds, gradients) the same way.
  void moveOutOfTriangle(int32_t q, int32_t ns);

  // For tests and reports: R(i,j) with i <= j < maxR, and the diagonal entry of superbasic
  // k >= maxR.
  double entry(int32_t i, int32_t j) const { return r_[index(i, j)]; }
  double diagonalBeyond(int32_t k) const { return r_[diagonalIndex(k)]; }

 private:
  size_t index(int32_t i, int32_t j) const {
    const size_t si = static_cast<size_t>(i);
    return si * static_cast<size_t>(maxR_) - si * (si - 1) / 2 + static_cast<size_t>(j - i);
  }
  size_t diagonalIndex(int32_t k) const { return triangleSize_ + static_cast<size_t>(k - maxR_); }
  double* row(int32_t i) { return r_.data() + index(i, i); }
  const double* row(int32_t i) const { return r_.data() + index(i, i); }

  void setIdentity(int32_t ns);
  void rotateTrailing(int32_t i, int32_t n, double c, double s);
  void eliminateSubdiagonal(int32_t i, int32_t n, double h);
  int32_t rankOneUpdate(int32_t n, int32_t nv);
  int updateCode(int32_t last, int32_t n) const;

  int32_t maxR_ = 0;
  int32_t maxS_ = 0;
  size_t triangleSize_ = 0;
  double tiny_ = 0.0;       // eps^0.8
  double smallDiag_ = 0.0;  // eps^0.5
  std::vector<double> r_;
  // Scratch for the updates: v (maxR + 1 entries, one for the folded part beyond maxR),
  // w (maxS entries) and the subdiagonal of the upper-Hessenberg stage (maxR entries).
  std::vector<double> v_, w_, hess_;
};

}  // namespace kavro
