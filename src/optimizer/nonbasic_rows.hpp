#pragma once
// The constraint matrix by rows, with each row's entries in nonbasic columns ahead of those in
// basic columns. The pivot row rho' A is wanted over the nonbasic columns only; when rho is
// sparse it is formed row by row, and this order lets that pass read only the entries it uses.
// A basis change moves the entries of the two columns concerned, in time proportional to their
// nonzeros.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"

namespace kavro {

class NonbasicRows {
 public:
  // The copy of a (m rows, n columns), every column counted nonbasic. Allocates.
  void build(const SparseMatrix& a, int32_t m);
  // Orders every row for the states hs (structural columns j with hs[j] == kBasic go last).
  void partition(const int32_t* hs);
  // Structural column j becomes basic, or nonbasic again. Slacks (j >= n) have no entries.
  void enter(int32_t j);
  void leave(int32_t j);

  // Row i's nonbasic entries are [begin(i), nonbasicEnd(i)), its basic ones up to begin(i + 1).
  int32_t begin(int32_t i) const { return start_[i]; }
  int32_t nonbasicEnd(int32_t i) const { return nonbasicEnd_[i]; }
  const int32_t* column() const { return column_.data(); }
  const double* value() const { return value_.data(); }
  // Entries in nonbasic columns, over all rows.
  int64_t nonbasicNonzeros() const { return nonbasicNonzeros_; }

 private:
  void swapEntries(int32_t p, int32_t q);

  const SparseMatrix* a_ = nullptr;
  int32_t n_ = 0;
  std::vector<int32_t> start_, nonbasicEnd_;  // m + 1 and m
  std::vector<int32_t> column_;               // by row position
  std::vector<double> value_;
  std::vector<int32_t> entry_;     // by row position: the entry's index in the column storage
  std::vector<int32_t> position_;  // by column-storage index: the entry's row position
  std::vector<uint8_t> basic_;     // n: the column's entries are in the basic parts
  int64_t nonbasicNonzeros_ = 0;
};

}  // namespace kavro
