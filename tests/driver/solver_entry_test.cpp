#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/optimizer_impl.hpp"
#include "driver/work_estimate.hpp"
#include "driver/work_layout.hpp"
#include "kavro/solver.hpp"
#include "specs/parameters.hpp"
#include "support/temp_path.hpp"
#include "support/test_problems.hpp"

namespace kavro {
namespace {

using testing::DenseLp;
using testing::kInf;
using testing::makeProblem;

// min x1 + 2 x2  s.t.  x1 + x2 >= 1,  0 <= x <= 10; objective row last.
Problem tinyLp() { return makeProblem(DenseLp{{{1, 1}, {1, 2}}, {1, -kInf}, {kInf, kInf}, {0, 0}, {10, 10}, 1}); }

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class SolverEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    printPath = testing::uniqueTempPath("entry", ".print");
    opt.connectUnit(9, printPath);
    opt.initialize({9, 0, 0});
  }
  SolveResult solve(const Problem& p, ProblemState& s, int64_t words) {
    SolveOptions o;
    o.workLength = words;
    return opt.solve(p, s, o);
  }
  Optimizer opt;
  std::string printPath;
};

TEST_F(SolverEntry, WorkLengthOneWordShortGivesExit42AndTouchesNothing) {
  const Problem p = tinyLp();
  ProblemState s;
  s.resizeFor(p);
  s.x = {3.0, 4.0, 0.0, 0.0};
  const ProblemState before = s;
  const SolveResult probe = solve(p, s, 0);
  ASSERT_EQ(probe.exitCode, kWorkspaceTooSmall);
  ASSERT_GT(probe.minWorkWords, 0);
  EXPECT_EQ(s.x, before.x);
  EXPECT_EQ(s.hs, before.hs);

  const SolveResult shortBy1 = solve(p, s, probe.minWorkWords - 1);
  EXPECT_EQ(shortBy1.exitCode, kWorkspaceTooSmall);
  EXPECT_EQ(shortBy1.minWorkWords, probe.minWorkWords);
  EXPECT_EQ(s.x, before.x);
  EXPECT_EQ(slurp(printPath).find("Parameters"), std::string::npos) << "no listing before the storage check";

  const SolveResult exact = solve(p, s, probe.minWorkWords);
  EXPECT_NE(exact.exitCode, kWorkspaceTooSmall);
}

TEST_F(SolverEntry, InvalidDataIsRefusedWithAClearMessage) {
  Problem p = tinyLp();
  ProblemState s;
  s.resizeFor(p);
  p.a.value[1] = std::nan("");
  EXPECT_EQ(solve(p, s, 1000000).exitCode, kInvalidProblemData);

  Problem q = tinyLp();
  q.a.row[0] = 7;  // outside 1..m
  EXPECT_EQ(solve(q, s, 1000000).exitCode, kInvalidProblemData);

  Problem r = tinyLp();
  ProblemState shortState;
  shortState.resizeFor(r);
  shortState.x.pop_back();
  EXPECT_EQ(solve(r, shortState, 1000000).exitCode, kInvalidProblemData);

  Problem t = tinyLp();
  t.nNonlinObjVars = 1;  // nonlinear parts, but no routine to evaluate them
  EXPECT_EQ(solve(t, s, 1000000).exitCode, kInvalidProblemData);
  const std::string text = slurp(printPath);
  EXPECT_NE(text.find(" XXX  Invalid problem data: column 1, row 2: matrix value is not a finite number"),
            std::string::npos);
  EXPECT_NE(text.find(" EXIT -- the problem data are not valid"), std::string::npos);
}

// Files of the run that clash end it before anything is written (exit 44): the message goes to
// the reports that take no part in the clash, and the files involved are not touched.
TEST_F(SolverEntry, FilesThatClashAreRefusedBeforeAnythingIsWritten) {
  const Problem p = tinyLp();
  ProblemState s;
  s.resizeFor(p);
  const std::string summaryPath = testing::uniqueTempPath("entry", ".summary");
  opt.connectUnit(6, summaryPath);
  opt.initialize({9, 6, 0});
  opt.connectUnit(11, printPath);  // the New basis file is the print file under another number
  opt.setSpecsLine("New basis file 11");
  EXPECT_EQ(solve(p, s, 1000000).exitCode, kFileClash);
  internalsOf(opt).units.flushAll();
  EXPECT_EQ(slurp(printPath), "      New basis file 11\n") << "only the option's echo: the print file is in the clash";
  EXPECT_EQ(slurp(summaryPath),
            " XXX  the print file (unit 9) and the New basis file (unit 11) are the same file: " + printPath +
                "\n EXIT -- an output file is an input or another output file of the "
                "run\n");

  // Without the clash the same run is solved.
  opt.setSpecsLine("New basis file 0");
  EXPECT_EQ(solve(p, s, 1000000).exitCode, kOptimal);
  std::remove(summaryPath.c_str());
}

TEST(WorkStorage, LayoutFollowsTheRegionTable) {
  Parameters p;
  p.superbasicsLimit = 1;
  p.hessianDimension = 0;
  p.scaleOption = 2;
  // m = 10, n = 20, 50 elements, linear: L = 11, h = 1, N = 0, V = 11, C = 0, J = 1.
  const WorkLayout w = computeWorkLayout(p, 10, 20, 50, 0, 1000000);
  const int64_t regions = 2 * (11 / 2 + 1) + 30 + 2 * 11 + 0 + 2 * 11 + 0 + 11 + (1 + 1 - 1) + 2 + 0 + 0 + 0 + 0 +
                          2 * 1 + 0 + 3 * 11;
  const int64_t luIndex = 10 * (11 / 2 + 1) + 11;
  EXPECT_EQ(w.wordsBeforeFactors, regions + luIndex);
  const int64_t s = regions + luIndex + 1;
  const int64_t E = 30 + 6 * 10 * 11 + 10000;  // max(50/20, 10) = 10, min(n, L) = 11
  EXPECT_EQ(w.minWorkWords, s + 2 * E);
  EXPECT_EQ(w.factorElements, (1000000 - s - 1) / 2);
  EXPECT_EQ(w.factorElementsAllowed, w.factorElements - 1);
}

TEST(WorkStorage, HostEstimateAndSuperbasicsEstimate) {
  EXPECT_EQ(superbasicsEstimate(0), 3);
  EXPECT_EQ(superbasicsEstimate(1), 3);  // q = 1: 1 + 2
  EXPECT_EQ(superbasicsEstimate(8000), 5000);
  EXPECT_EQ(superbasicsEstimate(3997), 4998);
  // An estimate never fails on a model without columns.
  EXPECT_GT(estimateWorkWords(5, 0, 0, 0), 100000);
}

}  // namespace
}  // namespace kavro
