// The wrappers: the Jacobian taken from a problem, the first-call inventory and the derivative
// level, counting, undefined points and requests to stop, the last calls and the timers.

#include <gtest/gtest.h>

#include "nonlinear/harness.hpp"

namespace kavro::testing {
namespace {

TEST(NonlinearShape, JacobianIsTheNonlinearBlockInColumnOrder) {
  const NonlinearShape s = NonlinearShape::fromProblem(testProblem(3.0));
  EXPECT_EQ(s.nNonlinObjVars, 3);
  EXPECT_EQ(s.nNonlinCons(), 2);
  EXPECT_EQ(s.nNonlinJacVars(), 3);
  EXPECT_EQ(s.jacobian.colStart, (std::vector<int32_t>{0, 2, 3, 4}));
  EXPECT_EQ(s.jacobian.row, (std::vector<int32_t>{0, 1, 1, 0}));
  EXPECT_EQ(s.jacobian.position, (std::vector<int32_t>{0, 1, 4, 6}));
  EXPECT_EQ(s.storedJacobian, (std::vector<double>{0.5, 0.25, 0.75, 3.0}));

  // Without nonlinear rows there are no Jacobian variables, whatever the count says.
  Problem p = testProblem();
  p.nNonlinCons = 0;
  const NonlinearShape none = NonlinearShape::fromProblem(p);
  EXPECT_EQ(none.nNonlinJacVars(), 0);
  EXPECT_EQ(none.nJacElements(), 0);
  EXPECT_EQ(none.nNonlinVars(), 3);
}

TEST_F(EvaluatorTest, ObjectiveWithoutGradientsLowersTheLevelAndIsDifferencedFromThenOn) {
  fun.objSets = {false, false, false};
  make();
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  EXPECT_EQ(p.derivativeLevel, 2);
  for (const auto& lines : {print(), summary()}) {
    EXPECT_TRUE(hasLine(lines, " funobj  sets       0 out of       3 objective  gradients."));
    EXPECT_TRUE(hasLine(lines, " Derivative Level  now reduced to  2"));
  }
  const std::vector<double> exact = gradientAt(x.data());
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(g[j], exact[j], 1e-5 * (std::fabs(exact[j]) + 1.0));
  EXPECT_EQ(fun.objModes.front(), 2);

  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  const FunctionCallCounts& c = ev->objectiveCounts();
  EXPECT_EQ(c.calls, 8);
  EXPECT_EQ(c.mode2, 2);
  EXPECT_EQ(c.forward, 6);
  EXPECT_EQ(c.central, 0);
  EXPECT_EQ(fun.objNstates, (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(linesContaining(print(), "funobj  sets"), 1);
}

TEST_F(EvaluatorTest, ObjectiveWithAllGradientsKeepsTheLevelAndIsNeverDifferenced) {
  make();
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  EXPECT_EQ(p.derivativeLevel, 3);
  EXPECT_TRUE(hasLine(print(), " funobj  sets       3 out of       3 objective  gradients."));
  EXPECT_EQ(linesContaining(print(), "Derivative Level"), 0);
  EXPECT_EQ(fx, objectiveAt(x.data()));
  EXPECT_EQ(g, gradientAt(x.data()));
  EXPECT_EQ(ev->objectiveCounts().calls, 2);
  EXPECT_EQ(ev->objectiveCounts().forward, 0);
}

TEST_F(EvaluatorTest, LevelsWithoutObjectiveGradientsAreNotLoweredFurther) {
  fun.objSets = {true, false, true};
  p.derivativeLevel = 1;
  make();
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  EXPECT_EQ(p.derivativeLevel, 0);
  EXPECT_TRUE(hasLine(print(), " funobj  sets       2 out of       3 objective  gradients."));
  // Level 0 declares no gradient known: the two the routine sets are differenced too.
  EXPECT_EQ(ev->objectiveCounts().forward, 3);
  const std::vector<double> exact = gradientAt(x.data());
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(g[j], exact[j], 1e-5 * (std::fabs(exact[j]) + 1.0));

  Parameters q = testParameters();
  q.derivativeLevel = 2;
  TestFunctions none;
  none.objSets = {false, false, false};
  FunctionEvaluator other(q, report.out, nullptr, &none, NonlinearShape::fromProblem(testProblem()));
  ASSERT_EQ(other.objectiveAndGradient(x.data(), fx, g.data()), 0);
  EXPECT_EQ(q.derivativeLevel, 2);
}

TEST_F(EvaluatorTest, FirstCallAsksForDerivativesEvenWhenValuesAreWanted) {
  make();
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveValue(x.data(), fx), 0);
  ASSERT_EQ(ev->objectiveValue(x.data(), fx), 0);
  EXPECT_EQ(fun.objModes, (std::vector<int>{2, 0}));
  EXPECT_EQ(p.derivativeLevel, 3);
  EXPECT_EQ(ev->objectiveCounts().mode2, 1);
}

TEST_F(EvaluatorTest, PartialJacobianAtLevel3KeepsTheStoredConstant) {
  fun.conSets = {true, true, true, false};
  make(5.0);  // a stored value unlike the true derivative 3 shows where the element came from
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  for (const auto& lines : {print(), summary()})
    EXPECT_TRUE(hasLine(lines, " funcon  sets       3 out of       4 constraint gradients."));
  std::vector<double> expected = jacobianAt(x.data());
  expected[3] = 5.0;
  EXPECT_EQ(jac, expected);
  EXPECT_EQ(f, constraintsAt(x.data()));
  // The first call, then the second one with the constant in place; no differences.
  const FunctionCallCounts& c = ev->constraintCounts();
  EXPECT_EQ(c.calls, 2);
  EXPECT_EQ(c.mode2, 2);
  EXPECT_EQ(c.forward, 0);
  EXPECT_EQ(fun.conNstates, (std::vector<int>{1, 0}));

  x[0] = 0.4;
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  expected = jacobianAt(x.data());
  expected[3] = 5.0;
  EXPECT_EQ(jac, expected);
  EXPECT_EQ(c.calls, 3);
  EXPECT_EQ(linesContaining(print(), "funcon  sets"), 1);
}

// Below level 2 the Jacobian is declared unknown: every column is differenced, the elements the
// routine sets and the stored constant alike.
TEST_F(EvaluatorTest, JacobianBelowLevel2IsDifferencedColumnByColumn) {
  fun.conSets = {true, true, true, false};
  p.derivativeLevel = 1;
  make(5.0);
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  const std::vector<double> exact = jacobianAt(x.data());
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(jac[k], exact[k], 1e-6 * (std::fabs(exact[k]) + 1.0)) << k;
  EXPECT_EQ(p.derivativeLevel, 1);  // the constraint inventory never changes the level
  // One call per column; the last one moves x3 alone.
  EXPECT_EQ(ev->constraintCounts().forward, 3);
  EXPECT_EQ(fun.conPoints.back()[0], x[0]);
  EXPECT_GT(fun.conPoints.back()[2], x[2]);
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  EXPECT_EQ(ev->constraintCounts().forward, 6);
}

TEST_F(EvaluatorTest, ModeBelowMinusOneStopsTheRunNamingTheRoutine) {
  fun.objModeAt = 1;
  fun.objMode = -2;
  make();
  double fx = 0.0;
  EXPECT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), kFunctionError);
  for (const auto& lines : {print(), summary()}) {
    EXPECT_TRUE(hasLine(lines, " EXIT -- Termination requested by User"));
    EXPECT_TRUE(hasLine(lines, " in subroutine funobj after 1 calls"));
  }

