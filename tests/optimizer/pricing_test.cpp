#include "optimizer/pricing.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "io/units.hpp"

namespace kavro {
namespace {

// n columns with one entry each in row 0, so dj_j = -pi_0 * a_j; m = 1.
Problem columnsInOneRow(const std::vector<double>& a) {
  Problem p;
  p.m = 1;
  p.n = static_cast<int32_t>(a.size());
  p.a.value = a;
  p.a.row.assign(a.size(), 0);
  for (int32_t j = 0; j <= p.n; ++j) p.a.colStart.push_back(j);
  p.lower.assign(static_cast<size_t>(p.nb()), 0.0);
  p.upper.assign(static_cast<size_t>(p.nb()), 10.0);
  return p;
}

struct Fixture {
  Problem prob;
  std::vector<int32_t> hs;
  std::vector<double> pi{1.0}, dj;
  PricingState state;
  double wtobj = 1.0;
  ReportChannels out;

  explicit Fixture(const std::vector<double>& a) : prob(columnsInOneRow(a)) {
    hs.assign(static_cast<size_t>(prob.nb()), 0);
    hs[static_cast<size_t>(prob.n)] = 3;  // the slack is basic
    dj.assign(static_cast<size_t>(prob.nb()), 0.0);
  }
  PricingResult price(int32_t multiple = 1) {
    PricingInput in;
    in.prob = &prob;
    in.hs = hs.data();
    in.pi = pi.data();
    in.multiplePrice = multiple;
    in.superbasicsLimit = 10;
    return kavro::price(in, state, wtobj, dj.data(), out);
  }
};

TEST(Pricing, MostNegativeReducedCostAtLowerBoundWins) {
  Fixture f({1.0, 3.0, 2.0});
  const PricingResult r = f.price();
  EXPECT_EQ(r.enteringVar, 1);
  EXPECT_DOUBLE_EQ(r.dj, -3.0);
  EXPECT_TRUE(r.increase);
}

TEST(Pricing, EqualMeasuresGoToTheFirstMet) {
  Fixture f({2.0, 2.0});
  EXPECT_EQ(f.price().enteringVar, 0);
}

TEST(Pricing, StatesDecideTheSignAndFixedOrBasicAreNeverPriced) {
  Fixture f({1.0, -4.0, 3.0, 5.0});
  f.hs = {1, 1, 4, 3, 3};  // at upper: wants dj > 0; fixed and basic are skipped
  const PricingResult r = f.price();
  EXPECT_EQ(r.enteringVar, 1);
  EXPECT_FALSE(r.increase);
  f.hs = {-1, 4, 4, 4, 3};  // between bounds: |dj| counts
  EXPECT_EQ(f.price().enteringVar, 0);
}

TEST(Pricing, NothingAboveToleranceMeansNoCandidate) {
  Fixture f({1e-7, -2.0});
  f.hs = {0, 0, 3};
  f.pi = {1.0};
  f.hs[1] = 0;  // dj_1 = +2 at lower: wrong sign
  const PricingResult r = f.price();
  EXPECT_EQ(r.enteringVar, -1);
  EXPECT_EQ(r.nAbove, 0);
}

TEST(Pricing, PartialPricingLowersItsThresholdAfterAFullScan) {
  // Twenty columns in two sections; the threshold starts at 1e20, so the first pricing scans
  // both sections and lowers the threshold to 0.2 * best.
  std::vector<double> a(20, 0.5);
  a[15] = 2.0;
  Fixture f(a);
  f.state.nParts = 2;
  f.state.resetForMajorIteration();
  const PricingResult r = f.price();
  EXPECT_EQ(r.enteringVar, 15);
  EXPECT_DOUBLE_EQ(f.state.priceThreshold[1], 0.4);
  EXPECT_EQ(f.state.sectionNo, 2);
  EXPECT_DOUBLE_EQ(f.wtobj, 1.0);  // itn 0: the weight is kept
  // The next pricing starts in section 1, where 0.5 > 0.4 is enough.
  EXPECT_EQ(f.price().section, 1);
}

TEST(Pricing, MultiplePricingKeepsTheBestCandidatesInOrder) {
  Fixture f({1.0, 5.0, 3.0, 0.5, 4.0});
  const PricingResult r = f.price(3);
  ASSERT_EQ(r.candidates.size(), 3u);
  EXPECT_EQ(r.candidates[0].j, 1);
  EXPECT_EQ(r.candidates[1].j, 4);
  EXPECT_EQ(r.candidates[2].j, 2);
  EXPECT_EQ(r.nCandidates, 3);  // all within 0.2 * best
}

TEST(Pricing, BetweenBoundsFallbackNeedsAFiniteBound) {
  Fixture f({0.0, 0.0});
  f.hs = {-1, -1, 3};
  f.prob.lower[0] = -1e20;
  f.prob.upper[0] = 1e20;
  f.prob.lower[1] = -1e20;
  f.prob.upper[1] = 5.0;
  PricingInput in;
  in.prob = &f.prob;
  in.hs = f.hs.data();
  in.pi = f.pi.data();
  PricingResult r;
  ASSERT_TRUE(priceBetweenBounds(in, f.dj.data(), r));
  EXPECT_EQ(r.enteringVar, 1);
  EXPECT_TRUE(r.increase);  // |upper| 5 <= |lower| 1e20
}

}  // namespace
}  // namespace kavro
