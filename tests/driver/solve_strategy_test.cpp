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
                    IterationCallback progress = {}, CurvatureProbe* curvature = nullptr) {
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
    options.curvature = curvature;
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
  EXPECT_EQ(solve("optctrl6",
                  {"Time limit 0.05", "Iterations limit 10000000", "Major iterations 500", "Superbasics limit 200"},
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

// A probe that reports negative curvature at every optimal point and offers the point itself
// (or a shifted one) as the way out: the decision rule around it, without second derivatives.
class ScriptedProbe final : public CurvatureProbe {
 public:
  explicit ScriptedProbe(double shift) : shift_(shift) {}
  bool escape(const Problem& problem, const ProblemState& state, double, CurvatureEscape& out) override {
    ++calls;
    out.curvature = -1.0;
    out.dimension = 1;
    out.x.assign(state.x.begin(), state.x.begin() + problem.n);
    for (double& v : out.x) v += shift_;
    return true;
  }
  int calls = 0;

 private:
  double shift_;
};

TEST_F(StrategySolve, AStationaryPointThatCannotBeLeftIsNotCalledOptimal) {
  // The single solve never asks.
  ScriptedProbe probe(0.0);
  EXPECT_EQ(solve("hs071", {}, kSingleSolve, {}, &probe).exitCode, kOptimal);
  EXPECT_EQ(probe.calls, 0);
  // The run from the offered point ends where the first did, no lower: the first run's point
  // is returned, and not as an optimum.
  const SolveResult first = solve("hs071", {}, kStrategySolve);
  const std::vector<double> x = built_.state.x;
  const SolveResult r = solve("hs071", {}, kStrategySolve, {}, &probe);
  EXPECT_EQ(probe.calls, 1);
  EXPECT_EQ(r.runs, first.runs + 1);
  EXPECT_EQ(r.exitCode, kCannotImprove);
  EXPECT_DOUBLE_EQ(r.objValue, first.objValue);
  for (size_t j = 0; j < x.size(); ++j) EXPECT_DOUBLE_EQ(built_.state.x[j], x[j]) << j;
  // No escape starts once the caller's iterations are used up, and the point with negative
  // curvature is still not called optimal.
  ScriptedProbe later(0.0);
  const SolveResult limited = solve("hs071", {"Iterations limit " + std::to_string(first.minorIterations)},
                                    kStrategySolve, {}, &later);
  EXPECT_EQ(later.calls, 1);
  EXPECT_EQ(limited.runs, first.runs);
  EXPECT_EQ(limited.exitCode, kCannotImprove);
}

}  // namespace
}  // namespace kavro