  fun.conModeAt = 2;
  fun.conMode = -5;
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  EXPECT_EQ(ev->constraintValues(x.data(), f.data()), kFunctionError);
  EXPECT_TRUE(hasLine(print(), " in subroutine funcon after 2 calls"));
}

TEST_F(EvaluatorTest, UndefinedAndNonFiniteValuesAreUndefinedPoints) {
  fun.objModeAt = 2;
  fun.objMode = -1;
  fun.objNanAt = 3;
  fun.objInfGradientAt = 4;
  fun.conNanAt = 1;
  make();
  double fx = 0.0;
  EXPECT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  EXPECT_EQ(ev->objectiveValue(x.data(), fx), kFunctionUndefined);
  EXPECT_EQ(ev->objectiveValue(x.data(), fx), kFunctionUndefined);
  EXPECT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), kFunctionUndefined);
  EXPECT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  EXPECT_EQ(linesContaining(print(), "EXIT"), 0);

  // A first call that fails leaves the inventory to the first call that succeeds, while the
  // routine still sees nstate = 1 only once.
  EXPECT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), kFunctionUndefined);
  EXPECT_EQ(linesContaining(print(), "funcon  sets"), 0);
  EXPECT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  EXPECT_EQ(linesContaining(print(), "funcon  sets"), 1);
  EXPECT_EQ(fun.conNstates, (std::vector<int>{1, 0}));
  EXPECT_EQ(fun.conModes, (std::vector<int>{2, 2}));
}

