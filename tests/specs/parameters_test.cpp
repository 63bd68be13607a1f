// Reset and completion of the parameter block.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "io/units.hpp"
#include "specs/parameters.hpp"
#include "specs/specs.hpp"

namespace kavro {
namespace {

const ReportChannels kNoReports{};

struct Problem {
  int32_t rows = 50, columns = 100, elements = 300;
  int32_t nonlinCons = 0, jacVars = 0, objVars = 0;
};

// A block as the solver entry completes it: options first, then the problem's sizes.
Parameters completed(const Problem& pr, const std::vector<std::string>& options = {}) {
  Parameters p;
  setParameters(p, 1, kNoReports);
  for (const auto& line : options) {
    int errors = 0;
    setSpecsLine(p, line, kNoReports, errors);
    EXPECT_EQ(errors, 0) << line;
  }
  p.rowLimit = pr.rows;
  p.columnLimit = pr.columns;
  p.elementsLimit = pr.elements;
  p.nonlinearConstraints = pr.nonlinCons;
  p.nonlinearJacobianVars = pr.jacVars;
  p.nonlinearObjectiveVars = pr.objVars;
  setParameters(p, 2, kNoReports);
  return p;
}

const Problem kLinear{};
const Problem kUnconstrained{50, 100, 300, 0, 0, 20};
const Problem kConstrained{50, 100, 300, 10, 20, 20};
const Problem kLargeNonlinear{500, 1000, 3000, 0, 0, 20};

TEST(Completion, LinearDefaults) {
  const Parameters p = completed(kLinear);
  const MachineConstants mc;
  EXPECT_EQ(p.scaleOption, 2);
  EXPECT_EQ(p.partialPrice, 10);
  EXPECT_EQ(p.factorizeBasis, 100);
  EXPECT_EQ(p.luFactorTolerance, 100.0);
  EXPECT_EQ(p.luUpdateTolerance, 10.0);
  EXPECT_EQ(p.superbasicsLimit, 1);
  EXPECT_EQ(p.hessianDimension, 0);
  EXPECT_EQ(p.iterationLimit, 150);
  EXPECT_EQ(p.minorIterationsLimit, 150);
  EXPECT_EQ(p.completion, 1);
  EXPECT_EQ(p.logFrequency, 100);
  EXPECT_EQ(p.checkRowError, 60);
  EXPECT_EQ(p.expandFrequency, 10000);
  EXPECT_EQ(p.feasibilityTolerance, 1.0e-6);
  EXPECT_EQ(p.optimalityTolerance, 1.0e-6);
  EXPECT_EQ(p.functionPrecision, mc.eps0);
  EXPECT_EQ(p.pivotTolerance, mc.eps1);
  EXPECT_EQ(p.luSingularityTol, mc.eps1);
  EXPECT_EQ(p.luSingularityTol2, mc.eps1);
  EXPECT_EQ(p.luSwapTolerance, mc.eps4);
  EXPECT_EQ(p.differenceInterval, std::sqrt(mc.eps0));
  EXPECT_EQ(p.centralDifferenceInterval, std::pow(mc.eps0, 0.333333));
  EXPECT_EQ(p.crashTolerance, 0.1);
  EXPECT_EQ(p.scaleTolerance, 0.9);
  EXPECT_EQ(p.subspaceTolerance, 0.5);
  EXPECT_EQ(p.linesearchTolerance, 0.1);
  EXPECT_EQ(p.penaltyParameter, 1.0);
  EXPECT_EQ(p.currentPenalty, 1.0);
  EXPECT_EQ(p.unboundedObjectiveValue, 1.0e20);
  EXPECT_EQ(p.unboundedStepSize, 1.0e10);
  EXPECT_EQ(p.radiusOfConvergence, 0.1);
  EXPECT_EQ(p.rowTolerance, 1.0e-6);
  EXPECT_EQ(p.luDensity, 0.5);
  EXPECT_EQ(p.weightOnObjective, 0.0);
  EXPECT_EQ(p.majorDampingParameter, 2.0);
  EXPECT_EQ(p.minorDampingParameter, 2.0);
  EXPECT_EQ(p.startObjectiveCheck, 1);
  EXPECT_EQ(p.stopObjectiveCheck, 0);
  EXPECT_EQ(p.sensePrintText, "Min ");
}

TEST(Completion, NonlinearDefaults) {
  for (const Problem& pr : {kUnconstrained, kConstrained}) {
    const Parameters p = completed(pr);
    EXPECT_EQ(p.superbasicsLimit, 50);
    EXPECT_EQ(p.hessianDimension, 50);
    EXPECT_EQ(p.scaleOption, 1);
    EXPECT_EQ(p.partialPrice, 1);
    EXPECT_EQ(p.factorizeBasis, 50);
    EXPECT_EQ(p.luFactorTolerance, 5.0);
    EXPECT_EQ(p.luUpdateTolerance, 5.0);
    EXPECT_EQ(p.iterationLimit, 150 + 200);
    EXPECT_EQ(p.stopObjectiveCheck, 20);
  }
  const Parameters c = completed(kConstrained);
  EXPECT_EQ(c.completion, 0);
  EXPECT_EQ(c.minorIterationsLimit, 40);
  EXPECT_EQ(c.stopConstraintCheck, 20);
  EXPECT_EQ(completed(kUnconstrained).completion, 1);
}

// Superbasics limit and Hessian dimension after completion, for the options given.
TEST(Completion, SuperbasicsAndHessianRules) {
  struct Case {
    Problem problem;
    std::vector<std::string> options;
    int32_t superbasics, hessian;
  } cases[] = {
      {kLargeNonlinear, {"SUPERBASICS LIMIT 200"}, 200, 200},
      {kLargeNonlinear, {"HESSIAN DIMENSION 30"}, 30, 30},
      {kLargeNonlinear, {"HESSIAN DIMENSION 80", "SUPERBASICS LIMIT 20"}, 80, 80},
      {kLargeNonlinear, {"HESSIAN DIMENSION 10", "SUPERBASICS LIMIT 20"}, 20, 10},
      {kLargeNonlinear, {"HESSIAN DIMENSION 0"}, 50, 0},
      {kLargeNonlinear, {"SUPERBASICS LIMIT 0"}, 50, 50},
      {kLargeNonlinear, {"HESSIAN DIMENSION 0", "SUPERBASICS LIMIT 0"}, 1, 0},
      {kLargeNonlinear, {"HESSIAN DIMENSION 7", "SUPERBASICS LIMIT 0"}, 7, 7},
      {kLargeNonlinear, {"SUPERBASICS LIMIT 5", "HESSIAN DIMENSION -3"}, 5, 5},
      {{60000, 10000, 1, 0, 0, 5}, {"HESSIAN DIMENSION 40000"}, 40000, 32768},
      {{10, 20, 50, 0, 0, 5}, {}, 31, 31},
      {{10, 20, 50, 0, 0, 5}, {"HESSIAN 200", "SUPERBASICS 300"}, 31, 31},
      {kLinear, {"SUPERBASICS LIMIT 40"}, 40, 0},
      {kLinear, {"HESSIAN DIMENSION 30"}, 30, 30},
      {kLinear, {"SUPERBASICS LIMIT -5", "HESSIAN DIMENSION -5"}, 1, 0},
  };
  for (const Case& c : cases) {
    const Parameters p = completed(c.problem, c.options);
    SCOPED_TRACE(c.options.empty() ? std::string("(none)") : c.options.front());
    EXPECT_EQ(p.superbasicsLimit, c.superbasics);
    EXPECT_EQ(p.hessianDimension, c.hessian);
  }
}

// One parameter after completion of a linear problem with one option line.
TEST(Completion, RangeRepairsAndConsistency) {
  using Get = std::function<double(const Parameters&)>;
  struct Case {
    std::vector<std::string> options;
    Get get;
    double expected;
  } cases[] = {
      {{"LOG FREQUENCY 0"}, [](auto& p) { return p.logFrequency; }, 99999999},
      {{"CHECK FREQUENCY -4"}, [](auto& p) { return p.checkRowError; }, 99999999},
      {{"SAVE FREQUENCY 0"}, [](auto& p) { return p.saveNewBasisMap; }, 99999999},
      {{"SUMMARY FREQUENCY 0"}, [](auto& p) { return p.summaryFrequency; }, 99999999},
      {{"EXPAND FREQUENCY 0"}, [](auto& p) { return p.expandFrequency; }, 99999999},
      {{"FACTORIZATION FREQUENCY 0"}, [](auto& p) { return p.factorizeBasis; }, 100},
      {{"CRASH TOLERANCE 1.0"}, [](auto& p) { return p.crashTolerance; }, 0.1},
      {{"CRASH TOLERANCE 0"}, [](auto& p) { return p.crashTolerance; }, 0.0},
      {{"SUBSPACE TOLERANCE 1.0"}, [](auto& p) { return p.subspaceTolerance; }, 1.0},
      {{"SUBSPACE TOLERANCE 1.5"}, [](auto& p) { return p.subspaceTolerance; }, 0.5},
      {{"LINESEARCH TOLERANCE 1.0"}, [](auto& p) { return p.linesearchTolerance; }, 1.0},
      {{"LINESEARCH TOLERANCE 0"}, [](auto& p) { return p.linesearchTolerance; }, 0.0},
      {{"PENALTY PARAMETER 0"}, [](auto& p) { return p.penaltyParameter; }, 0.0},
      {{"PENALTY PARAMETER 0"}, [](auto& p) { return p.currentPenalty; }, 0.0},
      {{"RPARM 7 3.5"}, [](auto& p) { return p.currentPenalty; }, 1.0},
      {{"WEIGHT ON OBJECTIVE -1"}, [](auto& p) { return p.weightOnObjective; }, 0.0},
      {{"LU FACTOR TOLERANCE 0.5"}, [](auto& p) { return p.luFactorTolerance; }, 100.0},
      {{"LU UPDATE TOLERANCE 1.0"}, [](auto& p) { return p.luUpdateTolerance; }, 1.0},
      {{"RADIUS OF CONVERGENCE 1E-9"}, [](auto& p) { return p.radiusOfConvergence; }, 0.1},
      {{"ROWS TOLERANCE 1E-17"}, [](auto& p) { return p.rowTolerance; }, 1.0e-6},
      {{"UPPER BOUND 5", "LOWER BOUND 10"}, [](auto& p) { return p.lowerBoundDefault; }, 5.0},
      {{"UPPER BOUND 5", "LOWER BOUND 10"}, [](auto& p) { return p.upperBoundDefault; }, 10.0},
      {{"FUNCTION PRECISION 1E-10"}, [](auto& p) { return p.optimalityTolerance; }, 1.0e-5},
      {{"FUNCTION PRECISION 1E-10"}, [](auto& p) { return p.differenceInterval; }, 1.0e-5},
      {{"NEW BASIS FILE 12", "BACKUP BASIS FILE 12"}, [](auto& p) { return p.backupBasisFile; }, 0},
      {{"NEW BASIS FILE 12", "BACKUP BASIS FILE 13"}, [](auto& p) { return p.backupBasisFile; }, 13},
      {{"MAXIMIZE"}, [](auto& p) { return p.sensePrintText == "Max " ? 1 : 0; }, 1},
      // An undefined Minor iterations limit (negative) becomes the Iteration limit; a negative
      // value given in a line is refused by the decoder.
      {{"ITERATIONS 7"}, [](auto& p) { return p.minorIterationsLimit; }, 7},
      {{"START CHECKS OF OBJECTIVE 4"}, [](auto& p) { return p.startObjectiveCheck; }, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options.back());
    EXPECT_DOUBLE_EQ(c.get(completed(kLinear, c.options)), c.expected);
  }
}

TEST(Completion, NonlinearConstraintsWithoutJacobianVariablesVanish) {
  const Parameters p = completed({50, 100, 300, 5, 0, 0});
  EXPECT_EQ(p.nonlinearConstraints, 0);
  EXPECT_EQ(p.completion, 1);
  const Parameters q = completed({50, 100, 300, 0, 4, 0});
  EXPECT_EQ(q.nonlinearJacobianVars, 0);
  EXPECT_EQ(q.hessianDimension, 0);
}

TEST(Completion, DimensionDefaultsFollowEachOther) {
  const Parameters p = completed({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(p.rowLimit, 100);
  EXPECT_EQ(p.columnLimit, 300);
  EXPECT_EQ(p.elementsLimit, 1500);
  EXPECT_EQ(p.iterationLimit, 300);
}

TEST(Completion, HugeSizesSaturateInsteadOfOverflowing) {
  const Parameters p = completed({2000000000, 0, 0, 0, 0, 0});
  EXPECT_EQ(p.columnLimit, 2147483647);
  EXPECT_EQ(p.elementsLimit, 2147483647);
  EXPECT_EQ(p.iterationLimit, 2147483647);
}

TEST(Completion, PrintAndSummaryFlags) {
  struct Case {
    int32_t printFile, summaryFile, printLevel, summaryLevel;
    bool printBrief, printDetailed, summaryBrief, summaryDetailed;
  } cases[] = {
      {9, 6, 0, 0, true, false, true, false},     {9, 6, 1, 2, false, true, false, true},
      {0, 6, 1, 0, false, false, true, false},    {9, 0, 0, 1, true, false, false, false},
      {9, 6, -1, -1, false, false, false, false},
  };
  for (const Case& c : cases) {
    Parameters p;
    p.printFile = c.printFile;
    p.summaryFile = c.summaryFile;
    int errors = 0;
    setSpecsInteger(p, "PRINT LEVEL", c.printLevel, kNoReports, errors);
    setSpecsInteger(p, "SUMMARY LEVEL", c.summaryLevel, kNoReports, errors);
    setParameters(p, 2, kNoReports);
    EXPECT_EQ(p.printBrief, c.printBrief);
    EXPECT_EQ(p.printDetailed, c.printDetailed);
    EXPECT_EQ(p.summaryBrief, c.summaryBrief);
    EXPECT_EQ(p.summaryDetailed, c.summaryDetailed);
  }
}

TEST(Reset, RestoresDefaultsAndKeepsWhatTheCallerOwns) {
  Parameters p;
  p.machine.eps = 1.0e-10;
  p.printFile = 9;
  p.summaryFile = 6;
  p.specsFile = 4;
  p.workspaceTotal = 123456;
  p.iterationLimit = 77;
  p.rparmExtra[20] = 4.0;
  p.objectiveName = "COST    ";
  p.rowCheckTolerance = 0.5;
  setParameters(p, 1, kNoReports);
  EXPECT_EQ(p.machine.eps, 1.0e-10);
  EXPECT_EQ(p.printFile, 9);
  EXPECT_EQ(p.summaryFile, 6);
  EXPECT_EQ(p.specsFile, 4);
  EXPECT_EQ(p.workspaceTotal, 123456);
  EXPECT_EQ(p.iterationLimit, kUndefinedInt);
  EXPECT_EQ(p.rparmExtra[20], 0.0);
  EXPECT_EQ(p.objectiveName, "        ");
  EXPECT_EQ(p.rowCheckTolerance, 1.0e-4);
}

TEST(InternalValues, SetByEveryMode) {
  for (int mode : {0, 1, 2, 7}) {
    Parameters p;
    p.smallTolerance = p.milliTolerance = p.hundredth = p.tenth = p.rootEps = 0.0;
    setParameters(p, mode, kNoReports);
    EXPECT_EQ(p.smallTolerance, 1.0e-6);
    EXPECT_EQ(p.smallToleranceSquared, 1.0e-12);
    EXPECT_EQ(p.milliTolerance, 1.0e-3);
    EXPECT_EQ(p.hundredth, 0.010000000000000002);
    EXPECT_EQ(p.tenth, 0.1);
    EXPECT_EQ(p.rootEps, 1.4901161193847656e-08);
  }
}

}  // namespace
}  // namespace kavro
