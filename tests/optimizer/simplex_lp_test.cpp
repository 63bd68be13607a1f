// Small linear programs with known answers, solved through the solver entry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "kavro/solver.hpp"
#include "support/test_problems.hpp"

namespace kavro {
namespace {

using testing::DenseLp;
using testing::kInf;
using testing::makeProblem;

struct Solved {
  SolveResult result;
  ProblemState state;
};

Solved solve(const DenseLp& lp, std::initializer_list<const char*> specs = {}, IterationCallback progress = {}) {
  const Problem p = makeProblem(lp);
  Optimizer opt;
  opt.initialize({});
  for (const char* line : specs) EXPECT_EQ(opt.setSpecsLine(line), 0) << line;
  Solved s;
  s.state.resizeFor(p);
  SolveOptions o;
  o.workLength = 200000;
  o.progress = std::move(progress);
  s.result = opt.solve(p, s.state, o);
  return s;
}

// The objective row is always the last row in these problems.
DenseLp lp(std::vector<std::vector<double>> rows, std::vector<double> rl, std::vector<double> ru,
           std::vector<double> cl, std::vector<double> cu) {
  const int obj = static_cast<int>(rows.size()) - 1;
  rl.push_back(-kInf);
  ru.push_back(kInf);
  return DenseLp{std::move(rows), std::move(rl), std::move(ru), std::move(cl), std::move(cu), obj};
}

struct KnownAnswer {
  const char* what;
  DenseLp problem;
  int exitCode;
  double objective;
};

class KnownAnswers : public ::testing::TestWithParam<KnownAnswer> {};

const char* const kRules[] = {"Pricing option 0", "Pricing option 1", "Pricing option 2"};

TEST_P(KnownAnswers, ExitAndObjective) {
  const KnownAnswer& k = GetParam();
  for (const char* rule : kRules) {
    SCOPED_TRACE(rule);
    const Solved s = solve(k.problem, {rule});
    EXPECT_EQ(s.result.exitCode, k.exitCode) << k.what;
    if (k.exitCode == 0) {
      EXPECT_NEAR(s.result.objValue, k.objective, 1e-9 * (1 + std::fabs(k.objective))) << k.what;
    }
    for (double v : s.state.x) EXPECT_TRUE(std::isfinite(v));
  }
}

const KnownAnswer kKnownAnswers[] = {
    // Beale's example: cycles under the textbook rule without anti-cycling.
    {"beale",
     lp({{0.25, -8, -1, 9}, {0.5, -12, -0.5, 3}, {0, 0, 1, 0}, {-0.75, 20, -0.5, 6}}, {-kInf, -kInf, -kInf}, {0, 0, 1},
        {0, 0, 0, 0}, {kInf, kInf, kInf, kInf}),
     0, -1.25},
    {"infeasible", lp({{1, 1}, {1, 1}}, {5}, {kInf}, {0, 0}, {2, 2}), 1, 0},
    {"unbounded", lp({{1, -1}, {-1, 0}}, {-kInf}, {1}, {0, 0}, {kInf, kInf}), 2, 0},
    {"free column", lp({{1, -1}, {1, 0}}, {0}, {0}, {-kInf, -3}, {kInf, kInf}), 0, -3},
    {"fixed column", lp({{1, 1}, {1, 1}}, {5}, {kInf}, {0, 2}, {kInf, 2}), 0, 5},
    {"negative lower bounds", lp({{1, 1}, {1, 2}}, {-4}, {kInf}, {-3, -5}, {kInf, kInf}), 0, -9},
    {"range row", lp({{1, 1}, {-1, -2}}, {1}, {3}, {0, 0}, {5, 5}), 0, -6},
    {"empty row and zero column", lp({{1, 0, 0}, {0, 0, 0}, {-1, 0, 0}}, {-kInf, -1}, {4, 1}, {0, -2, 0}, {kInf, 2, 1}),
     0, -4},
    {"optimal at the start", lp({{1, 0}, {1, 1}}, {-kInf}, {5}, {0, 0}, {kInf, kInf}), 0, 0},
    {"degenerate vertex",
     lp({{1, 1}, {1, -1}, {1, 0}, {-1, -1}}, {-kInf, -kInf, -kInf}, {1, 0, 0.5}, {0, 0}, {kInf, kInf}), 0, -1},
};

std::string caseName(const ::testing::TestParamInfo<KnownAnswer>& info) {
  std::string name = info.param.what;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(SmallLps, KnownAnswers, ::testing::ValuesIn(kKnownAnswers), caseName);

TEST(SmallLps, MaximizationAndMultipliers) {
  // max x1 + x2  s.t.  x1 + 2 x2 <= 4,  3 x1 + x2 <= 6:  (1.6, 1.2), objective 2.8.
  const Solved s = solve(lp({{1, 2}, {3, 1}, {1, 1}}, {-kInf, -kInf}, {4, 6}, {0, 0}, {kInf, kInf}), {"Maximize"});
  ASSERT_EQ(s.result.exitCode, 0);
  EXPECT_NEAR(s.result.objValue, 2.8, 1e-12);
  EXPECT_NEAR(s.state.x[0], 1.6, 1e-12);
  EXPECT_NEAR(s.state.x[1], 1.2, 1e-12);
  // Row multipliers: 0.4 and 0.2 per unit of the right-hand sides, in the objective's sense.
  EXPECT_NEAR(std::fabs(s.state.pi[0]), 0.4, 1e-12);
  EXPECT_NEAR(std::fabs(s.state.pi[1]), 0.2, 1e-12);
}

TEST(SmallLps, UnboundedWhenMaximizing) {
  const Solved s = solve(lp({{1, -1}, {1, 0}}, {-kInf}, {1}, {0, 0}, {kInf, kInf}), {"Maximize"});
  EXPECT_EQ(s.result.exitCode, 2);
}

TEST(SmallLps, OptimalStartTakesNoIterations) {
  const Solved s = solve(lp({{1, 0}, {1, 1}}, {-kInf}, {5}, {0, 0}, {kInf, kInf}));
  EXPECT_EQ(s.result.exitCode, 0);
  EXPECT_EQ(s.result.minorIterations, 0);
}

TEST(SmallLps, IterationLimitAndInterrupt) {
  const DenseLp beale = kKnownAnswers[0].problem;
  EXPECT_EQ(solve(beale, {"Iterations limit 0"}).result.exitCode, 3);
  const Solved stopped = solve(beale, {}, [](const IterationLogEntry&) { return 2; });
  EXPECT_EQ(stopped.result.exitCode, 19);
  EXPECT_EQ(solve(beale, {}, [](const IterationLogEntry&) { return 1; }).result.exitCode, 18);
}

TEST(SmallLps, ReducedCostsAreReturned) {
  // min 2 x1 + 3 x2  s.t. x1 + x2 >= 1: x1 = 1, reduced cost of x2 is 1.
  const Solved s = solve(lp({{1, 1}, {2, 3}}, {1}, {kInf}, {0, 0}, {kInf, kInf}));
  ASSERT_EQ(s.result.exitCode, 0);
  EXPECT_NEAR(s.result.objValue, 2.0, 1e-12);
  EXPECT_NEAR(s.state.reducedCost[1], 1.0, 1e-12);
  EXPECT_NEAR(s.state.reducedCost[0], 0.0, 1e-12);
}

// An n x n assignment problem (2n rows, n^2 columns; every basic solution is highly
// degenerate), against the cheapest permutation found by trying them all.
TEST(SmallLps, DegenerateAssignmentWithEachRule) {
  const int n = 7;
  std::vector<std::vector<double>> cost(n, std::vector<double>(n));
  unsigned seed = 12345;
  for (auto& row : cost)
    for (double& c : row) c = static_cast<double>((seed = seed * 1103515245u + 12345u) >> 16 & 63);
  std::vector<int> perm(n);
  for (int i = 0; i < n; ++i) perm[static_cast<size_t>(i)] = i;
  double best = 1e30;
  do {
    double total = 0;
    for (int i = 0; i < n; ++i)
      total += cost[static_cast<size_t>(i)][static_cast<size_t>(perm[static_cast<size_t>(i)])];
    best = std::min(best, total);
  } while (std::next_permutation(perm.begin(), perm.end()));

  std::vector<std::vector<double>> rows(2 * n + 1, std::vector<double>(n * n, 0.0));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      const size_t col = static_cast<size_t>(i * n + j);
      rows[static_cast<size_t>(i)][col] = 1.0;
      rows[static_cast<size_t>(n + j)][col] = 1.0;
      rows[static_cast<size_t>(2 * n)][col] = cost[static_cast<size_t>(i)][static_cast<size_t>(j)];
    }
  const DenseLp assignment = lp(rows, std::vector<double>(2 * n, 1.0), std::vector<double>(2 * n, 1.0),
                                std::vector<double>(n * n, 0.0), std::vector<double>(n * n, kInf));
  for (const char* rule : kRules) {
    SCOPED_TRACE(rule);
    const Solved s = solve(assignment, {rule, "Crash option 0"});
    ASSERT_EQ(s.result.exitCode, 0);
    EXPECT_NEAR(s.result.objValue, best, 1e-9);
    EXPECT_LE(s.result.minorIterations, 200);
  }
}

// Boxed columns and a loose row: every entering column reaches its own upper bound first, so
// each iteration is a bound flip and the basis never changes. With a tighter row the flips
// stop where the row binds and one basis change follows.
TEST(SmallLps, BoundFlipsWithEachRule) {
  const int n = 12;
  std::vector<std::vector<double>> rows(2, std::vector<double>(n, 1.0));
  for (int j = 0; j < n; ++j) rows[1][static_cast<size_t>(j)] = -(1.0 + j % 5);  // objective
  const std::vector<double> lower(n, 0.0), upper(n, 1.0);
  for (const char* rule : kRules) {
    SCOPED_TRACE(rule);
    const Solved loose = solve(lp(rows, {-kInf}, {100.0}, lower, upper),
                               {rule, "Crash option 0", "Iterations limit 100"});
    ASSERT_EQ(loose.result.exitCode, 0);
    EXPECT_NEAR(loose.result.objValue, -33.0, 1e-12);
    EXPECT_EQ(loose.result.minorIterations, n);
    for (int j = 0; j < n; ++j) EXPECT_EQ(loose.state.hs[static_cast<size_t>(j)], kAtUpper) << j;

    // Row limit 4.5: the costs are 1 2 3 4 5 1 2 3 4 5 1 2; the two columns of 5 and the two of
    // 4 at their upper bounds and half of a column of 3.
    const Solved tight = solve(lp(rows, {-kInf}, {4.5}, lower, upper),
                               {rule, "Crash option 0", "Iterations limit 100"});
    ASSERT_EQ(tight.result.exitCode, 0);
    EXPECT_NEAR(tight.result.objValue, -(5 + 5 + 4 + 4 + 0.5 * 3), 1e-12);
  }
}

}  // namespace
}  // namespace kavro
