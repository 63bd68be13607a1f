// The start of a major iteration on a small problem whose point, prices and states the tests
// set directly: damping, convergence, the penalty's bounds, the row perturbations and the
// random Jacobian for the crash.
//
//   minimize x1 + x2 (objective row)   subject to   x1^2 + x2^2 <= 2 (nonlinear row),
//   -50 <= x <= 50;  solution (-1, -1) with multiplier -0.5 (minimization sign).

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "kavro/functions.hpp"
#include "nonlinear/major_iterations.hpp"
#include "specs/parameters.hpp"
#include "support/test_problems.hpp"

namespace kavro {
namespace {

using testing::DenseLp;
using testing::kInf;

class MajorStart : public ::testing::Test {
 protected:
  MajorStart()
      : functions(nullptr, [this](std::span<const double> x, std::span<double> f, std::span<double> jac) {
          if (x[0] > undefinedAbove) return false;
          f[0] = x[0] * x[0] + x[1] * x[1];
          jac[0] = 2 * x[0];
          jac[1] = 2 * x[1];
          return true;
        }) {
    prob = testing::makeProblem(DenseLp{{{1, 1}, {1, 1}}, {-kInf, -kInf}, {2, kInf}, {-50, -50}, {50, 50}, 1});
    prob.nNonlinCons = 1;
    prob.nNonlinJacVars = 2;
    params.optimalityTolerance = 1e-6;
    params.rowTolerance = 1e-6;
    params.majorDampingParameter = 2.0;
    params.radiusOfConvergence = 0.1;
    params.currentPenalty = 1.0;
    params.lagrangian = 1;
    params.derivativeLevel = 3;
    params.verifyLevel = -1;
    evaluator = std::make_unique<FunctionEvaluator>(params, ReportChannels{}, nullptr, &functions,
                                                    NonlinearShape::fromProblem(prob));
    majors = std::make_unique<MajorIterations>(params, ReportChannels{}, *evaluator, nullptr, prob.m, prob.n);
    view.prob = &prob;
    view.x = &x;
    view.pi = &pi;
    view.hs = &hs;
    view.objSlack = 3;
  }

  // The point (x1, x2) with the slacks that satisfy the rows there.
  void at(double x1, double x2) { x = {x1, x2, -(x1 * x1 + x2 * x2), -(x1 + x2)}; }

