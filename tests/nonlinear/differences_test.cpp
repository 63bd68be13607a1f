// Forward and central differences against the analytic derivatives, their step sizes and
// their counters.

#include <gtest/gtest.h>

#include "nonlinear/harness.hpp"

namespace kavro::testing {
namespace {

class DifferencesTest : public EvaluatorTest {
 protected:
  void SetUp() override {
    fun.objSets = {false, false, false};
    fun.conSets = {false, false, false, false};
    p.derivativeLevel = 0;
    make();
  }
};

TEST_F(DifferencesTest, ForwardAndCentralAgreeWithAnalyticDerivatives) {
  const std::vector<double> gx = gradientAt(x.data()), jx = jacobianAt(x.data());
  double fx = 0.0;
  double forwardError = 0.0, centralError = 0.0;
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  for (int j = 0; j < 3; ++j) forwardError = std::max(forwardError, std::fabs(g[j] - gx[j]) / (std::fabs(gx[j]) + 1.0));
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  for (int k = 0; k < 4; ++k)
    forwardError = std::max(forwardError, std::fabs(jac[k] - jx[k]) / (std::fabs(jx[k]) + 1.0));

  ev->setDifferenceChoice(FunctionEvaluator::kCentral);
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  for (int j = 0; j < 3; ++j) centralError = std::max(centralError, std::fabs(g[j] - gx[j]) / (std::fabs(gx[j]) + 1.0));
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  for (int k = 0; k < 4; ++k)
    centralError = std::max(centralError, std::fabs(jac[k] - jx[k]) / (std::fabs(jx[k]) + 1.0));

  // Forward: error of order h (1e-8 steps, curvature up to ~1e3) plus rounding; central: h^2.
  EXPECT_LT(forwardError, 2e-6);
  EXPECT_LT(centralError, 1e-8);
  EXPECT_GT(forwardError, centralError);
  EXPECT_EQ(fun.objModes.back(), 0);  // differences ask for values only
}

TEST_F(DifferencesTest, CountersRiseByOnePerForwardAndTwoPerCentralElementOrColumn) {
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  EXPECT_EQ(ev->objectiveCounts().forward, 3);   // three elements
  EXPECT_EQ(ev->constraintCounts().forward, 3);  // three columns for four elements
  // The first funcon call finds nothing set and is made a second time, as every first call
  // with elements left unset is.
  EXPECT_EQ(ev->constraintCounts().calls, 2 + 3);
  EXPECT_EQ(ev->constraintCounts().mode2, 2);

  ev->setDifferenceChoice(FunctionEvaluator::kCentral);
  EXPECT_EQ(ev->differenceChoice(), FunctionEvaluator::kCentral);
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  EXPECT_EQ(ev->objectiveCounts().central, 6);
  EXPECT_EQ(ev->constraintCounts().central, 6);
  EXPECT_EQ(ev->objectiveCounts().forward, 3);
  EXPECT_EQ(ev->objectiveCounts().calls, 4 + 7);

  ev->setDifferenceChoice(FunctionEvaluator::kForward);
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  EXPECT_EQ(ev->objectiveCounts().forward, 6);
}

TEST_F(DifferencesTest, StepIsTheIntervalTimesOnePlusTheMagnitude) {
  x = {0.0, 1000.0, -3.0, 0.0};
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveValue(x.data(), fx), 0);  // the first call takes the inventory
  std::fill(g.begin(), g.end(), kUnsetDerivative);
  ASSERT_EQ(ev->differenceObjective(x.data(), fx, g.data()), 0);
  const double d = p.differenceInterval;
  ASSERT_EQ(fun.objPoints.size(), 4u);  // the first call, then one per element
  EXPECT_EQ(fun.objPoints[1][0], d);
  EXPECT_EQ(fun.objPoints[2][1], 1000.0 + 1001.0 * d);
  EXPECT_EQ(fun.objPoints[3][2], -3.0 + 4.0 * d);
  // Each call moves one variable; the others keep their values exactly.
  EXPECT_EQ(fun.objPoints[2][0], 0.0);
  EXPECT_EQ(fun.objPoints[3][1], 1000.0);

