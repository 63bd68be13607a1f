#pragma once
// A vector held densely together with the list of the positions that may be nonzero: the form
// in which the LU solves take sparse right-hand sides and give back their solutions, so that
// work and clearing follow the nonzeros instead of the length.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kavro::kernels {

struct SparseVector {
  // value[i] is zero for every i that is not among index[0..count). count == -1 means that no
  // list is kept: any position may be nonzero (a solve that went dense leaves this).
  std::vector<double> value;
  std::vector<int32_t> index;
  int32_t count = 0;

  // Length n, all zero. Allocates; everything else works in place.
  void resize(int32_t n) {
    value.assign(std::max(n, 0), 0.0);
    index.assign(std::max(n, 0), 0);
    count = 0;
  }
  int32_t size() const { return static_cast<int32_t>(value.size()); }
  bool listed() const { return count >= 0; }

  // All zero again: through the list when there is one, else the whole vector.
  void clear() {
    if (count < 0) {
      std::fill(value.begin(), value.end(), 0.0);
    } else {
      for (int32_t k = 0; k < count; ++k) value[index[k]] = 0.0;
    }
    count = 0;
  }
  // Sets position i, which must not be listed yet (a zero vector takes entries in any order).
  void add(int32_t i, double v) {
    value[i] = v;
    index[count++] = i;
  }
  // The values were written without a list.
  void markDense() { count = -1; }
};

}  // namespace kavro::kernels
