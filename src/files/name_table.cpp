#include "files/name_table.hpp"

#include <algorithm>

namespace kavro {

namespace {

bool isPrime(int64_t v) {
  if (v < 2) return false;
  for (int64_t d = 2; d * d <= v; ++d)
    if (v % d == 0) return false;
  return true;
}

int64_t primeAtLeast(int64_t v) {
  while (!isPrime(v)) ++v;
  return v;
}

// Start small for huge limits: the table grows with the names actually read.
constexpr int64_t kLargestInitialNames = 1 << 16;

}  // namespace

NameTable::NameTable(int64_t expectedNames) {
  const int64_t expected = std::clamp<int64_t>(expectedNames, 8, kLargestInitialNames);
  slots_.assign(primeAtLeast(2 * expected + 1), -1);
}

size_t NameTable::slotOf(std::string_view name) const {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : name) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return static_cast<size_t>(h % slots_.size());
}

int32_t NameTable::find(std::string_view name, const std::vector<std::string>& names) {
  const size_t size = slots_.size();
  for (size_t s = slotOf(name);; s = (s + 1 == size) ? 0 : s + 1) {
    const int32_t index = slots_[s];
    if (index < 0) return -1;
    if (names[index] == name) return index;
    ++collisions_;
  }
}

void NameTable::insert(int32_t index, const std::vector<std::string>& names) {
  if (2 * (used_ + 1) > length()) grow(names);
  const size_t size = slots_.size();
  size_t s = slotOf(names[index]);
  while (slots_[s] >= 0) s = (s + 1 == size) ? 0 : s + 1;
  slots_[s] = index;
  ++used_;
}

void NameTable::grow(const std::vector<std::string>& names) {
  std::vector<int32_t> old(static_cast<size_t>(primeAtLeast(2 * length() + 1)), -1);
  old.swap(slots_);
  const size_t size = slots_.size();
  for (int32_t index : old) {
    if (index < 0) continue;
    size_t s = slotOf(names[index]);
    while (slots_[s] >= 0) s = (s + 1 == size) ? 0 : s + 1;
    slots_[s] = index;
  }
}

}  // namespace kavro
