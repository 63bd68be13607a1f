// The solve strategy through the C++ solver entry: chosen by the option or the caller's
// default, and stopped from repeating by the limits the runs share. hs093's first run ends
// infeasible (19 iterations, 8 major iterations); the repeat with the penalty 10 solves it.
// optctrl6 takes seconds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kavro/solver.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_problem.hpp"
#include "nl/nl_reader.hpp"

namespace kavro {
namespace {

class StrategySolve : public ::testing::Test {
 protected:
  // Reads a model of tests/data/nl and solves it with the options lines.
  SolveResult solve(const char* model, const std::vector<std::string>& lines, SolveStrategy defaultStrategy,
                    IterationCallback progress = {}) {
    nl::ReadResult read = nl::readNlFile(std::string(KAVRO_TEST_DATA_DIR "/nl/") + model + ".nl");
    EXPECT_TRUE(read.ok) << read.error;
    model_ = std::move(read.model);
    EXPECT_EQ(nl::buildProblem(model_, {}, built_), "");
    nl::ModelFunctions functions(model_, built_);
    Optimizer opt;
    for (const std::string& line : lines) EXPECT_EQ(opt.setSpecsLine(line), 0) << line;
    SolveOptions options;
    options.automaticStorage = true;
    options.functions = &functions;
    options.defaultStrategy = defaultStrategy;
    options.progress = std::move(progress);
    return opt.solve(built_.problem, built_.state, options);
  }

  nl::Model model_;
  nl::BuiltProblem built_;
};

TEST_F(StrategySolve, TheOptionChoosesOtherwiseTheCallersDefault) {
  EXPECT_EQ(solve("hs093", {}, kSingleSolve).runs, 1);
  const SolveResult r = solve("hs093", {}, kStrategySolve);
  EXPECT_EQ(r.runs, 2);
  EXPECT_EQ(r.exitCode, kOptimal);
  EXPECT_NEAR(r.objValue, 135.07596, 1e-4);
  EXPECT_EQ(solve("hs093", {"Solve strategy 0"}, kStrategySolve).runs, 1);
  EXPECT_EQ(solve("hs093", {"Solve strategy 1"}, kSingleSolve).runs, 2);
}

TEST_F(StrategySolve, NoRepeatStartsOnceTheCallersIterationsAreUsedUp) {
  EXPECT_EQ(solve("hs093", {"Iterations limit 19"}, kStrategySolve).runs, 1);
  EXPECT_EQ(solve("hs093", {"Major iterations 8"}, kStrategySolve).runs, 1);
  // Six iterations left: the repeat runs with them as its limit and stops there, long before the
  // 28 iterations that solve the model.
  const SolveResult r = solve("hs093", {"Iterations limit 25"}, kStrategySolve);
  EXPECT_EQ(r.runs, 2);
  EXPECT_EQ(r.exitCode, kTooManyIterations);
  EXPECT_LT(r.minorIterations, 28);
}

TEST_F(StrategySolve, NoRepeatStartsPastTheTimeLimitOrWhenTheCallerSaysStop) {
  // The limit is past when the first run ends (infeasible, or stopped by the limit itself): the
  // repeat is not started.
  SolveResult r = solve("hs093", {"Time limit 1e-9"}, kStrategySolve);
  EXPECT_EQ(r.runs, 1);
  EXPECT_TRUE(r.exitCode == kInfeasible || r.exitCode == kTimeLimit) << r.exitCode;
  // A run that reaches the limit stops there (exit 18) and is not repeated.
  r = solve("optctrl6", {"Time limit 0.05"}, kStrategySolve);
  EXPECT_EQ(r.runs, 1);
  EXPECT_EQ(r.exitCode, kTimeLimit);
  // The single solve honours the limit too (given the limits that let it run that long).
  EXPECT_EQ(solve("optctrl6", {"Time limit 0.05", "Iterations limit 10000000", "Major iterations 500", "Superbasics limit 200"},
                  kSingleSolve)
                .exitCode,
            kTimeLimit);

  int probes = 0;
  auto stopBetweenRuns = [&probes](const IterationLogEntry& e) {
    if (e.kind != kBetweenRuns) return 0;
    ++probes;
    return 1;
  };
  r = solve("hs093", {}, kStrategySolve, stopBetweenRuns);
  EXPECT_EQ(r.runs, 1);
  EXPECT_EQ(probes, 1);
}

}  // namespace
}  // namespace kavro
