#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "driver/initial_basis.hpp"
#include "driver/run_context.hpp"
#include "setup/problem_statistics.hpp"
#include "support/temp_path.hpp"
#include "support/test_problems.hpp"

namespace kavro {
namespace {

using testing::DenseLp;
using testing::kInf;
using testing::makeProblem;

struct Harness {
  Parameters params;
  UnitTable units;
  Timers timers;
  SolveOptions options;
  ProblemState state;
  RunContext ctx{params, units, timers, options, state};
  std::string path;

  explicit Harness(const Problem& p) {
    path = testing::uniqueTempPath("counts", ".txt");
    units.connect(9, path);
    ctx.out = ReportChannels{&units, 9, 0};
    params.superbasicsLimit = 2;
    ctx.prob = p;
    state.resizeFor(p);
  }
  std::string printed() {
    units.flushAll();
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

// Three rows (the last is the objective), two columns.
Problem threeRows() {
  return makeProblem(DenseLp{{{1, 1}, {1, -1}, {2, 3}}, {1, -kInf, -kInf}, {kInf, 4, kInf}, {0, 0}, {2, 10}, 2});
}

TEST(BasisCounts, ExtraBasicsAfterTheSlacksBecomeNonbasicWithAWarning) {
  Harness h(threeRows());
  h.state.hs = {3, 3, 3, 3, 3};  // m + 2 basics
  checkBasisCounts(h.ctx);
  // The scan starts at the slacks: the three slacks stay basic, both columns leave.
  EXPECT_EQ(h.state.hs, (std::vector<int32_t>{0, 0, 3, 3, 3}));
  EXPECT_NE(h.printed().find(" WARNING:       5 basics specified;   preferably should have been       3"),
            std::string::npos);
}

TEST(BasisCounts, ReportStatesAndNonbasicValues) {
  Harness h(threeRows());
  h.state.hs = {5, 4, 3, 3, 3};  // report states 5 and 4 read as 1 and 0
  h.state.x = {2.00001, 1e21, 0, 0, 0};
  checkBasisCounts(h.ctx);
  EXPECT_EQ(h.state.hs[0], 1);
  EXPECT_DOUBLE_EQ(h.state.x[0], 2.0);  // within eps^0.25 of its upper bound: moved onto it
  EXPECT_EQ(h.state.hs[1], 0);
  EXPECT_DOUBLE_EQ(h.state.x[1], 0.0);  // infinite values start at 0
  h.state.x[0] = 1.5;
  h.state.hs[0] = 0;
  checkBasisCounts(h.ctx);
  EXPECT_DOUBLE_EQ(h.state.x[0], 1.5);
  EXPECT_EQ(h.state.hs[0], 1);  // strictly inside: state 1, value kept
}

TEST(BasisCounts, ObjectiveSlackIsMadeBasicAndFree) {
  Harness h(threeRows());
  h.state.hs = {0, 0, 3, 3, 0};
  checkBasisCounts(h.ctx);
  EXPECT_EQ(h.state.hs[4], 3);
  EXPECT_EQ(h.ctx.prob.lower[4], -1e20);
  EXPECT_EQ(h.ctx.prob.upper[4], 1e20);
}

TEST(BasisCounts, SuperbasicCountDifferingFromNsIsReported) {
  Harness h(threeRows());
  h.state.hs = {2, 2, 3, 3, 3};
  h.state.ns = 0;
  checkBasisCounts(h.ctx);
  EXPECT_EQ(h.state.ns, 2);
  EXPECT_EQ(h.ctx.superbasicList, (std::vector<int32_t>{0, 1}));
  EXPECT_NE(h.printed().find("superbasics in hs(*);   previously ns =       0.  Hessian not saved"), std::string::npos);
}

TEST(ProblemStatistics, RowTypesAndCounts) {
  // Rows: [-5,-5] slack (fixed), [-1e20,-3] (normal), [-2, 7] (bounded), free, and a slack
  // bound of -9.5e19 that counts as infinite.
  Problem p = makeProblem(DenseLp{{{1, 0}, {1, 1}, {0, 1}, {1, 1}, {2, 0}},
                                  {5, 3, -7, -kInf, -kInf},
                                  {5, kInf, 2, kInf, 9.5e19},
                                  {0, 1},
                                  {kInf, kInf},
                                  3});
  Harness h(p);
  std::vector<int32_t> types;
  problemStatistics(1, h.ctx.prob, h.params, h.ctx.out, types);
  EXPECT_EQ(types, (std::vector<int32_t>{0, 1, 1, 2, 2}));
  const std::string text = h.printed();
  EXPECT_NE(text.find(" Rows               5           1           2           1           1"), std::string::npos)
      << text;
  // Column [0, inf) is Normal, [1, inf) Bounded.
  EXPECT_NE(text.find(" Columns            2           1           0           0           1"), std::string::npos)
      << text;
  EXPECT_NE(text.find(" No. of objective coefficients       2"), std::string::npos) << text;

  // Stage 2 refreshes the types and prints nothing.
  Harness quiet(p);
  problemStatistics(2, quiet.ctx.prob, quiet.params, quiet.ctx.out, types);
  EXPECT_EQ(quiet.printed(), "");
}

}  // namespace
}  // namespace kavro
