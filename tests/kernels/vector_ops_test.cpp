#include "kernels/vector_ops.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace kavro::kernels {
namespace {

TEST(VectorOps, BlasWrappersAgreeWithPlainLoops) {
  std::vector<double> x{1.5, -4.0, 2.0, 4.0, -0.5};
  std::vector<double> y(5, 0.0);
  dcopy(5, x.data(), y.data());
  EXPECT_EQ(x, y);
  EXPECT_DOUBLE_EQ(dasum(5, x.data()), 12.0);
  EXPECT_EQ(idamax(5, x.data()), 1);  // first of the two entries of magnitude 4
  dscal(5, -2.0, y.data());
  EXPECT_DOUBLE_EQ(y[1], 8.0);
  EXPECT_DOUBLE_EQ(maxNorm(5, y.data()), 8.0);
}

TEST(VectorOps, EmptyAndNegativeCountsDoNothing) {
  double v = 3.0;
  dcopy(0, &v, &v);
  dscal(-1, 0.0, &v);
  EXPECT_EQ(v, 3.0);
  EXPECT_EQ(dasum(0, &v), 0.0);
  EXPECT_EQ(idamax(0, &v), -1);
  EXPECT_EQ(maxNorm(0, &v), 0.0);
}

TEST(VectorOps, FillAndIntegerCopy) {
  std::vector<int32_t> a(4, 7), b(4, 0);
  fill(3, int32_t{-1}, a.data());
  icopy(4, a.data(), b.data());
  EXPECT_EQ(b, (std::vector<int32_t>{-1, -1, -1, 7}));
  std::vector<double> d(3, 1.0);
  fill(2, 0.25, d.data());
  EXPECT_EQ(d, (std::vector<double>{0.25, 0.25, 1.0}));
}

TEST(VectorOps, ScaleByReciprocalGuardsAgainstOverflow) {
  std::vector<double> x{2.0, -6.0, 0.0};
  scaleByReciprocal(3, 2.0, x.data());
  EXPECT_EQ(x, (std::vector<double>{1.0, -3.0, 0.0}));

  const double huge = std::numeric_limits<double>::max();
  std::vector<double> y{1.0, -1.0, 0.0, 1e-300};
  scaleByReciprocal(4, 1e-310, y.data());
  for (double v : y) EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(y[0], huge);
  EXPECT_EQ(y[1], -huge);
  EXPECT_EQ(y[2], 0.0);
  EXPECT_NEAR(y[3], 1e10, 1e-4 * 1e10);

  std::vector<double> z{1.0};
  scaleByReciprocal(1, 0.0, z.data());
  EXPECT_EQ(z[0], huge);
}

}  // namespace
}  // namespace kavro::kernels
