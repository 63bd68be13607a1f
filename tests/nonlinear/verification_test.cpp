// Derivative verification: verdicts on right and wrong derivatives, exits 7 and 8, the levels
// and column ranges, feasible steps, scaling off during the checks.

#include <gtest/gtest.h>

#include "nonlinear/harness.hpp"

namespace kavro::testing {
namespace {

class VerificationTest : public EvaluatorTest {
 protected:
  void SetUp() override { p.verifyLevel = 3; }
  int32_t verify() { return ev->verifyDerivatives(x.data(), lower.data(), upper.data()); }

  std::vector<double> lower = std::vector<double>(4, -10.0);
  std::vector<double> upper = std::vector<double>(4, 10.0);
};

TEST_F(VerificationTest, RightDerivativesAreReportedOK) {
  make();
  EXPECT_EQ(verify(), 0);
  const auto lines = print();
  EXPECT_TRUE(hasLine(lines, " Verification of objective gradients returned by subroutine funobj."));
  EXPECT_TRUE(hasLine(lines, " The objective gradients seem to be OK."));
  EXPECT_TRUE(hasLine(lines, " 3 objective gradients out of 1 thru 3 seem to be OK."));
  EXPECT_TRUE(hasLine(lines, " Verification of constraint gradients returned by subroutine funcon."));
  EXPECT_TRUE(hasLine(lines, " The Jacobian seems to be OK."));
  EXPECT_TRUE(hasLine(lines, " 4 Jacobian elements in cols 1 thru 3 seem to be OK."));
  EXPECT_EQ(linesContaining(lines, " Column       x(j)        dx(j)"), 3);
  EXPECT_EQ(linesContaining(lines, "Gradient projected in two directions"), 1);
  EXPECT_EQ(linesContaining(lines, "The largest discrepancy was"), 1);
  EXPECT_EQ(linesContaining(lines, "bad?"), 0);
  EXPECT_EQ(linesContaining(lines, "ok  "), 3 + 4);
  EXPECT_EQ(linesContaining(lines, "EXIT"), 0);
  EXPECT_EQ(ev->objectiveCounts().calls, 1 + 2 + 3);   // point, two directions, three columns
  EXPECT_EQ(ev->constraintCounts().calls, 1 + 1 + 3);  // point, one direction, three columns
}

TEST_F(VerificationTest, GradientOffByFactorTwoIsMarkedAndTheRunGoesOn) {
  fun.gradientFactor[0] = 2.0;
  make();
  EXPECT_EQ(ev->verifyObjectiveGradients(x.data(), lower.data(), upper.data()), 0);
  const auto lines = print();
  EXPECT_TRUE(hasLine(lines, " XXX  The objective gradients seem to be incorrect."));
  EXPECT_EQ(linesContaining(lines, "bad?"), 1);
  EXPECT_TRUE(hasLine(lines, " XXX  There seem to be 1 incorrect objective gradients in cols 1 thru 3"));
  // |g| = 431.2 against 215.6: relative error 215.6 / 432.2.
  EXPECT_TRUE(hasLine(lines, " XXX  The largest relative error was    4.99E-01 in column 1"));
  EXPECT_EQ(linesContaining(lines, "EXIT"), 0);
}

TEST_F(VerificationTest, GradientOffByFactorThreeEndsTheRunWithExit7) {
  // Understated three times: error 143.7 / 72.9, about 2. (Overstated three times the same
  // measure gives 431.2 / 647.8, about 0.67: marked, but below the exit threshold of 1.)
  fun.gradientFactor[0] = 1.0 / 3.0;
  p.scaleOption = 2;
  make();
  ev->setScales(std::vector<double>{1.0, 1.0, 1.0}, std::vector<double>{1.0, 1.0});
  EXPECT_EQ(verify(), kBadObjectiveGradient);
  EXPECT_EQ(p.scaleOption, 2);
  for (const auto& lines : {print(), summary()})
    EXPECT_TRUE(hasLine(lines, " EXIT -- subroutine funobj appears to be giving incorrect gradients"));
  EXPECT_EQ(ev->constraintCounts().calls, 0);  // the Jacobian is not looked at after a failure

  TestFunctions over;
  over.gradientFactor[0] = 3.0;
  FunctionEvaluator other(p, report.out, nullptr, &over, NonlinearShape::fromProblem(testProblem()));
  EXPECT_EQ(other.verifyObjectiveGradients(x.data(), lower.data(), upper.data()), 0);
}

TEST_F(VerificationTest, WrongJacobianElementEndsTheRunWithExit8) {
  fun.jacobianFactor[0] = -1.0;
  make();
  EXPECT_EQ(verify(), kBadConstraintGradient);
  const auto lines = print();
  EXPECT_TRUE(hasLine(lines, " XXX  The Jacobian seems to be incorrect."));
  EXPECT_TRUE(hasLine(lines, " XXX  There seem to be 1 incorrect Jacobian elements in cols 1 thru 3"));
  EXPECT_EQ(linesContaining(lines, "The largest relative error was    1.41E+00 in row 1,  column 1"), 1);
  EXPECT_EQ(linesContaining(lines, "bad?"), 1);
  for (const auto& l : {lines, summary()})
    EXPECT_TRUE(hasLine(l, " EXIT -- subroutine funcon appears to be giving incorrect gradients"));
}

TEST_F(VerificationTest, ConstantElementsAreCheckedOnlyWhereTheLevelMakesThemKnown) {
  fun.conSets = {true, true, true, false};
  make(5.0);  // the stored constant is wrong: the true derivative is 3
  EXPECT_EQ(ev->verifyJacobian(x.data(), lower.data(), upper.data()), 0);
  EXPECT_TRUE(hasLine(print(), " XXX  There seem to be 1 incorrect Jacobian elements in cols 1 thru 3"));

  ReportCapture other;
  Parameters q = p;
  q.derivativeLevel = 1;
  TestFunctions fun1;
  fun1.conSets = {true, true, true, false};
  FunctionEvaluator ev1(q, other.out, nullptr, &fun1, NonlinearShape::fromProblem(testProblem(5.0)));
  EXPECT_EQ(ev1.verifyJacobian(x.data(), lower.data(), upper.data()), 0);
  EXPECT_TRUE(hasLine(other.print(), " 3 Jacobian elements in cols 1 thru 3 seem to be OK."));
  EXPECT_EQ(linesContaining(other.print(), " Column       x(j)        dx(j)"), 2);  // column 3 has nothing set
}

TEST_F(VerificationTest, NegativeLevelEvaluatesNothing) {
  p.verifyLevel = -1;
  make();
  EXPECT_EQ(verify(), 0);
  EXPECT_EQ(ev->objectiveCounts().calls, 0);
  EXPECT_EQ(ev->constraintCounts().calls, 0);
  EXPECT_TRUE(print().empty());
}

TEST_F(VerificationTest, LevelsAndEmptyRangesLeaveOnlyTheCheapTests) {
  p.startObjectiveCheck = 3;
  p.stopObjectiveCheck = 2;
  p.verifyLevel = 2;  // the Jacobian in full, the objective only cheaply
  make();
  EXPECT_EQ(verify(), 0);
  auto lines = print();
  EXPECT_TRUE(hasLine(lines, " Cheap test on funobj..."));
  EXPECT_TRUE(hasLine(lines, " The objective gradients seem to be OK."));
  EXPECT_EQ(linesContaining(lines, "objective gradients out of"), 0);
  EXPECT_TRUE(hasLine(lines, " Verification of constraint gradients returned by subroutine funcon."));

  ReportCapture other;
  Parameters q = p;
  q.verifyLevel = 3;
  q.startConstraintCheck = 0;  // from column 1 ...
  q.stopConstraintCheck = 0;   // ... to column 0: empty
  TestFunctions fun1;
  FunctionEvaluator ev1(q, other.out, nullptr, &fun1, NonlinearShape::fromProblem(testProblem()));
  EXPECT_EQ(ev1.verifyJacobian(x.data(), lower.data(), upper.data()), 0);
  lines = other.print();
  EXPECT_TRUE(hasLine(lines, " Cheap test on funcon..."));
  EXPECT_TRUE(hasLine(lines, " The Jacobian seems to be OK."));
  EXPECT_EQ(linesContaining(lines, "Column"), 0);
  EXPECT_EQ(fun1.conPoints.size(), 2u);
}

TEST_F(VerificationTest, StepsStayWithinTheBounds) {
  upper[0] = x[0];  // x1 at its upper bound
  make();
  EXPECT_EQ(verify(), 0);
  // The Jacobian: the inventory point, the cheap trial, then one point per column.
  ASSERT_EQ(fun.conPoints.size(), 5u);
  EXPECT_LT(fun.conPoints[1][0], x[0]);  // the cheap direction is turned for x1
  EXPECT_GT(fun.conPoints[1][2], x[2]);
  EXPECT_LT(fun.conPoints[2][0], x[0]);  // column 1 is perturbed downwards
  EXPECT_EQ(fun.conPoints[2][1], x[1]);
  EXPECT_GT(fun.conPoints[3][1], x[1]);  // column 2 upwards
  // The objective's column check too.
  ASSERT_EQ(fun.objPoints.size(), 6u);
  EXPECT_LT(fun.objPoints[3][0], x[0]);
  for (const auto& point : fun.conPoints) EXPECT_LE(point[0], upper[0]);
  for (const auto& point : fun.objPoints) EXPECT_LE(point[0], upper[0]);

  // A fixed variable takes no part in the cheap directions.
  lower[1] = upper[1] = x[1];
  fun.objPoints.clear();
  EXPECT_EQ(ev->verifyObjectiveGradients(x.data(), lower.data(), upper.data()), 0);
  EXPECT_EQ(fun.objPoints[1][1], x[1]);
  EXPECT_EQ(fun.objPoints[2][1], x[1]);
}

TEST_F(VerificationTest, NoFeasibleDirectionMeansNoVerification) {
  lower = upper = x;  // every variable fixed
  make();
  EXPECT_EQ(verify(), 0);
  const auto lines = print();
  EXPECT_TRUE(hasLine(lines, " XXX  Can't find a feasible step - objective gradients not verified."));
  EXPECT_TRUE(hasLine(lines, " XXX  Can't find a feasible step - constraint gradients not verified."));
  EXPECT_EQ(linesContaining(lines, "seem to be"), 0);
}

TEST_F(VerificationTest, RoutineThatSetsNoGradientGivesNoOutput) {
  fun.objSets = {false, false, false};
  make();
  EXPECT_EQ(ev->verifyObjectiveGradients(x.data(), lower.data(), upper.data()), 0);
  const auto lines = print();
  EXPECT_EQ(lines.size(), 2u);  // the inventory, and the level lowered: nothing from the check
  EXPECT_EQ(linesContaining(lines, "funobj  sets"), 1);
  EXPECT_EQ(ev->objectiveCounts().calls, 1);
}

TEST_F(VerificationTest, ChecksRunInUserUnitsAndRestoreTheScaleOption) {
  p.scaleOption = 2;
  make();
  const std::vector<double> c{2.0, 0.5, 4.0};
  ev->setScales(c, std::vector<double>{10.0, 0.1});
  std::vector<double> xs(4), ls(4), us(4);
  for (int j = 0; j < 3; ++j) xs[j] = x[j] / c[j], ls[j] = lower[j] / c[j], us[j] = upper[j] / c[j];
  upper[2] = x[2];  // also through the scaled bound
  us[2] = x[2] / c[2];
  EXPECT_EQ(ev->verifyDerivatives(xs.data(), ls.data(), us.data()), 0);
  EXPECT_EQ(p.scaleOption, 2);
  EXPECT_EQ(fun.objPoints.front(), std::vector<double>(x.begin(), x.begin() + 3));
  EXPECT_EQ(fun.conPoints.front(), std::vector<double>(x.begin(), x.begin() + 3));
  for (const auto& point : fun.conPoints) EXPECT_LE(point[2], x[2]);
  EXPECT_EQ(linesContaining(print(), "bad?"), 0);

  fun.objModeAt = static_cast<int>(fun.objNstates.size()) + 2;  // fails inside the check
  fun.objMode = -1;
  EXPECT_EQ(ev->verifyObjectiveGradients(xs.data(), ls.data(), us.data()), kFunctionUndefined);
  EXPECT_EQ(p.scaleOption, 2);
}

}  // namespace
}  // namespace kavro::testing
