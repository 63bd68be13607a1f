// Solution return: the exit table, basis statuses and condition flags, and the records,
// warning and statistics written to the host for synthetic solver results.

#include "link/solution_return.hpp"
#include "driver/optimizer_impl.hpp"
#include "files/variable_class.hpp"
#include "link/model_transfer.hpp"
#include "link_test_support.hpp"

namespace kavro::link::test {
namespace {

TEST(ExitTable, EveryRow) {
  struct Case {
    int32_t exitCode;
    int32_t modelType;
    bool nonlinear;
    int32_t evaluationErrors;
    std::vector<std::string> lines;
    int32_t ms, ss;
    bool write;
  };
  const std::string optimal = " EXIT - Optimal Solution found, objective: -12.5";
  const std::string improve = " EXIT - The current point cannot be improved.";
  const std::string systems = " EXIT - Systems error.";
  const std::string storage = " EXIT - Not enough storage to solve the model.";
  const std::vector<Case> cases = {
      {0, 1, false, 0, {optimal}, 1, 1, true},
      {0, 2, true, 0, {optimal}, 2, 1, true},
      {0, 8, false, 0, {optimal}, 16, 1, true},
      {1, 1, false, 0, {" EXIT - The problem is infeasible."}, 4, 1, true},
      {1, 2, true, 0, {" EXIT - The problem is infeasible."}, 5, 1, true},
      {2, 1, false, 0, {" EXIT - The problem is unbounded (or badly scaled)."}, 3, 1, false},
      {3, 1, false, 0, {" EXIT - Too many iterations."}, -1, 2, true},
      {4, 1, false, 0, {" EXIT - The objective has not changed in many iterations."}, -1, 4, true},
      {5, 1, false, 0, {" EXIT - The Superbasics Limit is too small."}, -1, 4, false},
      {6, 2, true, 3, {" EXIT - Constraint and objective values could not be calculated."}, -1, 4, true},
      {6, 2, true, 4, {" EXIT - Function evaluation error limit exceeded."}, -1, 5, true},
      {9, 1, false, 0, {improve}, -1, 4, true},
      {12, 1, false, 0, {improve}, -1, 4, true},
      {13, 1, false, 0, {improve}, -1, 4, true},
      {10,
       1,
       false,
       0,
       {" EXIT - Numerical error in trying to satisfy the linear constraints",
        "        (or the linearized constraints). The basis is very ill-conditioned."},
       -1,
       4,
       false},
      // A run stopped by the clock or the user returns the point it reached.
      {18, 1, false, 0, {" EXIT - Time limit reached."}, -1, 3, true},
      {19, 1, false, 0, {" EXIT - Terminated by user."}, -1, 8, true},
      {20, 1, false, 0, {storage}, 13, 9, false},
      {45, 1, false, 0, {storage}, 13, 9, false},
      {42, 1, false, 0, {storage, "        Request at least     8.40 Mbytes."}, 13, 9, false},
      {7, 1, false, 0, {systems}, -1, 4, false},
      {11, 1, false, 0, {systems}, -1, 4, false},
      {22, 1, false, 0, {systems}, -1, 4, false},
      {43, 1, false, 0, {systems}, -1, 4, false},
  };
  for (const Case& c : cases) {
    ExitFacts f;
    f.exitCode = static_cast<ExitCode>(c.exitCode);
    f.objValue = -12.5;
    f.minWorkWords = 1000000;
    f.domainErrorLimit = 3;
    f.evaluationErrors = c.evaluationErrors;
    f.modelType = c.modelType;
    f.nonlinear = f.nonlinearRows = c.nonlinear;
    const ExitReport r = exitReport(f);
    EXPECT_EQ(r.lines, c.lines) << c.exitCode;
    EXPECT_EQ(r.modelStatus, c.ms) << c.exitCode;
    EXPECT_EQ(r.solveStatus, c.ss) << c.exitCode;
    EXPECT_EQ(r.writeRecords, c.write) << c.exitCode;
  }
}

TEST(ExitTable, RequestIsRoundedUpAtTheSecondDecimal) {
  ExitFacts f;
  f.exitCode = kWorkspaceTooSmall;
  f.minWorkWords = 125000;  // 1.049 Mbytes with the margin
  EXPECT_EQ(exitReport(f).lines[1], "        Request at least     1.05 Mbytes.");
}

TEST(StatusMapping, BasisStatusAndCondition) {
  EXPECT_EQ(hostBasisStatus(kReportLower, 1.0, false), 0);
  EXPECT_EQ(hostBasisStatus(kReportUpper, -1.0, false), 1);
  EXPECT_EQ(hostBasisStatus(kReportBasic, 5.0, false), 2);
  EXPECT_EQ(hostBasisStatus(kReportSuperbasic, 0.0, false), 3);
  EXPECT_EQ(hostBasisStatus(kReportBetween, 0.0, false), 3);
  EXPECT_EQ(hostBasisStatus(kReportFixed, 0.0, false), 1);
  EXPECT_EQ(hostBasisStatus(kReportFixed, -2.0, false), 1);
  EXPECT_EQ(hostBasisStatus(kReportFixed, 2.0, false), 0);
  EXPECT_EQ(hostBasisStatus(kReportFixed, 0.0, true), 1);
  EXPECT_EQ(hostBasisStatus(kReportFixed, 2.0, true), 1);
  EXPECT_EQ(hostBasisStatus(kReportFixed, -2.0, true), 0);
  EXPECT_EQ(hostCondition(kFlagInfeasible, kOptimal), 2);
  EXPECT_EQ(hostCondition(kFlagNonOptimal, kTooManyIterations), 1);
  EXPECT_EQ(hostCondition(kFlagNonOptimal, kOptimal), 0);
  EXPECT_EQ(hostCondition(kFlagDegenerate, kTooManyIterations), 0);
  EXPECT_EQ(hostCondition(kFlagAlternative, kTooManyIterations), 0);
}

// The small LP of HostTest plus a fixed column, transferred; the test then plays the solver.
class SolutionReturn : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    buildLp();
    model.var("fx", 2.0, 2.0, 2.0);
    qevTestClockSet(env.handle(), 2.5);
    ASSERT_TRUE(ready());
    ASSERT_TRUE(transferModel(ctx, t));
    Parameters& p = internalsOf(*ctx.optimizer).params;
    p.feasibilityTolerance = 1.0e-6;
    p.optimalityTolerance = 1.0e-6;
    // Columns x0 (basic), x1 (at lower), fx (fixed); slacks of l, g, e (basic, basic, fixed)
    // and the objective row (basic).
    t.state.x = {3.0, 0.0, 2.0, -3.0, -3.0, -3.0, 3.0};
    t.state.hs = {3, 0, 0, 3, 3, 0, 3};
    t.state.reducedCost = {0.0, 0.5, 0.0, 0.0, 0.0, 1.5, 0.0};
    result.exitCode = kOptimal;
    result.objValue = -3.0;
    result.minorIterations = 7;
    markLog();
  }
  struct Rec {
    double level = 0, marginal = 0;
    int basis = -1, condition = -1;
    bool operator==(const Rec&) const = default;
  };
  Rec var(int j) {
    Rec r;
    qmoResultVar(model.handle(), j, &r.level, &r.marginal, &r.basis, &r.condition);
    return r;
  }
  Rec equ(int i) {
    Rec r;
    qmoResultEqu(model.handle(), i, &r.level, &r.marginal, &r.basis, &r.condition);
    return r;
  }
  TransferredModel t;
  SolveResult result;
};

