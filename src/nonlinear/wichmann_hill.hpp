#pragma once
// The Wichmann-Hill generator of uniform numbers in [0, 1): three small multiplicative
// congruential generators added modulo 1. Fixed seeds make every run choose the same numbers,
// so a model gives the same crash basis and iteration counts run after run.

#include <cmath>
#include <cstdint>

namespace kavro {

class WichmannHill {
 public:
  WichmannHill(int32_t s1 = 1547, int32_t s2 = 2671, int32_t s3 = 3770) : s1_(s1), s2_(s2), s3_(s3) {}

  double next() {
    s1_ = (171 * s1_) % 30269;
    s2_ = (172 * s2_) % 30307;
    s3_ = (170 * s3_) % 30323;
    const double sum = s1_ / 30269.0 + s2_ / 30307.0 + s3_ / 30323.0;
    return sum - std::floor(sum);
  }

 private:
  int32_t s1_, s2_, s3_;
};

}  // namespace kavro
