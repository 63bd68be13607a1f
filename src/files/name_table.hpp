#pragma once
// Hash table from names to indices, for the row and column names of an MPS file. Open
// addressing with linear probing over a prime number of slots, kept at most half full (the
// table grows as names are added). It counts the collisions of its lookups — every occupied
// slot probed that did not hold the name — which the MPS reader reports with the table length.
//
// The table stores indices only; the names live in the caller's vector, which every call
// receives and which must hold the name of each index inserted.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavro {

class NameTable {
 public:
  explicit NameTable(int64_t expectedNames = 0);

  // Index of `name`, or -1.
  int32_t find(std::string_view name, const std::vector<std::string>& names);
  // Adds names[index] (not present yet).
  void insert(int32_t index, const std::vector<std::string>& names);

  int64_t length() const { return static_cast<int64_t>(slots_.size()); }
  int64_t collisions() const { return collisions_; }

 private:
  size_t slotOf(std::string_view name) const;
  void grow(const std::vector<std::string>& names);

  std::vector<int32_t> slots_;  // -1 empty, else an index into names
  int64_t used_ = 0;
  int64_t collisions_ = 0;
};

}  // namespace kavro
