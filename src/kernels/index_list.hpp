#pragma once
// A list of indices with room for all of them made once: appending never allocates, and an
// append that depends on irregular data needs no branch.

#include <cstdint>
#include <vector>

namespace kavro::kernels {

class IndexList {
 public:
  // Room for capacity indices (one more slot for the conditional append). Allocates.
  void reserve(int32_t capacity) {
    index_.assign(static_cast<size_t>(capacity) + 1, 0);
    count_ = 0;
  }
  void push(int32_t j) { index_[count_++] = j; }
  // Appends j when keep; the slot is written either way.
  void pushIf(bool keep, int32_t j) {
    index_[count_] = j;
    count_ += keep ? 1 : 0;
  }
  void clear() { count_ = 0; }
  int32_t size() const { return count_; }
  const int32_t* begin() const { return index_.data(); }
  const int32_t* end() const { return index_.data() + count_; }

 private:
  std::vector<int32_t> index_;
  int32_t count_ = 0;
};

}  // namespace kavro::kernels
