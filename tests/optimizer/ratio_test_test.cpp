#include "optimizer/ratio_test.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace kavro {
namespace {

struct Case {
  std::vector<double> x, lower, upper, p;
  std::vector<int32_t> mark{};
  double expandTol = 0.0, expandStep = 0.0, pivotTol = 1e-11, stepMax = 1e12;
};

BlockingResult run(const Case& c) {
  RatioTestInput in;
  in.count = static_cast<int32_t>(c.x.size());
  in.stepMax = c.stepMax;
  in.pivotTol = c.pivotTol;
  in.expandTol = c.expandTol;
  in.expandStep = c.expandStep;
  std::vector<int32_t> mark = c.mark.empty() ? std::vector<int32_t>(c.x.size(), 0) : c.mark;
  static std::vector<int32_t> keep;
  keep = mark;
  in.infMark = keep.data();
  in.lower = c.lower.data();
  in.upper = c.upper.data();
  in.x = c.x.data();
  in.p = c.p.data();
  static std::vector<int32_t> scratch;
  scratch.assign(c.x.size(), -1);
  in.candidates = scratch.data();
  static std::vector<double> rooms;
  rooms.assign(c.x.size(), -1.0);
  in.rooms = rooms.data();
  return chooseBlockingVar(in);
}

TEST(RatioTest, NearestBoundBlocksAndStepIsExact) {
  const BlockingResult r = run({{0, 0, 0}, {-1, -1, -5}, {4, 2, 9}, {1, 1, -1}});
  EXPECT_EQ(r.blockPos, 1);
  EXPECT_FALSE(r.hitLower);
  EXPECT_DOUBLE_EQ(r.step, 2.0);
  EXPECT_TRUE(r.notForced);
  EXPECT_FALSE(r.unbounded);
}

TEST(RatioTest, TiesWithinRelaxedStepGoToTheLargerPivot) {
  // Both reach a bound at step 1 exactly; pass 2 prefers the larger |p|.
  const BlockingResult r = run({{0, 0}, {-5, -5}, {1, 2}, {1, 2}, {}, 1e-9});
  EXPECT_EQ(r.blockPos, 1);
  EXPECT_DOUBLE_EQ(r.step, 1.0);
}

TEST(RatioTest, SmallPivotsAndInfiniteBoundsDoNotBlock) {
  Case c{{0, 0, 0}, {-1e20, -1, 0}, {1e20, 1, 1}, {1, 1e-13, 0}};
  BlockingResult r = run(c);
  EXPECT_TRUE(r.unbounded);
  EXPECT_EQ(r.step, c.stepMax);
  // A finite bound reached at +1e20 counts as infinite as well.
  Case d{{0}, {-1e20}, {1e20}, {1}};
  EXPECT_TRUE(run(d).unbounded);
}

TEST(RatioTest, InfeasibleVariableBecomesFeasibleLast) {
  // Position 0 is below its lower bound (-2 vs 0) and rises: it blocks when it reaches 0 at
  // step 2 unless a feasible variable blocks first.
  Case c{{-2, 0}, {0, -10}, {5, 10}, {1, 1}, {-2, 0}};
  BlockingResult r = run(c);
  EXPECT_EQ(r.blockPos, 0);
  EXPECT_TRUE(r.hitLower);
  EXPECT_DOUBLE_EQ(r.step, 2.0);
  // A feasible variable that blocks earlier wins.
  c.upper[1] = 1.0;
  r = run(c);
  EXPECT_EQ(r.blockPos, 1);
  EXPECT_DOUBLE_EQ(r.step, 1.0);
}

TEST(RatioTest, TinyPivotOfInfeasibleVariableIsIgnored) {
  // Infeasible variables with |p| below 0.001 of the largest infeasible pivot never become
  // the blocking variable that turns feasible.
  Case c{{-1, -1, 0}, {0, 0, -100}, {5, 5, 100}, {1e-5, 1, 1}, {-2, -2, 0}};
  const BlockingResult r = run(c);
  EXPECT_EQ(r.blockPos, 1);
}

TEST(RatioTest, DegenerateStepIsRaisedToTheMinimum) {
  Case c{{1, 0}, {1, -5}, {3, 5}, {-2, 1}, {}, 1e-7, 1e-8};
  const BlockingResult r = run(c);
  EXPECT_EQ(r.blockPos, 0);
  EXPECT_TRUE(r.hitLower);
  EXPECT_DOUBLE_EQ(r.exactStep, 0.0);
  EXPECT_DOUBLE_EQ(r.step, 0.5e-8);
  EXPECT_TRUE(r.degenerate);
  EXPECT_FALSE(r.notForced);
  // Without an expand step the minimum is zero.
  c.expandStep = 0.0;
  EXPECT_EQ(run(c).step, 0.0);
}

TEST(RatioTest, EntryMovingFurtherIntoItsViolationIsSkipped) {
  // Above its upper bound and rising: it does not block; the other variable does.
  Case c{{6, 0}, {0, 0}, {5, 3}, {1, 1}, {2, 0}};
  const BlockingResult r = run(c);
  EXPECT_EQ(r.blockPos, 1);
  EXPECT_DOUBLE_EQ(r.step, 3.0);
}

TEST(RatioTest, PositionsReachTheirVariablesThroughTheMapAndTheEnteringVariable) {
  // Variables 0..4; positions 0,1 are variables 3 and 1, position 2 is the entering variable 4.
  const std::vector<double> x{0, 2, 0, 1, 0}, lower{0, 0, 0, 0, 0}, upper{9, 3, 9, 4, 1.5};
  const std::vector<double> p{1, 1, 1};
  const std::vector<int32_t> mark(3, 0), var{3, 1, -1};
  std::vector<int32_t> scratch(3);
  std::vector<double> rooms(3);
  RatioTestInput in;
  in.count = 3;
  in.stepMax = 1e12;
  in.pivotTol = 1e-11;
  in.infMark = mark.data();
  in.lower = lower.data();
  in.upper = upper.data();
  in.x = x.data();
  in.p = p.data();
  in.var = var.data();
  in.candidates = scratch.data();
  in.rooms = rooms.data();
  in.lastVar = 4;
  BlockingResult r = chooseBlockingVar(in);
  EXPECT_EQ(r.blockPos, 1);  // variable 1 has room 1, variable 3 room 3, variable 4 room 1.5
  EXPECT_DOUBLE_EQ(r.step, 1.0);
  // The entering variable reaching its bound first is a bound flip at the last position.
  const std::vector<double> farther{0, 0, 0, 1, 0};
  in.x = farther.data();
  r = chooseBlockingVar(in);
  EXPECT_EQ(r.blockPos, 2);
  EXPECT_DOUBLE_EQ(r.blockBound, 1.5);
}

}  // namespace
}  // namespace kavro
