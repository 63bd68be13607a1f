#include "optimizer/nonbasic_rows.hpp"

#include <utility>

namespace kavro {

void NonbasicRows::build(const SparseMatrix& a, int32_t m) {
  a_ = &a;
  n_ = a.columns();
  const size_t nz = a.value.size();
  start_.assign(static_cast<size_t>(m) + 1, 0);
  for (int32_t row : a.row) ++start_[row + 1];
  for (size_t i = 0; i < static_cast<size_t>(m); ++i) start_[i + 1] += start_[i];
  column_.assign(nz, 0);
  value_.assign(nz, 0.0);
  entry_.assign(nz, 0);
  position_.assign(nz, 0);
  std::vector<int32_t> next(start_.begin(), start_.end() - 1);
  for (int32_t j = 0; j < n_; ++j)
    for (int32_t k = a.colStart[j]; k < a.colStart[j + 1]; ++k) {
      const int32_t at = next[a.row[k]]++;
      column_[at] = j;
      value_[at] = a.value[k];
      entry_[at] = k;
      position_[k] = at;
    }
  nonbasicEnd_.assign(start_.begin() + 1, start_.end());
  basic_.assign(n_, 0);
  nonbasicNonzeros_ = static_cast<int64_t>(nz);
}

void NonbasicRows::partition(const int32_t* hs) {
  for (int32_t j = 0; j < n_; ++j) {
    const bool basic = hs[j] == kBasic;
    if (basic && !basic_[j]) enter(j);
    else if (!basic && basic_[j]) leave(j);
  }
}

void NonbasicRows::swapEntries(int32_t p, int32_t q) {
  if (p == q) return;
  const size_t up = static_cast<size_t>(p), uq = static_cast<size_t>(q);
  std::swap(column_[up], column_[uq]);
  std::swap(value_[up], value_[uq]);
  std::swap(entry_[up], entry_[uq]);
  position_[entry_[up]] = p;
  position_[entry_[uq]] = q;
}

void NonbasicRows::enter(int32_t j) {
  if (j >= n_ || basic_[j]) return;
  basic_[j] = 1;
  const SparseMatrix& a = *a_;
  for (int32_t k = a.colStart[j]; k < a.colStart[j + 1]; ++k) {
    const int32_t last = --nonbasicEnd_[a.row[k]];
    swapEntries(position_[k], last);
    --nonbasicNonzeros_;
  }
}

void NonbasicRows::leave(int32_t j) {
  if (j >= n_ || !basic_[j]) return;
  basic_[j] = 0;
  const SparseMatrix& a = *a_;
  for (int32_t k = a.colStart[j]; k < a.colStart[j + 1]; ++k) {
    const int32_t first = nonbasicEnd_[a.row[k]]++;
    swapEntries(position_[k], first);
    ++nonbasicNonzeros_;
  }
}

}  // namespace kavro
