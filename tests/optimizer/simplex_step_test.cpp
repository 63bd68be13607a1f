// The simplex step without pricing or the main loop: an entering variable chosen by the test moves
// along its column of B^-1 on a basis of two slacks, and the step, the point, the states and the
// basis list are checked against values worked out by hand. The rows are A x + s = 0, so a slack
// moves by -a_q per unit of an increasing x_q.

#include "optimizer/simplex_step.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "optimizer/working_tolerance.hpp"

namespace kavro {
namespace {

constexpr double kInfinite = 1.0e20;

// Two rows, two columns given by their entries in rows 0 and 1; bounds for x0, x1, s0, s1.
Problem twoByTwo(const double (&col0)[2], const double (&col1)[2], const std::vector<double>& lower,
                 const std::vector<double>& upper) {
  Problem p;
  p.m = 2;
  p.n = 2;
  p.a.value = {col0[0], col0[1], col1[0], col1[1]};
  p.a.row = {0, 1, 0, 1};
  p.a.colStart = {0, 2, 4};
  p.lower = lower;
  p.upper = upper;
  return p;
}

// The parts a simplex step works with, on the basis of the two slacks. The working tolerance is
// 5e-7 and grows by 1e-8 per iteration, so the anti-degeneracy step moves the blocking variable
// by 1e-8.
struct Step {
  Problem prob;
  ProblemState state;
  Parameters params;
  ReportChannels out;
  WorkingTolerance tolerance;
  BasisFactors basis;
  Feasibility feasibility;
  SearchDirection direction;
  Pricer pricer;
  SimplexStep step;

  Step(Problem p, const std::vector<double>& x, const std::vector<int32_t>& hs)
      : prob(std::move(p)),
        state{hs, x, {}, {}, 0},
        params(luSettings()),
        basis(prob, state, params, out, nullptr, 1, 1000, false),
        feasibility(prob.m + 2),
        direction(prob, state, basis, feasibility, tolerance, params),
        pricer(prob, params),
        step(prob, state, params, out, basis, direction, feasibility, pricer) {
    tolerance.start(1.0e-6, 49);
    EXPECT_EQ(basis.factorize(FactorKind::kOrdinary, FactorHeader{}), kOptimal);
  }

