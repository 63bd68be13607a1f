#pragma once
// A set of variable indices with constant-time insertion and removal, for the weighted pricing
// rules: the variables that may price out. While the reduced costs are updated step by step,
// only the variables the pivot row touches can become candidates, so pricing scans this set
// instead of every variable.

#include <cstdint>
#include <vector>

namespace kavro {

class CandidateList {
 public:
  // Empty, for indices 0 .. n-1. Allocates.
  void size(int32_t n) {
    where_.assign(n, -1);
    members_.clear();
    members_.reserve(n);
  }
  bool contains(int32_t j) const { return where_[j] >= 0; }
  void add(int32_t j) {
    if (contains(j)) return;
    where_[j] = static_cast<int32_t>(members_.size());
    members_.push_back(j);
  }
  // Removes the member at slot k; the last member takes its place.
  void removeAt(int32_t k) {
    const size_t uk = static_cast<size_t>(k);
    where_[members_[uk]] = -1;
    const int32_t last = members_.back();
    members_.pop_back();
    if (uk == members_.size()) return;
    members_[uk] = last;
    where_[last] = k;
  }
  void clear() {
    for (int32_t j : members_) where_[j] = -1;
    members_.clear();
  }
  int32_t count() const { return static_cast<int32_t>(members_.size()); }
  int32_t operator[](int32_t k) const { return members_[k]; }

 private:
  std::vector<int32_t> where_;  // slot of each index in members_, -1 when absent
  std::vector<int32_t> members_;
};

}  // namespace kavro
