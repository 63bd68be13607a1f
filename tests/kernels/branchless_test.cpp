#include "kernels/branchless.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

namespace kavro::kernels {
namespace {

uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }

// The loops that use these must give the bits a branch would give: signed zeros and NaNs included.
TEST(Branchless, SelectionsKeepEveryBit) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(bits(keepIf(false, -3.5)), bits(0.0));
  EXPECT_EQ(bits(keepIf(false, nan)), bits(0.0));
  EXPECT_EQ(bits(keepIf(true, -0.0)), bits(-0.0));
  EXPECT_EQ(bits(keepIf(true, nan)), bits(nan));
  EXPECT_EQ(bits(selectIf(true, -0.0, 1.0)), bits(-0.0));
  EXPECT_EQ(bits(selectIf(false, 1.0, -0.0)), bits(-0.0));
  EXPECT_EQ(bits(selectIf(false, 2.0, nan)), bits(nan));
  EXPECT_EQ(selectIf(true, 1e-300, 7.0), 1e-300);
}

}  // namespace
}  // namespace kavro::kernels