TEST_F(SolutionReturn, OptimalRecordsAndStatistics) {
  returnSolution(ctx, t, result);
  EXPECT_FALSE(errorPending(ctx));
  EXPECT_EQ(newLog(), "\n EXIT - Optimal Solution found, objective: -3\n");
  EXPECT_EQ(modelStatus(), 1);
  EXPECT_EQ(solveStatus(), 1);
  EXPECT_EQ(var(0), (Rec{3.0, 0.0, 2, 0}));
  EXPECT_EQ(var(1), (Rec{0.0, 0.5, 0, 0}));
  EXPECT_EQ(var(2), (Rec{2.0, 0.0, 1, 0}));   // fixed with marginal 0: upper for minimization
  EXPECT_EQ(equ(0), (Rec{3.0, 0.0, 2, 0}));   // l
  EXPECT_EQ(equ(1), (Rec{3.0, 0.0, 2, 0}));   // g
  EXPECT_EQ(equ(3), (Rec{3.0, -1.5, 1, 0}));  // e (host row 3; the free host row 2 was dropped)
  EXPECT_NE(qmoResultEqu(model.handle(), 2, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(qmoHeadnTail(model.handle(), qmoHiterused), 7.0);
  EXPECT_EQ(qmoHeadnTail(model.handle(), qmoHresused), 2.5);
  EXPECT_EQ(qmoHeadnTail(model.handle(), qmoHobjval), -3.0);
  EXPECT_EQ(qmoHeadnTail(model.handle(), qmoHdomused), 0.0);
  EXPECT_EQ(qmoSolutionComplete(model.handle()), 1);
}

TEST_F(SolutionReturn, UnscaledInfeasibilityIsFlaggedWithTheWarning) {
  t.state.x[0] = 10.5;  // basic beyond its upper bound 10
  returnSolution(ctx, t, result);
  EXPECT_EQ(var(0).condition, 2);
  EXPECT_EQ(modelStatus(), 1);
  EXPECT_NE(newLog().find("*** WARNING: Feasible w.r.t. scaled model. Unscaled model has infeasibilities.\n"),
            std::string::npos);
}

TEST_F(SolutionReturn, NoWarningWhenTheModelIsNotReportedFeasible) {
  t.state.x[0] = 10.5;
  result.exitCode = kInfeasible;
  result.ninf = 1;
  returnSolution(ctx, t, result);
  EXPECT_EQ(modelStatus(), 4);
  EXPECT_EQ(var(0).condition, 2);
  EXPECT_EQ(newLog().find("WARNING"), std::string::npos);
}

TEST_F(SolutionReturn, NonOptimalMarkOnlyWhenTheRunDidNotEndOptimal) {
  result.maxDualInfeasVar = 1;
  result.exitCode = kTooManyIterations;
  returnSolution(ctx, t, result);
  EXPECT_EQ(var(1).condition, 1);
  EXPECT_EQ(modelStatus(), 7);  // ninf 0: intermediate nonoptimal stays
  EXPECT_EQ(solveStatus(), 2);
}

TEST_F(SolutionReturn, InfeasibleIntermediatePointAndNoRecords) {
  result.exitCode = kNumericalError;
  result.ninf = 2;
  returnSolution(ctx, t, result);
  EXPECT_EQ(modelStatus(), 6);
  EXPECT_EQ(solveStatus(), 4);
  EXPECT_NE(qmoResultVar(model.handle(), 0, nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(qmoHeadnTail(model.handle(), qmoHiterused), 7.0);
  EXPECT_EQ(qmoSolutionComplete(model.handle()), 1);
}

TEST_F(SolutionReturn, MaximizationFlipsTheFixedVariableRule) {
  internalsOf(*ctx.optimizer).params.objectiveSense = -1;
  t.state.reducedCost[2] = -1.0;  // fixed column with a negative marginal
  returnSolution(ctx, t, result);
  EXPECT_EQ(var(2).basis, 0);
}

TEST_F(SolutionReturn, RefusedRecordStopsTheReturn) {
  struct Case {
    const char* function;
    const char* message;
  };
  for (const Case& c : {Case{"qmoSetSolutionEquRec", "Failed calling QMO: set solution equation record"},
                        Case{"qmoSetSolutionVarRec", "Failed calling QMO: set solution variable record"}}) {
    qmoTestFailCall(model.handle(), c.function);
    returnSolution(ctx, t, result);
    EXPECT_EQ(ctx.error.message, c.message);
    EXPECT_EQ(qmoSolutionComplete(model.handle()), 0);
    finishEntry(ctx);
  }
}

}  // namespace
}  // namespace kavro::link::test
