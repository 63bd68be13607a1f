// Pricing without the main loop: the Pricer on a basis of slacks with prices set by the test,
// the rule it uses in each situation and how long it trusts the reduced costs it kept.

#include "optimizer/pricer.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace kavro {
namespace {

// Two rows; x0 has column (1, 0) and x1 column (1.5, 3). With prices (1, 0) the reduced costs
// are d0 = -1 and d1 = -1.5, so the largest reduced cost chooses x1. Steepest edge, which on a
// basis of slacks weighs each column by 1 + |a_j|^2, compares 1 / 2 = 0.5 with 2.25 / 12.25 and
// chooses x0.
struct Pricing {
  Problem prob;
  Parameters params;
  ReportChannels out;
  std::vector<int32_t> hs{kAtLower, kAtLower, kBasic, kBasic};
  std::vector<int32_t> basisList{2, 3};
  std::vector<double> pi{1.0, 0.0}, dj = std::vector<double>(4, 0.0);
  std::vector<double> basicCosts{0.0, 0.0};
  double wtobj = 0.0;
  Pricer pricer;

  explicit Pricing(PricingRule rule, int32_t multiplePrice = 1, int32_t partialPrice = 1)
      : prob(problem()), params(settings(rule, multiplePrice, partialPrice)), pricer(prob, params) {}

  static Problem problem() {
    Problem p;
    p.m = 2;
    p.n = 2;
    p.a.value = {1.0, 1.5, 3.0};
    p.a.row = {0, 0, 1};
    p.a.colStart = {0, 1, 3};
    p.lower.assign(4, 0.0);
    p.upper.assign(4, 10.0);
    return p;
  }
  static Parameters settings(PricingRule rule, int32_t multiplePrice, int32_t partialPrice) {
    Parameters p;
    p.pricingOption = static_cast<int32_t>(rule);
    p.partialPrice = partialPrice;
    p.multiplePrice = multiplePrice;
    p.superbasicsLimit = 5;
    return p;
  }
  PricingSituation situation(int32_t ns = 0) const {
    PricingSituation s;
    s.ns = ns;
    s.factorizations = 1;
    s.basicCosts = basicCosts.data();
    s.basisList = basisList.data();
    return s;
  }
  PricingResult price(const PricingSituation& s) {
    PricingInput in;
    in.prob = &prob;
    in.hs = hs.data();
    in.pi = pi.data();
    in.feasible = !s.infeasible;
    in.ns = s.ns;
    in.superbasicsLimit = params.superbasicsLimit;
    in.multiplePrice = params.multiplePrice;
    bool fresh = false;
    return pricer.price(in, s, wtobj, dj.data(), out, fresh);
  }
};

TEST(Pricer, SteepestEdgeChoosesByEdgeLengthUnlessPricingMayChooseSuperbasics) {
  Pricing steepest(PricingRule::kSteepestEdge);
  const PricingResult byEdge = steepest.price(steepest.situation());
  EXPECT_EQ(byEdge.enteringVar, 0);
  EXPECT_TRUE(byEdge.increase);
  EXPECT_EQ(steepest.dj, (std::vector<double>{-1.0, -1.5, -1.0, 0.0}));

  // With a superbasic variable the choice is the largest reduced cost.
  Pricing withSuperbasic(PricingRule::kSteepestEdge);
  EXPECT_EQ(withSuperbasic.price(withSuperbasic.situation(1)).enteringVar, 1);
  // So it is when several candidates are wanted, and under the rule of the largest reduced cost.
  Pricing multiple(PricingRule::kSteepestEdge, 2);
  EXPECT_EQ(multiple.price(multiple.situation()).enteringVar, 1);
  Pricing largest(PricingRule::kLargestReducedCost);
  EXPECT_EQ(largest.price(largest.situation()).enteringVar, 1);
}

TEST(Pricer, PartialPricingTakesTheFirstSectionWithACandidate) {
  // Sections of two: x0 with s0, x1 with s1. The first pricing finds nothing above its initial
  // threshold in either, takes the best of all (x1) and lowers the threshold to 0.2 * 1.5; the
  // next one starts in section 1, where x0 is enough.
  Pricing partial(PricingRule::kLargestReducedCost, 1, 2);
  const PricingSituation s = partial.situation();
  EXPECT_EQ(partial.price(s).enteringVar, 1);
  const PricingResult next = partial.price(s);
  EXPECT_EQ(next.enteringVar, 0);
  EXPECT_EQ(next.section, 1);
}

TEST(Pricer, WeightedRulesStayOutOfNonlinearChoices) {
  Pricing devex(PricingRule::kDevex);
  PricingSituation s = devex.situation();
  EXPECT_TRUE(devex.pricer.weightedApplies(s));
  s.nonlinearObjective = true;
  EXPECT_FALSE(devex.pricer.weightedApplies(s));  // feasible: the choice may create superbasics
  s.infeasible = true;
  EXPECT_TRUE(devex.pricer.weightedApplies(s));  // phase 1 prices the infeasibilities only

  Pricing constrained(PricingRule::kDevex);
  constrained.prob.nNonlinCons = 1;
  Pricer withNonlinearRows(constrained.prob, constrained.params);
  EXPECT_FALSE(withNonlinearRows.weightedApplies(constrained.situation()));
}

TEST(Pricer, KeptReducedCostsHoldUntilAFactorizationOrAPhaseChange) {
  Pricing devex(PricingRule::kDevex);
  const PricingSituation feasible = devex.situation();
  EXPECT_FALSE(devex.pricer.reducedCostsKept(feasible));  // nothing priced yet
  devex.price(feasible);
  EXPECT_TRUE(devex.pricer.reducedCostsKept(feasible));

  PricingSituation refactorized = feasible;
  refactorized.factorizations = 2;
  EXPECT_FALSE(devex.pricer.reducedCostsKept(refactorized));
  PricingSituation checked = feasible;
  checked.afterFailedCheck = true;
  EXPECT_FALSE(devex.pricer.reducedCostsKept(checked));
  PricingSituation infeasible = feasible;
  infeasible.infeasible = true;
  EXPECT_FALSE(devex.pricer.reducedCostsKept(infeasible));  // phase 1 costs differ from phase 2's
  devex.pricer.invalidate();
  EXPECT_FALSE(devex.pricer.reducedCostsKept(feasible));
}

TEST(Pricer, PhaseOneCostsAreKeptWhileOnlyTheEnteringPositionChanges) {
  Pricing devex(PricingRule::kDevex);
  devex.basicCosts = {1.0, -1.0};  // s0 above its upper bound, s1 below its lower one
  PricingSituation s = devex.situation();
  s.infeasible = true;
  devex.price(s);
  EXPECT_TRUE(devex.pricer.reducedCostsKept(s));

  // A step put a feasible entering variable (cost 0) in position 0: the costs still hold.
  devex.basicCosts = {0.0, -1.0};
  s.basicCosts = devex.basicCosts.data();
  s.changedPosition = 0;
  EXPECT_TRUE(devex.pricer.reducedCostsKept(s));
  // An entering variable that costs something, or a cost that changed elsewhere, does not.
  devex.basicCosts = {1.0, -1.0};
  s.basicCosts = devex.basicCosts.data();
  EXPECT_FALSE(devex.pricer.reducedCostsKept(s));
  devex.basicCosts = {0.0, 0.0};
  s.basicCosts = devex.basicCosts.data();
  EXPECT_FALSE(devex.pricer.reducedCostsKept(s));
}

}  // namespace
}  // namespace kavro