  ev->setDifferenceChoice(FunctionEvaluator::kCentral);
  const double dc = p.centralDifferenceInterval;
  std::fill(g.begin(), g.end(), kUnsetDerivative);
  g[0] = g[2] = 1.0;  // elements already known are left alone
  const size_t before = fun.objPoints.size();
  ASSERT_EQ(ev->differenceObjective(x.data(), fx, g.data()), 0);
  ASSERT_EQ(fun.objPoints.size(), before + 2);
  EXPECT_EQ(fun.objPoints[before][1], 1000.0 + 1001.0 * dc);
  EXPECT_EQ(fun.objPoints[before + 1][1], 1000.0 - 1001.0 * dc);
  EXPECT_EQ(g[0], 1.0);
  EXPECT_NEAR(g[1], gradientAt(x.data())[1], 1e-6 * 2e5);

  // The Jacobian is differenced column by column with the same steps.
  ASSERT_EQ(ev->constraintValues(x.data(), f.data()), 0);
  std::fill(jac.begin(), jac.end(), kUnsetDerivative);
  const std::vector<double> fc = f;
  const size_t conBefore = fun.conPoints.size();
  ASSERT_EQ(ev->differenceJacobian(x.data(), fc.data(), jac.data()), 0);
  EXPECT_EQ(fun.conPoints[conBefore + 2][1], 1000.0 + 1001.0 * dc);  // after the column-1 pair
}

TEST_F(DifferencesTest, AnErrorStopsDifferencingAtOnce) {
  fun.objModeAt = 3;
  fun.objMode = -1;
  double fx = 0.0;
  EXPECT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), kFunctionUndefined);
  EXPECT_EQ(ev->objectiveCounts().calls, 3);
  EXPECT_EQ(ev->objectiveCounts().forward, 2);

  fun.conModeAt = 3;
  fun.conMode = -2;
  EXPECT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), kFunctionError);
  EXPECT_EQ(ev->constraintCounts().calls, 3);  // two inventory calls, then the first column
  EXPECT_TRUE(hasLine(print(), " in subroutine funcon after 3 calls"));
}

// Routines that set every derivative: "Derivative level" decides what is differenced all the
// same. Level 2 distrusts the objective's gradients, 1 the Jacobian (constant elements too), 0
// both; level 3 differences nothing. The wrong factors make a used routine value visible.
TEST(DerivativeLevelTest, WhatTheLevelDeclaresUnknownIsDifferencedEvenWhenSet) {
  struct Case {
    int level;
    bool objectiveDifferenced, jacobianDifferenced;
  };
  for (const Case c : {Case{0, true, true}, Case{1, false, true}, Case{2, true, false}, Case{3, false, false}}) {
    SCOPED_TRACE(c.level);
    Parameters p = testParameters();
    p.derivativeLevel = c.level;
    ReportCapture report;
    TestFunctions fun;
    fun.gradientFactor = {2.0, 2.0, 2.0};
    fun.jacobianFactor = {2.0, 2.0, 2.0, 2.0};
    FunctionEvaluator ev(p, report.out, nullptr, &fun, NonlinearShape::fromProblem(testProblem()));
    std::vector<double> x{-1.2, 1.0, 0.5, 7.0}, g(3), f(2), jac(4);
    double fx = 0.0;
    for (int pass = 0; pass < 2; ++pass) {  // the first calls take the inventory, later ones do not
      ASSERT_EQ(ev.objectiveAndGradient(x.data(), fx, g.data()), 0);
      ASSERT_EQ(ev.constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
    }
    const std::vector<double> gx = gradientAt(x.data()), jx = jacobianAt(x.data());
    for (int j = 0; j < 3; ++j)
      EXPECT_NEAR(g[j], (c.objectiveDifferenced ? 1.0 : 2.0) * gx[j], 1e-5 * (std::fabs(gx[j]) + 1.0)) << j;
    for (int k = 0; k < 4; ++k)
      EXPECT_NEAR(jac[k], (c.jacobianDifferenced ? 1.0 : 2.0) * jx[k], 1e-5 * (std::fabs(jx[k]) + 1.0)) << k;
    EXPECT_EQ(ev.objectiveCounts().forward, c.objectiveDifferenced ? 2 * 3 : 0);
    EXPECT_EQ(ev.constraintCounts().forward, c.jacobianDifferenced ? 2 * 3 : 0);  // three columns
    EXPECT_EQ(ev.objectiveCounts().mode2, 2);
    EXPECT_EQ(p.derivativeLevel, c.level);  // the routines set everything: nothing to lower
    EXPECT_TRUE(hasLine(report.summary(), " funobj  sets       3 out of       3 objective  gradients."));
  }
}

}  // namespace
}  // namespace kavro::testing
