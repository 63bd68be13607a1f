#pragma once
// A matrix stored by columns, seen through pointers taken once (see SparseMatrix): column j's
// entries are value[start[j] .. start[j + 1]) in rows row[...]. The loops over a column keep
// the storage order, so their sums are the same, bit for bit, as a loop written out by hand.

#include <cstdint>

#include "kavro/problem.hpp"

namespace kavro::kernels {

struct ColumnView {
  const int32_t* start;
  const int32_t* row;
  const double* value;

  explicit ColumnView(const SparseMatrix& a) : start(a.colStart.data()), row(a.row.data()), value(a.value.data()) {}

  // a_j' v (v by row).
  double dot(int32_t j, const double* v) const {
    double sum = 0.0;
    for (int32_t k = start[j]; k < start[j + 1]; ++k) sum += value[k] * v[row[k]];
    return sum;
  }
  // v += a_j s and v -= a_j s.
  void add(int32_t j, double s, double* v) const {
    for (int32_t k = start[j]; k < start[j + 1]; ++k) v[row[k]] += value[k] * s;
  }
  void subtract(int32_t j, double s, double* v) const {
    for (int32_t k = start[j]; k < start[j + 1]; ++k) v[row[k]] -= value[k] * s;
  }
};

}  // namespace kavro::kernels
