// What the solve strategy chooses, and that it never changes an option the caller set: the
// settings sized from the problem's shape, the repeats it plans and the limits the runs share.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "driver/strategy/run_budget.hpp"
#include "driver/strategy/strategy_repeats.hpp"
#include "driver/strategy/strategy_settings.hpp"
#include "io/units.hpp"
#include "specs/specs.hpp"

namespace kavro {
namespace {

const ReportChannels kQuiet{};

Parameters decoded(const std::vector<std::string>& lines) {
  Parameters p;
  setParameters(p, 1, kQuiet);
  for (const std::string& line : lines) {
    int errors = 0;
    setSpecsLine(p, line, kQuiet, errors);
    EXPECT_EQ(errors, 0) << line;
  }
  return p;
}

Parameters chosen(const ProblemShape& shape, const std::vector<std::string>& callerLines = {}) {
  Parameters p = decoded(callerLines);
  chooseSettings(p, shape, kQuiet);
  return p;
}

// 10 rows, 20 columns, 5 nonlinear variables in 8 nonlinear entries, 3 nonlinear constraints.
constexpr ProblemShape kNonlinear{10, 20, 5, 3, 8};
constexpr ProblemShape kLinear{10, 20, 0, 0, 0};

TEST(StrategySettings, UnsetOptionsAreSizedFromTheShape) {
  const Parameters p = chosen(kNonlinear);
  EXPECT_EQ(p.iterationLimit, 10'000'000);
  EXPECT_EQ(p.superbasicsLimit, 12);  // 5 x 8 / 4 + 2
  EXPECT_EQ(p.hessianDimension, 12);
  EXPECT_EQ(p.multiplePrice, 12);
  EXPECT_EQ(p.hessianMemory, kUndefinedInt);
  EXPECT_EQ(p.majorIterationsLimit, 500);
  EXPECT_EQ(p.minorIterationsLimit, 500);
  EXPECT_EQ(p.pricingOption, kUndefinedInt);

  // Every nonlinear variable may be superbasic at once, but no more than there are variables.
  EXPECT_EQ(chosen({10, 20, 15, 3, 2}).superbasicsLimit, 16);
  EXPECT_EQ(chosen({2, 3, 3, 1, 400}).superbasicsLimit, 6);
  // Large models: the dense factor is capped and limited memory takes over past 2000 variables.
  const Parameters large = chosen({100, 5000, 3000, 0, 3000});
  EXPECT_EQ(large.superbasicsLimit, 3752);
  EXPECT_EQ(large.hessianDimension, 2000);
  EXPECT_EQ(large.hessianMemory, 30);
  EXPECT_EQ(chosen({3'000'000, 8'000'000, 0, 0, 0}).iterationLimit, 99'999'999);
  EXPECT_EQ(chosen({300'000, 800'000, 0, 0, 0}).iterationLimit, 11'000'000);

  const Parameters lp = chosen(kLinear);
  EXPECT_EQ(lp.pricingOption, 2);
  EXPECT_EQ(lp.multiplePrice, kUndefinedInt);
  EXPECT_EQ(lp.superbasicsLimit, 3);
  EXPECT_EQ(lp.majorIterationsLimit, kUndefinedInt);
}

// Each option the caller set keeps the caller's value, whatever the strategy would choose.
TEST(StrategySettings, OptionsTheCallerSetAreNeverChanged) {
  struct Case {
    const char* line;
    int32_t Parameters::*field;
    int32_t value;
  } cases[] = {
      {"Iterations limit 77", &Parameters::iterationLimit, 77},
      {"Superbasics limit 9", &Parameters::superbasicsLimit, 9},
      {"Hessian dimension 4", &Parameters::hessianDimension, 4},
      {"Hessian memory 0", &Parameters::hessianMemory, 0},
      {"Multiple price 1", &Parameters::multiplePrice, 1},
      {"Major iterations 7", &Parameters::majorIterationsLimit, 7},
      {"Minor iterations 8", &Parameters::minorIterationsLimit, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(chosen(kNonlinear, {c.line}).*c.field, c.value);
    EXPECT_EQ(chosen({100, 5000, 3000, 3, 3000}, {c.line}).*c.field, c.value);
  }
  // The subspace is sized as a whole: a caller's superbasics limit or Hessian dimension leaves
  // the rest of it to the caller too.
  for (const char* line : {"Superbasics limit 9", "Hessian dimension 4"}) {
    const Parameters p = chosen({100, 5000, 3000, 3, 3000}, {line});
    EXPECT_EQ(p.multiplePrice, kUndefinedInt) << line;
    EXPECT_EQ(p.hessianMemory, kUndefinedInt) << line;
  }
  // A linear program keeps the caller's pricing, the default rule included.
  for (const char* line : {"Pricing option 0", "Pricing option 1", "Partial price 4"})
    EXPECT_NE(chosen(kLinear, {line}).pricingOption, 2) << line;
}

std::vector<std::string> describedRepeats(const std::vector<std::string>& callerLines) {
  RepeatPlan plan(decoded(callerLines));
  std::vector<std::string> text;
  while (plan.hasNext()) text.push_back(plan.next().describe());
  return text;
}

TEST(StrategyRepeats, RepeatsChangeOnlyWhatTheCallerLeftUnset) {
  using List = std::vector<std::string>;
  EXPECT_EQ(describedRepeats({}),
            (List{"Penalty parameter 10", "Penalty parameter 100", "Penalty parameter 1 and Crash option 0",
                  "Penalty parameter 10 and Crash option 0"}));
  EXPECT_EQ(describedRepeats({"Penalty parameter 5"}), (List{"Crash option 0"}));
  EXPECT_EQ(describedRepeats({"Crash option 3"}), (List{"Penalty parameter 10", "Penalty parameter 100"}));
  // The caller's own settings are not run twice: penalty 10 is the first run's.
  EXPECT_EQ(describedRepeats({"Penalty parameter 10", "Crash option 0"}), List{});
  EXPECT_EQ(describedRepeats({"Crash option 0"}), (List{"Penalty parameter 10", "Penalty parameter 100"}));
}

TEST(StrategyRepeats, RepeatSetsItsOptionsAsLines) {
  Parameters p = decoded({});
  Repeat{10.0, true}.apply(p, kQuiet);
  EXPECT_EQ(p.penaltyParameter, 10.0);
  EXPECT_EQ(p.crashOption, 0);
  Parameters kept = decoded({"Penalty parameter 3"});
  Repeat{-1.0, true}.apply(kept, kQuiet);
  EXPECT_EQ(kept.penaltyParameter, 3.0);
}

TEST(StrategyRepeats, OnlyRunsWithoutASolutionThatOtherSettingsMayMendAreRepeated) {
  SolveResult r;
  for (ExitCode code : {kInfeasible, kUnbounded, kTooManyIterations, kFunctionError, kNearOptimal, kSingularBasis}) {
    r.exitCode = code;
    EXPECT_TRUE(worthRepeating(r)) << code;
  }
  for (ExitCode code :
       {kOptimal, kTimeLimit, kInterrupted, kBadObjectiveGradient, kWorkspaceTooSmall, kInvalidProblemData}) {
    r.exitCode = code;
    EXPECT_FALSE(worthRepeating(r)) << code;
  }
  // "Optimal" at a point that fails its certificate is no solution.
  r.exitCode = kOptimal;
  r.certificate.evaluated = true;
  r.certificate.passed = false;
  EXPECT_TRUE(worthRepeating(r));
}

TEST(RunBudget, TheCallersIterationLimitsAreSharedAmongTheRuns) {
  RunBudget budget(decoded({"Iterations limit 100", "Major iterations 10"}));
  SolveResult run;
  run.minorIterations = 60;
  run.majorIterations = 4;
  budget.spend(run);
  ASSERT_TRUE(budget.iterationsLeft());
  Parameters next = decoded({});
  budget.leaveRemainder(next, kQuiet);
  EXPECT_EQ(next.iterationLimit, 40);
  EXPECT_EQ(next.majorIterationsLimit, 6);
  run.majorIterations = 6;
  budget.spend(run);
  EXPECT_FALSE(budget.iterationsLeft());

  // Limits the caller left unset are the strategy's own, per run.
  RunBudget unset(decoded({}));
  run.minorIterations = 1'000'000'000;
  unset.spend(run);
  EXPECT_TRUE(unset.iterationsLeft());
  Parameters untouched = decoded({});
  unset.leaveRemainder(untouched, kQuiet);
  EXPECT_EQ(untouched.iterationLimit, kUndefinedInt);
}

TEST(RunBudget, TheTimeLimitCountsFromTheStartOfTheSolve) {
  RunBudget none(decoded({}));
  EXPECT_FALSE(none.hasTimeLimit());
  EXPECT_FALSE(none.timeUpNow());
  RunBudget budget(decoded({"Time limit 0.001"}));
  EXPECT_TRUE(budget.hasTimeLimit());
  volatile double sink = 0.0;
  while (!budget.timeUpNow()) sink = sink + 1.0;
  // The clock is read again only after the look interval.
  const auto start = std::chrono::steady_clock::now();
  while (!budget.timeUp()) ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace kavro