  static Parameters luSettings() {
    Parameters p;
    p.luFactorTolerance = 100.0;
    p.luUpdateTolerance = 10.0;
    p.luSingularityTol = p.luSingularityTol2 = 3.25e-11;
    p.luDensity = 0.5;
    p.pivotTolerance = 3.25e-11;
    return p;
  }
};

// x0 enters at 0 with column (1, 2): s0 falls to its bound -4 after 4, s1 to its bound -6 after 3.
Problem blockedBySecondSlack(double x0Upper) {
  return twoByTwo({1.0, 2.0}, {1.0, 0.0}, {0.0, 0.0, -4.0, -6.0}, {x0Upper, 5.0, kInfinite, kInfinite});
}

TEST(SimplexStep, TheNearestBasicBoundBlocksAndItsVariableLeaves) {
  Step s(blockedBySecondSlack(10.0), {0.0, 0.0, 0.0, 0.0}, {kAtLower, kAtLower, kBasic, kBasic});
  const SimplexMove move = s.step.take(0, true);
  ASSERT_EQ(move.outcome, SimplexMove::Outcome::kBasisChange);
  EXPECT_DOUBLE_EQ(move.step, 3.0);
  EXPECT_FALSE(move.degenerate);
  EXPECT_EQ(move.position, 1);
  EXPECT_EQ(move.left, 3);
  EXPECT_DOUBLE_EQ(move.pivot, 2.0);
  EXPECT_EQ(s.state.x, (std::vector<double>{3.0, 0.0, -3.0, -6.0}));
  EXPECT_EQ(s.state.hs, (std::vector<int32_t>{kBasic, kAtLower, kBasic, kAtLower}));
  EXPECT_EQ(s.basis.at(0), 2);
  EXPECT_EQ(s.basis.at(1), 0);
}

TEST(SimplexStep, AnEnteringVariableThatReachesItsOtherBoundFirstFlips) {
  Step s(blockedBySecondSlack(2.0), {0.0, 0.0, 0.0, 0.0}, {kAtLower, kAtLower, kBasic, kBasic});
  const SimplexMove move = s.step.take(0, true);
  ASSERT_EQ(move.outcome, SimplexMove::Outcome::kBoundFlip);
  EXPECT_DOUBLE_EQ(move.step, 2.0);
  EXPECT_EQ(s.state.x, (std::vector<double>{2.0, 0.0, -2.0, -4.0}));
  EXPECT_EQ(s.state.hs, (std::vector<int32_t>{kAtUpper, kAtLower, kBasic, kBasic}));
  EXPECT_EQ(s.basis.at(0), 2);
  EXPECT_EQ(s.basis.at(1), 3);
}

TEST(SimplexStep, AVariableLeavingItsUpperBoundRaisesTheSlackToItsUpperBound) {
  // x1 = 5 at its upper bound with column (1, 0), so s0 = -5 within [-6, -3]; as x1 decreases s0
  // rises and stops at -3 after a step of 2, before x1 reaches 0.
  Problem p = twoByTwo({1.0, 2.0}, {1.0, 0.0}, {0.0, 0.0, -6.0, -kInfinite}, {10.0, 5.0, -3.0, kInfinite});
  Step s(std::move(p), {0.0, 5.0, -5.0, 0.0}, {kAtLower, kAtUpper, kBasic, kBasic});
  const SimplexMove move = s.step.take(1, false);
  ASSERT_EQ(move.outcome, SimplexMove::Outcome::kBasisChange);
  EXPECT_DOUBLE_EQ(move.step, 2.0);
  EXPECT_EQ(move.left, 2);
  EXPECT_DOUBLE_EQ(move.pivot, -1.0);
  EXPECT_EQ(s.state.x, (std::vector<double>{0.0, 3.0, -3.0, 0.0}));
  EXPECT_EQ(s.state.hs, (std::vector<int32_t>{kAtLower, kBasic, kAtUpper, kBasic}));
  EXPECT_EQ(s.basis.at(0), 1);
}

TEST(SimplexStep, ADegenerateStepMovesTheBlockingVariableByTheMinimumAndLeavesItThere) {
  // s1 already sits on its lower bound 0 and falls at rate 2: the exact step is 0, raised so that
  // s1 moves by 1e-8, i.e. a step of 5e-9, after which s1 stays 1e-8 below its bound.
  Problem p = twoByTwo({1.0, 2.0}, {1.0, 0.0}, {0.0, 0.0, -4.0, 0.0}, {10.0, 5.0, kInfinite, kInfinite});
  Step s(std::move(p), {0.0, 0.0, 0.0, 0.0}, {kAtLower, kAtLower, kBasic, kBasic});
  const SimplexMove move = s.step.take(0, true);
  ASSERT_EQ(move.outcome, SimplexMove::Outcome::kBasisChange);
  EXPECT_TRUE(move.degenerate);
  EXPECT_NEAR(move.step, 5.0e-9, 1e-20);
  EXPECT_EQ(move.left, 3);
  EXPECT_NEAR(s.state.x[0], 5.0e-9, 1e-20);
  EXPECT_NEAR(s.state.x[3], -1.0e-8, 1e-20);
  EXPECT_EQ(s.state.hs[3], kAtLower);
}

TEST(SimplexStep, ADirectionWithoutAFiniteBoundIsUnboundedAndChangesNothing) {
  // Column (-1, -1): both slacks rise without a bound, and x0 has none either.
  Problem p = twoByTwo({-1.0, -1.0}, {1.0, 0.0}, {0.0, 0.0, 0.0, 0.0}, {kInfinite, 5.0, kInfinite, kInfinite});
  Step s(std::move(p), {0.0, 0.0, 0.0, 0.0}, {kAtLower, kAtLower, kBasic, kBasic});
  const SimplexMove move = s.step.take(0, true);
  EXPECT_EQ(move.outcome, SimplexMove::Outcome::kUnbounded);
  EXPECT_EQ(s.state.x, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
  EXPECT_EQ(s.state.hs, (std::vector<int32_t>{kAtLower, kAtLower, kBasic, kBasic}));
  EXPECT_EQ(s.basis.at(0), 2);
  EXPECT_EQ(s.basis.at(1), 3);
}

}  // namespace
}  // namespace kavro