// The bounds are the functions' domain: once they are given, every point the routines see is
// projected onto them, however far out it lies, and the caller's point is left alone.
TEST_F(EvaluatorTest, PointsBeyondABoundAreEvaluatedOnTheBound) {
  fun.undefinedBelow = 0.0;
  make();
  const std::vector<double> lower{0.0, -1e20, -1e20}, upper{1e20, 1e20, 1e20};
  x[0] = -1e-7;
  double fx = 0.0;
  EXPECT_EQ(ev->objectiveValue(x.data(), fx), kFunctionUndefined);  // no bounds given yet

  ev->setVariableBounds(lower.data(), upper.data());
  std::vector<double> onBound = x;
  onBound[0] = 0.0;
  for (const double outside : {-1e-7, -1e-5, -3.0}) {
    SCOPED_TRACE(outside);
    x[0] = outside;
    ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
    EXPECT_EQ(fx, objectiveAt(onBound.data()));
    EXPECT_EQ(g, gradientAt(onBound.data()));
    EXPECT_EQ(fun.objPoints.back()[0], 0.0);
    EXPECT_EQ(x[0], outside);  // the caller's point is not touched
    ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
    EXPECT_EQ(fun.conPoints.back()[0], 0.0);
    ASSERT_EQ(ev->objectiveValue(x.data(), fx), 0);
    ASSERT_EQ(ev->constraintValues(x.data(), f.data()), 0);
  }
  for (const auto* points : {&fun.objPoints, &fun.conPoints})
    for (size_t k = 1; k < points->size(); ++k) EXPECT_GE((*points)[k][0], 0.0);
}

// Differences at a bound step into the bounds: backward at an upper bound, forward at a lower
// one, and central differences become one-sided where one side has no room.
TEST_F(EvaluatorTest, DifferencesNeverStepOutsideTheBounds) {
  p.derivativeLevel = 0;
  fun.undefinedBelow = 0.0;
  fun.objSets.assign(3, false);
  fun.conSets.assign(4, false);
  make();
  const std::vector<double> lower{0.0, -1e20, -1e20}, upper{1e20, 1e20, 2.0};
  ev->setVariableBounds(lower.data(), upper.data());
  x[0] = 0.0;
  x[2] = 2.0;
  for (const int choice : {FunctionEvaluator::kForward, FunctionEvaluator::kCentral}) {
    SCOPED_TRACE(choice);
    ev->setDifferenceChoice(choice);
    fun.objPoints.clear();
    fun.conPoints.clear();
    double fx = 0.0;
    ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
    ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
    for (const auto* points : {&fun.objPoints, &fun.conPoints})
      for (const std::vector<double>& point : *points) {
        EXPECT_GE(point[0], 0.0);
        if (point.size() > 2) {
          EXPECT_LE(point[2], 2.0);
        }
      }
    const std::vector<double> exact = gradientAt(x.data()), exactJac = jacobianAt(x.data());
    for (size_t j = 0; j < exact.size(); ++j) EXPECT_NEAR(g[j], exact[j], 1e-4 * (1.0 + std::fabs(exact[j])));
    for (size_t k = 0; k < exactJac.size(); ++k)
      EXPECT_NEAR(jac[k], exactJac[k], 1e-4 * (1.0 + std::fabs(exactJac[k])));
  }
}

