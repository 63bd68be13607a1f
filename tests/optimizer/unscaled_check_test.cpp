// The optimality check on the user's (unscaled) problem: its arithmetic against values computed
// directly on the unscaled problem, and runs whose scaled optimality test alone would end at a
// point far from the optimum (AFIRO with a row whose coefficients span 1e-12 to 1e12).

#include "optimizer/unscaled_check.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/work_estimate.hpp"
#include "kavro/solver.hpp"
#include "setup/scaling.hpp"
#include "support/mps_problem.hpp"

namespace kavro {
namespace {

// Two rows (the second is the objective, free) and three columns, with bounds.
Problem smallProblem() {
  Problem p;
  p.m = 2;
  p.n = 3;
  p.objRow = 1;
  p.a.colStart = {0, 2, 4, 5};
  p.a.row = {0, 1, 0, 1, 0};
  p.a.value = {2.0, -3.0, 1000.0, 5.0, 0.001};
  p.lower = {0.0, 0.0, -1.0, -4.0, -kInfinity};
  p.upper = {10.0, 1.0, 1.0, -4.0, kInfinity};
  return p;
}

TEST(UnscaledCheck, ReducedCostsAndViolationsAreThoseOfTheUnscaledProblem) {
  const Problem original = smallProblem();
  const std::vector<double> scales = {0.5, 4.0, 20.0, 30.0, 2.0};
  // The unscaled point: x = (1, 1, 0.5), row 0 activity 2 + 1000 + 0.0005 = 1002.0005.
  std::vector<double> x = {1.0, 1.0, 0.5, -1002.0005, 0.0};
  Problem scaled = original;
  applyScales(1, scaled, x, scales, kInfinity);
  // Unscaled multipliers (0.25, -1) for (row 0, objective row): scaled ones are pi_i r_i.
  const std::vector<double> piUnscaled = {0.25, -1.0};
  const std::vector<double> piScaled = {piUnscaled[0] * scales[3], piUnscaled[1] * scales[4]};
  // Internal states: the fixed slack of row 0 is 4.
  const std::vector<int32_t> hs = {kAtUpper, kBasic, kAtLower, 4, kBasic};

  UnscaledCheckInput in;
  in.prob = &scaled;
  in.scales = &scales;
  in.x = x.data();
  in.hs = hs.data();
  in.pi = piScaled.data();
  for (int32_t j = 0; j < 3; ++j) {
    double d = 0.0;
    for (int32_t k = original.a.colStart[static_cast<size_t>(j)]; k < original.a.colStart[static_cast<size_t>(j) + 1];
         ++k)
      d -= piUnscaled[static_cast<size_t>(original.a.row[static_cast<size_t>(k)])] *
           original.a.value[static_cast<size_t>(k)];
    EXPECT_NEAR(unscaledReducedCost(in, j), d, 1e-12 * (1.0 + std::fabs(d))) << j;
  }
  EXPECT_NEAR(unscaledReducedCost(in, 3), -piUnscaled[0], 1e-15);
  // Objective coefficients: the objective row's entries, unscaled.
  EXPECT_NEAR(unscaledObjectiveCoefficient(in, 0), 3.0, 1e-14);
  EXPECT_NEAR(unscaledObjectiveCoefficient(in, 1), 5.0, 1e-14);
  EXPECT_EQ(unscaledObjectiveCoefficient(in, 2), 0.0);

  std::vector<double> activity(2, 0.0);
  // Row 0 has activity 1002.0005 against its fixed limit 4 (slack bounds -4): a violation of
  // 998 that the scaled slack value does not show, since it comes from the columns.
  UnscaledCheckResult r = checkUnscaled(in, activity);
  EXPECT_EQ(r.primalCount, 1);
  EXPECT_EQ(r.worstPrimal.j, 3);
  EXPECT_NEAR(r.worstPrimal.amount, 998.0005, 1e-9);
  EXPECT_NEAR(r.worstPrimal.tolerance, 1e-6 * 5.0, 1e-18);
  // Column 0 at its upper bound has d = -(2 x 0.25 + 3) = -3.5 < 0: the right way. Column 2 at
  // its lower bound has d = -0.25 x 0.001 = -2.5e-4 < -1e-6: the wrong way. The fixed slack
  // never counts.
  EXPECT_EQ(r.dualCount, 1);
  EXPECT_EQ(r.worstDual.j, 2);
  EXPECT_NEAR(r.worstDual.amount, 2.5e-4, 1e-15);
  EXPECT_FALSE(r.passed());

  // The same variable between its bounds, or superbasic, fails either way; at its upper bound
  // it points the right way.
  for (int32_t state : {-1, static_cast<int32_t>(kSuperbasic)}) {
    std::vector<int32_t> h2 = hs;
    h2[2] = state;
    in.hs = h2.data();
    EXPECT_EQ(checkUnscaled(in, activity).dualCount, 1) << state;
  }
  std::vector<int32_t> h3 = hs;
  h3[2] = kAtUpper;
  in.hs = h3.data();
  EXPECT_EQ(checkUnscaled(in, activity).dualCount, 0);
}

TEST(UnscaledCheck, TheScaledTestRepeatedWithTheFormerFactors) {
  // The problem now unscaled (factors 1), the former factors given: a reduced cost of -2e-7
  // passes the unscaled test but, times a column factor of 100, fails the scaled one.
  Problem p = smallProblem();
  std::vector<double> ones(5, 1.0), former = {1.0, 1.0, 100.0, 1.0, 1.0};
  const std::vector<double> x = {10.0, 1.0, -1.0, 0.0, 0.0};
  const std::vector<double> pi = {2e-4, 0.0};  // d = (-4e-4, -0.2, -2e-7)
  const std::vector<int32_t> hs = {kAtUpper, kAtUpper, kAtLower, kBasic, kBasic};
  p.lower[3] = -kInfinity;
  p.upper[3] = kInfinity;
  UnscaledCheckInput in;
  in.prob = &p;
  in.scales = &ones;
  in.x = x.data();
  in.hs = hs.data();
  in.pi = pi.data();
  std::vector<double> activity(2, 0.0);
  EXPECT_TRUE(checkUnscaled(in, activity).passed());
  in.formerScales = &former;
  const UnscaledCheckResult r = checkUnscaled(in, activity);
  EXPECT_EQ(r.dualCount, 0);
  EXPECT_EQ(r.scaledDualCount, 1);
  EXPECT_FALSE(r.passed());
}

// ---- AFIRO with a wide row

Problem readAfiro() {
  Optimizer opt;
  opt.initialize({});
  MpsResult r = testing::readMpsForTest(opt, std::string(KAVRO_TEST_DATA_DIR) + "/netlib/afiro.mps.gz");
  EXPECT_EQ(r.exitCode, 0);
  return r.problem;
}

// A last row over all 32 columns with coefficients 10^(-12 + 24 j / 31), as a 7-digit MPS
// field would give them, and the right-hand side rhs; kind 'E', 'L' or 'G'.
Problem withWideRow(Problem p, char kind, double rhs) {
  const int32_t n = p.n, row = p.m;
  SparseMatrix a;
  a.colStart.push_back(0);
  for (int32_t j = 0; j < n; ++j) {
    for (int32_t k = p.a.colStart[static_cast<size_t>(j)]; k < p.a.colStart[static_cast<size_t>(j) + 1]; ++k) {
      a.row.push_back(p.a.row[static_cast<size_t>(k)]);
      a.value.push_back(p.a.value[static_cast<size_t>(k)]);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.6e", std::pow(10.0, -12.0 + 24.0 * j / (n - 1)));
    a.row.push_back(row);
    a.value.push_back(std::strtod(text, nullptr));
    a.colStart.push_back(static_cast<int32_t>(a.row.size()));
  }
  p.a = a;
  p.m = row + 1;
  // The slack holds minus the activity.
  p.lower.push_back(kind == 'G' ? -kInfinity : -rhs);
  p.upper.push_back(kind == 'L' ? kInfinity : -rhs);
  return p;
}

struct WideCase {
  char kind;
  double rhs;
  double optimum;  // computed in exact rational arithmetic from the same data
};

// The right-hand sides are 0.995, 0.99 and 1.01 (and 0.5) times the row's activity at AFIRO's
// optimum, so the row binds (or, for >=, need not).
const WideCase kWideCases[] = {
    {'E', 1.241628e+13, -463.846937603363},
    {'L', 1.235388e+13, -462.94058205744},
    {'G', 1.260346e+13, -464.753142857143},
};

SolveResult solveWith(const Problem& p, std::initializer_list<const char*> specs, ProblemState& state) {
  Optimizer opt;
  opt.initialize({});
  EXPECT_EQ(opt.setSpecsLine("Iterations limit 1000"), 0);
  for (const char* line : specs) EXPECT_EQ(opt.setSpecsLine(line), 0) << line;
  state.resizeFor(p);
  SolveOptions o;
  o.workLength = estimateWorkWords(p.m, p.n, p.nElements(), 0);
  return opt.solve(p, state, o);
}

TEST(UnscaledCheck, AfiroWithAWideRowEndsAtTheTrueOptimum) {
  const Problem afiro = readAfiro();
  ASSERT_EQ(afiro.n, 32);
  for (const WideCase& c : kWideCases)
    for (const char* rule : {"Pricing option 0", "Pricing option 1", "Pricing option 2"}) {
      SCOPED_TRACE(std::string(1, c.kind) + " " + rule);
      ProblemState state;
      const SolveResult r = solveWith(withWideRow(afiro, c.kind, c.rhs), {rule}, state);
      EXPECT_EQ(r.exitCode, 0);
      EXPECT_NEAR(r.objValue, c.optimum, 1e-6 * std::fabs(c.optimum));
    }
}

// With a superbasic start the reduced gradients of the superbasics are checked like the
// reduced costs of variables between their bounds.
TEST(UnscaledCheck, AfiroWithAWideRowAndSuperbasics) {
  const Problem afiro = readAfiro();
  for (const WideCase& c : kWideCases) {
    SCOPED_TRACE(std::string(1, c.kind));
    ProblemState state;
    const SolveResult r = solveWith(withWideRow(afiro, c.kind, c.rhs), {"Superbasics limit 20", "Multiple price 5"},
                                    state);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NEAR(r.objValue, c.optimum, 1e-6 * std::fabs(c.optimum));
  }
}

}  // namespace
}  // namespace kavro