  double undefinedAbove = 1e30;
  FunctionsFromCallables functions;
  Problem prob;
  Parameters params;
  std::unique_ptr<FunctionEvaluator> evaluator;
  std::unique_ptr<MajorIterations> majors;
  std::vector<double> x, pi{0.0, -1.0};
  std::vector<int32_t> hs{2, 2, 3, 3};
  MajorView view;
  SubproblemSummary optimalSubproblem;
};

TEST_F(MajorStart, FirstMajorRelaxesTheNonlinearRowsAndLaterOnesRestoreThem) {
  at(1, 1);
  ASSERT_EQ(majors->start(1, optimalSubproblem, view), 0);
  EXPECT_LE(prob.lower[2], -1e20);
  EXPECT_GE(prob.upper[2], 1e20);
  // The linearization at (1, 1): 2 x1 + 2 x2 in the matrix, right-hand side -(2 - 4) = 2.
  EXPECT_DOUBLE_EQ(prob.a.value[0], 2.0);
  EXPECT_DOUBLE_EQ(majors->rhs()[0], 2.0);
  ASSERT_EQ(majors->start(2, optimalSubproblem, view), 0);
  EXPECT_DOUBLE_EQ(prob.lower[2], -2.0);
}

TEST_F(MajorStart, DampingFollowsTheChangeOfTheJacobianVariables) {
  at(1, 1);
  ASSERT_EQ(majors->start(1, optimalSubproblem, view), 0);
  // cx = 1 / (1 + 1) = 0.5: damping parameter 2 allows the whole step.
  at(2, 1);
  ASSERT_EQ(majors->start(2, optimalSubproblem, view), 0);
  EXPECT_EQ(majors->dampingStep(), 1.0);
  EXPECT_DOUBLE_EQ(x[0], 2.0);
  // cx = 40 / (2 + 1) = 13.3: a step of 2 / 13.3 of the way.
  at(42, 1);
  ASSERT_EQ(majors->start(3, optimalSubproblem, view), 0);
  EXPECT_NEAR(majors->dampingStep(), 2.0 / (40.0 / 3.0), 1e-12);
  EXPECT_NEAR(x[0], 2.0 + 40.0 * majors->dampingStep(), 1e-9);
}

TEST_F(MajorStart, AnUndefinedPointDuringDampingShortensTheStep) {
  at(1, 1);
  ASSERT_EQ(majors->start(1, optimalSubproblem, view), 0);
  undefinedAbove = 3.0;
  at(41, 1);  // cx = 20: sigma 0.1 lands at x1 = 5 (undefined), then 0.01 at 1.4
  ASSERT_EQ(majors->start(2, optimalSubproblem, view), 0);
  EXPECT_NEAR(majors->dampingStep(), 0.01, 1e-12);
  EXPECT_NEAR(x[0], 1.4, 1e-9);
}

TEST_F(MajorStart, ConvergenceNeedsTwoMajorsWithinTheTolerancesOrOneFarWithin) {
  pi = {-0.5, -1.0};
  hs = {2, 2, kAtLower, 3};
  // Slightly outside the disc: violation 2e-7 (normalized 1e-7, above eps^0.5), within the Row
  // tolerance 1e-6.
  const double d = -1.0 - 5e-8;
  at(d, d);
  ASSERT_EQ(majors->start(1, optimalSubproblem, view), 0);
  at(d, d);
  ASSERT_EQ(majors->start(2, optimalSubproblem, view), 0);
  EXPECT_FALSE(majors->converged());
  at(d, d);
  ASSERT_EQ(majors->start(3, optimalSubproblem, view), 0);
  EXPECT_TRUE(majors->converged());
  EXPECT_LE(majors->relativeViolation(), 1e-6);
}

TEST_F(MajorStart, AtTheSolutionOneMajorIsEnough) {
  // Both measures below eps^0.5 at once.
  pi = {-0.5, -1.0};
  hs = {2, 2, kAtLower, 3};
  at(-1, -1);
  ASSERT_EQ(majors->start(1, optimalSubproblem, view), 0);
  at(-1, -1);
  ASSERT_EQ(majors->start(2, optimalSubproblem, view), 0);
  EXPECT_TRUE(majors->converged());
}

TEST_F(MajorStart, AnInfeasibleSubproblemIsNotJudgedConverged) {
  pi = {-0.5, -1.0};
  hs = {2, 2, kAtLower, 3};
  at(-1, -1);
  ASSERT_EQ(majors->start(1, optimalSubproblem, view), 0);
  SubproblemSummary infeasible;
  infeasible.status = kSubproblemInfeasible;
  ASSERT_EQ(majors->start(2, infeasible, view), 0);
  EXPECT_FALSE(majors->converged());
}

TEST_F(MajorStart, PenaltyZeroAtTheFirstMajorTakesOneForItsBounds) {
  params.currentPenalty = 0.0;
  majors = std::make_unique<MajorIterations>(params, ReportChannels{}, *evaluator, nullptr, prob.m, prob.n);
  EXPECT_DOUBLE_EQ(majors->penaltyBounds().first, 1e-4);
  EXPECT_DOUBLE_EQ(majors->penaltyBounds().second, 10.0);
  // Raised from 0 it becomes nNonlinCons / 100, then ten times larger, five times at most.
  EXPECT_TRUE(majors->raisePenalty());
  EXPECT_DOUBLE_EQ(params.currentPenalty, 0.01);
  EXPECT_TRUE(majors->raisePenalty());
  EXPECT_DOUBLE_EQ(params.currentPenalty, 0.1);
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(majors->raisePenalty());
  EXPECT_FALSE(majors->raisePenalty());
}

TEST_F(MajorStart, RowBoundsArePerturbedThreeTimesOnlyAndOutwards) {
  at(1, 1);
  ASSERT_EQ(majors->start(1, optimalSubproblem, view), 0);
  ASSERT_EQ(majors->start(2, optimalSubproblem, view), 0);  // bounds restored: slack in [-2, inf]
  const double factors[3] = {0.01, 0.1, 1.0};
  double lower = prob.lower[2];
  for (double factor : factors) {
    ASSERT_TRUE(majors->perturbRowBounds(prob, 3.0));
    lower -= (std::fabs(lower) + 3.0) * factor;
    EXPECT_NEAR(prob.lower[2], lower, 1e-12);
    EXPECT_GE(prob.upper[2], 1e20);  // an infinite bound stays infinite
  }
  EXPECT_FALSE(majors->perturbRowBounds(prob, 3.0));
  EXPECT_NEAR(prob.lower[2], lower, 1e-12);
}

TEST_F(MajorStart, TheCrashSeesReproducibleValuesInTheJacobianPlaces) {
  const std::vector<double> before = prob.a.value;
  majors->randomJacobianForCrash(prob);
  const std::vector<double> first = prob.a.value;
  EXPECT_GE(first[0], 0.5);
  EXPECT_LT(first[0], 1.5);
  EXPECT_NE(first[0], first[2]);
  majors->restoreMatrixJacobian(prob);
  EXPECT_EQ(prob.a.value, before);
  majors->randomJacobianForCrash(prob);
  EXPECT_EQ(prob.a.value, first);  // the same numbers every time
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

// The subproblem's augmented-Lagrangian terms: their second derivatives (the weights of the
// constraint's Hessian, here 2I, and the penalty's Gauss-Newton part) against central
// differences of the gradient the subproblem objective uses, away from the linearization point
// and with a nonzero multiplier; with "Lagrangian No" they vanish.
TEST_F(MajorStart, SecondDerivativesOfTheLagrangianTermsMatchDifferencesOfTheirGradient) {
  at(1, 1);
  pi = {0.7, -1.0};
  ASSERT_EQ(majors->start(1, optimalSubproblem, view), 0);
  at(0.8, 1.3);
  ASSERT_EQ(majors->start(2, optimalSubproblem, view), 0);
  auto gradientAt = [&](double y1, double y2) {
    const double y[2] = {y1, y2}, F[1] = {y1 * y1 + y2 * y2}, J[2] = {2 * y1, 2 * y2};
    std::vector<double> g(2, 0.0);
    majors->lagrangianTerms(y, F, J, g.data());
    return g;
  };
  const double y[2] = {0.5, 0.9}, F[1] = {y[0] * y[0] + y[1] * y[1]}, J[2] = {2 * y[0], 2 * y[1]};
  const double v[2] = {0.6, -0.8};
  double w[1] = {0.0};
  majors->hessianWeights(y, F, w);
  EXPECT_NE(w[0], 0.0);
  double hv[2] = {w[0] * 2 * v[0], w[0] * 2 * v[1]};
  majors->addPenaltyProduct(J, v, hv);
  const double h = 1e-6;
  const std::vector<double> up = gradientAt(y[0] + h * v[0], y[1] + h * v[1]);
  const std::vector<double> down = gradientAt(y[0] - h * v[0], y[1] - h * v[1]);
  for (int j = 0; j < 2; ++j) {
    const double d = (up[static_cast<size_t>(j)] - down[static_cast<size_t>(j)]) / (2 * h);
    EXPECT_NEAR(hv[j], d, 1e-6 * std::max(1.0, std::fabs(d))) << j;
  }

  params.lagrangian = 0;
  majors->hessianWeights(y, F, w);
  double none[2] = {0.0, 0.0};
  majors->addPenaltyProduct(J, v, none);
  EXPECT_EQ(w[0], 0.0);
  EXPECT_EQ(none[0], 0.0);
  EXPECT_EQ(none[1], 0.0);
}

}  // namespace
}  // namespace kavro