TEST_F(EvaluatorTest, LastCallsCarryTheExitCodeWithScalingOff) {
  p.scaleOption = 2;
  make();
  ev->setScales(std::vector<double>{2.0, 2.0, 2.0}, std::vector<double>{4.0, 4.0});
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  EXPECT_EQ(fun.objPoints.back()[0], 2.0 * x[0]);

  EXPECT_EQ(ev->callAtEnd(x.data(), 3), 0);
  EXPECT_EQ(fun.objNstates.back(), 5);
  EXPECT_EQ(fun.conNstates.back(), 5);
  EXPECT_EQ(fun.objPoints.back(), std::vector<double>(x.begin(), x.begin() + 3));
  EXPECT_EQ(fun.conPoints.back(), std::vector<double>(x.begin(), x.begin() + 3));
  for (const auto& lines : {print(), summary()}) {
    EXPECT_TRUE(hasLine(lines, " funobj called with nstate =   5"));
    EXPECT_TRUE(hasLine(lines, " funcon called with nstate =   5"));
  }
  ASSERT_EQ(ev->objectiveValue(x.data(), fx), 0);
  EXPECT_EQ(fun.objNstates.back(), 0);
  EXPECT_EQ(fun.objPoints.back()[0], 2.0 * x[0]);  // scaling is back

  fun.conModeAt = static_cast<int>(fun.conNstates.size()) + 1;
  fun.conMode = -2;
  EXPECT_EQ(ev->callAtEnd(x.data(), 0), kFunctionError);
  EXPECT_EQ(fun.objNstates.back(), 2);  // the objective routine still gets its last call
}

TEST_F(EvaluatorTest, FunctionTimersRunAboveTimingLevel1) {
  Timers timers;
  timers.setEnabled(true);
  p.timingLevel = 2;
  make(3.0, &timers);
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveAndGradient(x.data(), fx, g.data()), 0);
  ASSERT_EQ(ev->constraintsAndJacobian(x.data(), f.data(), jac.data()), 0);
  EXPECT_EQ(timers.intervals(Timers::kObjective), 1);
  EXPECT_EQ(timers.intervals(Timers::kConstraints), 1);
  p.timingLevel = 1;
  ASSERT_EQ(ev->objectiveValue(x.data(), fx), 0);
  EXPECT_EQ(timers.intervals(Timers::kObjective), 1);
}

TEST(FunctionEvaluator, InconsistentSetUpIsRefused) {
  Parameters p = testParameters();
  ReportCapture report;
  NonlinearShape shape = NonlinearShape::fromProblem(testProblem());
  EXPECT_THROW(FunctionEvaluator(p, report.out, nullptr, nullptr, shape), std::invalid_argument);
  TestFunctions fun;
  NonlinearShape bad = shape;
  bad.jacobian.row[2] = 7;
  EXPECT_THROW(FunctionEvaluator(p, report.out, nullptr, &fun, bad), std::invalid_argument);
  FunctionEvaluator ev(p, report.out, nullptr, &fun, shape);
  EXPECT_THROW(ev.setScales(std::vector<double>{1.0, 1.0}, std::vector<double>{1.0, 1.0}), std::invalid_argument);
  EXPECT_THROW(ev.setScales(std::vector<double>{1.0, 0.0, 1.0}, std::vector<double>{1.0, 1.0}), std::invalid_argument);
  // A purely linear problem needs no routines and evaluates nothing.
  Problem linear = testProblem();
  linear.nNonlinCons = linear.nNonlinObjVars = linear.nNonlinJacVars = 0;
  FunctionEvaluator none(p, report.out, nullptr, nullptr, NonlinearShape::fromProblem(linear));
  double fx = 1.0;
  EXPECT_EQ(none.objectiveValue(nullptr, fx), 0);
  EXPECT_EQ(fx, 0.0);
  EXPECT_EQ(none.callAtEnd(nullptr, 0), 0);
}

}  // namespace
}  // namespace kavro::testing
