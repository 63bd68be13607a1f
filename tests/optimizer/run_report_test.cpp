// The print file of nonlinear runs that end early through their functions: whichever
// evaluation fails (a trial point, the re-evaluation of an accepted step, a difference, the
// forced step at a bound, the last calls), the run ends with its EXIT line and then the
// statistics, and the iteration log's call counts never exceed the run's.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kavro/functions.hpp"
#include "kavro/solver.hpp"
#include "optimizer/printed_lines.hpp"
#include "support/temp_path.hpp"
#include "support/test_problems.hpp"

namespace kavro {
namespace {

using testing::DenseLp;
using testing::find;
using testing::kInf;
using testing::makeProblem;
using testing::readLines;

enum class Failure { kUndefined, kStop };

// Rosenbrock's function on a box, subject to x0 + x1 <= 1.5, whose calls from number `from` on
// fail as `failure` says. The print file's lines go to `print`.
SolveResult solveFailingFrom(int from, Failure failure, const char* derivativeLevel, std::vector<std::string>& print) {
  int calls = 0;
  FunctionsFromCallables functions([&](std::span<const double> x, double& f, std::span<double> g) {
    if (++calls >= from) {
      if (failure == Failure::kStop) throw std::runtime_error("stop");
      return false;
    }
    const double a = x[1] - x[0] * x[0], b = 1.0 - x[0];
    f = 100.0 * a * a + b * b;
    g[0] = -400.0 * a * x[0] - 2.0 * b;
    g[1] = 200.0 * a;
    return true;
  });
  Problem p = makeProblem(DenseLp{{{1.0, 1.0}, {0.0, 0.0}}, {-kInf, -kInf}, {1.5, kInf}, {-2.0, -2.0}, {2.0, 2.0}});
  p.nNonlinObjVars = 2;
  const std::string path = kavro::testing::uniqueTempPath("run_report", ".print");
  SolveResult result;
  {  // the optimizer closes its print file when it goes
    Optimizer opt;
    opt.connectUnit(9, path);
    opt.initialize({9, 0, 0});
    EXPECT_EQ(opt.setSpecsLine("Print level 1"), 0);
    EXPECT_EQ(opt.setSpecsLine(derivativeLevel), 0);
    ProblemState state;
    state.resizeFor(p);
    state.x[0] = -1.2;
    state.x[1] = 1.0;
    SolveOptions o;
    o.workLength = 400000;
    o.functions = &functions;
    result = opt.solve(p, state, o);
  }
  print = readLines(path);
  std::remove(path.c_str());
  return result;
}

TEST(RunReport, EveryRunThatItsFunctionsEndSaysSoWithItsExitLineAndStatistics) {
  for (const char* level : {"Derivative level 3", "Derivative level 0"}) {
    for (const Failure failure : {Failure::kUndefined, Failure::kStop}) {
      for (int from = 1; from <= 60; from += 3) {
        SCOPED_TRACE(std::string(level) + (failure == Failure::kStop ? ", stop" : ", undefined") + " from call " +
                     std::to_string(from));
        std::vector<std::string> print;
        const SolveResult r = solveFailingFrom(from, failure, level, print);
        const int exitLine = find(print, " EXIT --");
        ASSERT_GE(exitLine, 0) << "exit code " << r.exitCode;
        EXPECT_GT(find(print, " Problem name", exitLine), exitLine);
        EXPECT_GT(find(print, " No. of calls to funobj", exitLine), exitLine);
        if (r.exitCode != kFunctionError) continue;
        // A request to stop is named and ends the run without its last calls; an undefined
        // point at a feasible end still gets them.
        const bool lastCalls = find(print, " funobj called with nstate =   8") >= 0;
        if (failure == Failure::kStop) {
          EXPECT_NE(find(print, " EXIT -- Termination requested by User"), -1);
          EXPECT_FALSE(lastCalls);
        } else if (r.ninf == 0) {
          EXPECT_TRUE(lastCalls);
        }
      }
    }
  }
}

}  // namespace
}  // namespace kavro
