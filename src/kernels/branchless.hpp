#pragma once
// Selections without a branch, for loops over data whose pattern (which entries are zero, which
// variables qualify) is irregular: a mispredicted branch costs more than the arithmetic. The
// compiler turns a conditional expression on doubles into a branch more often than not.

#include <bit>
#include <cstdint>

namespace kavro::kernels {

// x when keep, else +0.0 (never -0.0).
inline double keepIf(bool keep, double x) {
  const uint64_t mask = uint64_t{0} - static_cast<uint64_t>(keep);
  return std::bit_cast<double>(std::bit_cast<uint64_t>(x) & mask);
}

// a when first, else b, bit for bit.
inline double selectIf(bool first, double a, double b) {
  const uint64_t mask = uint64_t{0} - static_cast<uint64_t>(first);
  return std::bit_cast<double>((std::bit_cast<uint64_t>(a) & mask) | (std::bit_cast<uint64_t>(b) & ~mask));
}

}  // namespace kavro::kernels
