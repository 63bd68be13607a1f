// Two Optimizer objects on two threads, each reading and solving its own problem with its own
// files, give exactly what they give one after the other: no state is shared between them.
// Run under the ThreadSanitizer preset too (label "threads").

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/work_estimate.hpp"
#include "kavro/solver.hpp"
#include "support/mps_problem.hpp"
#include "support/temp_path.hpp"

namespace kavro {
namespace {

struct Job {
  std::string problem;  // a Netlib file of the test data
  const char* rule;     // the pricing option
};

struct Outcome {
  int32_t exitCode = -1;
  double objective = 0.0;
  int64_t iterations = 0;
  std::vector<double> x, pi;
  std::string print;  // the whole print file
};

// One Optimizer: reads the problem, solves it, reads back its print file (without timings, so
// that every byte of it must repeat).
Outcome run(const Job& job, const std::string& path) {
  Outcome o;
  {
    Optimizer opt;
    opt.connectUnit(9, path);
    opt.initialize({9, 0, 0});
    MpsResult r = testing::readMpsForTest(opt, std::string(KAVRO_TEST_DATA_DIR) + "/netlib/" + job.problem + ".mps.gz");
    if (r.exitCode != 0) return o;
    opt.setSpecsLine(job.rule);
    opt.setSpecsLine("Iterations limit 100000");
    opt.setSpecsLine("Print level 1");
    opt.setSpecsLine("Timing level 0");
    ProblemState state = r.start;
    state.reducedCost.assign(static_cast<size_t>(r.problem.nb()), 0.0);
    SolveOptions options;
    options.workLength = estimateWorkWords(r.problem.m, r.problem.n, r.problem.nElements(), 0);
    options.automaticStorage = true;
    const SolveResult result = opt.solve(r.problem, state, options);
    o = Outcome{result.exitCode, result.objValue, result.minorIterations, state.x, state.pi, ""};
  }
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  o.print = text.str();
  std::remove(path.c_str());
  return o;
}

void expectSame(const Outcome& together, const Outcome& alone, const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(alone.exitCode, 0);
  EXPECT_EQ(together.exitCode, alone.exitCode);
  EXPECT_EQ(together.iterations, alone.iterations);
  EXPECT_EQ(together.objective, alone.objective);
  EXPECT_EQ(together.x, alone.x);
  EXPECT_EQ(together.pi, alone.pi);
  EXPECT_EQ(together.print, alone.print);
}

TEST(ConcurrentSolves, TwoOptimizersOnTwoThreadsMatchOneAfterTheOther) {
  const std::vector<std::pair<Job, Job>> pairs = {
      {{"scagr25", "Pricing option 0"}, {"sctap1", "Pricing option 0"}},
      {{"brandy", "Pricing option 2"}, {"bandm", "Pricing option 1"}},
      {{"stair", "Pricing option 2"}, {"stair", "Pricing option 2"}},
  };
  for (const auto& [a, b] : pairs) {
    const std::string pathA = testing::uniqueTempPath(a.problem, ".print");
    const std::string pathB = testing::uniqueTempPath(b.problem, ".print");
    const Outcome aloneA = run(a, pathA), aloneB = run(b, pathB);
    Outcome togetherA, togetherB;
    std::thread first([&] { togetherA = run(a, pathA); });
    std::thread second([&] { togetherB = run(b, pathB); });
    first.join();
    second.join();
    expectSame(togetherA, aloneA, a.problem + " with " + a.rule);
    expectSame(togetherB, aloneB, b.problem + " with " + b.rule);
  }
}

}  // namespace
}  // namespace kavro
