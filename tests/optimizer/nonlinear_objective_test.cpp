// Problems with a nonlinear objective and linear constraints, solved through the library with
// functions given as callables: known optima, the exits a user meets, and points where the
// functions are undefined.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "kavro/functions.hpp"
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
  double f = 0.0;
};

Solved solveNlp(Problem p, int nNonlinObjVars, const ObjectiveCallable& objective, std::vector<double> x0,
                std::initializer_list<const char*> specs = {}) {
  p.nNonlinObjVars = nNonlinObjVars;
  FunctionsFromCallables functions(objective);
  Optimizer opt;
  // KAVRO_TEST_PRINT=path keeps the full report of the run, for looking into a failure.
  const char* print = std::getenv("KAVRO_TEST_PRINT");
  if (print) opt.connectUnit(9, print);
  opt.initialize({print ? 9 : 0, 0, 0});
  if (print) opt.setSpecsLine("Print level 1");
  for (const char* line : specs) EXPECT_EQ(opt.setSpecsLine(line), 0) << line;
  Solved r;
  r.state.resizeFor(p);
  for (size_t j = 0; j < x0.size(); ++j) r.state.x[j] = x0[j];
  SolveOptions o;
  o.workLength = 400000;
  o.functions = &functions;
  r.result = opt.solve(p, r.state, o);
  return r;
}

bool rosenbrock(std::span<const double> x, double& f, std::span<double> g) {
  const double a = x[1] - x[0] * x[0], b = 1.0 - x[0];
  f = 100.0 * a * a + b * b;
  g[0] = -400.0 * a * x[0] - 2.0 * b;
  g[1] = 200.0 * a;
  return true;
}

// One free row with no entries: the problems below have only bounds.
Problem boundsOnly(std::vector<double> lower, std::vector<double> upper) {
  const size_t n = lower.size();
  return makeProblem(DenseLp{{std::vector<double>(n, 0.0)}, {-kInf}, {kInf}, std::move(lower), std::move(upper)});
}

TEST(NonlinearObjective, RosenbrockFromTheClassicStart) {
  const Solved r = solveNlp(boundsOnly({-10, -10}, {10, 10}), 2, rosenbrock, {-1.2, 1.0});
  EXPECT_EQ(r.result.exitCode, kOptimal);
  EXPECT_NEAR(r.state.x[0], 1.0, 1e-4);
  EXPECT_NEAR(r.state.x[1], 1.0, 1e-4);
  EXPECT_NEAR(r.result.objValue, 0.0, 1e-8);
  EXPECT_LE(r.result.minorIterations, 100);
}

// Brown's badly scaled function: the gradient near the minimizer is as large as the function
// precision allows (about 1e-3 in x2), which the reduced-gradient test accepts. The reduced-cost
// check that a linear objective meets before "optimal" must not apply here: with it the run
// went on, found nothing to do and ended with "basis factorization requested twice in a row".
bool brownBadlyScaled(std::span<const double> x, double& f, std::span<double> g) {
  const double a = x[0] - 1.0e6, b = x[1] - 2.0e-6, c = x[0] * x[1] - 2.0;
  f = a * a + b * b + c * c;
  g[0] = 2.0 * a + 2.0 * c * x[1];
  g[1] = 2.0 * b + 2.0 * c * x[0];
  return true;
}

TEST(NonlinearObjective, BadlyScaledMinimumEndsOptimal) {
  const Solved r = solveNlp(boundsOnly({-1e20, -1e20}, {1e20, 1e20}), 2, brownBadlyScaled, {1.0, 1.0});
  EXPECT_EQ(r.result.exitCode, kOptimal);
  EXPECT_NEAR(r.result.objValue, 0.0, 1e-8);
  EXPECT_NEAR(r.state.x[0], 1.0e6, 1e-2);
}

TEST(NonlinearObjective, ActiveBoundStopsAtTheBoundaryMinimizer) {
  // x0 <= 0.5 is active: minimizer (0.5, 0.25) with f = 0.25.
  const Solved r = solveNlp(boundsOnly({-2, -2}, {0.5, 2}), 2, rosenbrock, {-1.2, 1.0});
  EXPECT_EQ(r.result.exitCode, kOptimal);
  EXPECT_NEAR(r.state.x[0], 0.5, 1e-8);
  EXPECT_NEAR(r.state.x[1], 0.25, 1e-4);
  EXPECT_NEAR(r.result.objValue, 0.25, 1e-7);
}

// Hock-Schittkowski 21: min 0.01 x1^2 + x2^2 - 100, 10 x1 - x2 >= 10, 2 <= x1 <= 50,
// -50 <= x2 <= 50; optimum -99.96 at (2, 0).
TEST(NonlinearObjective, Hs21LinearInequality) {
  const Problem p = makeProblem(DenseLp{{{10, -1}}, {10}, {kInf}, {2, -50}, {50, 50}});
  const Solved r = solveNlp(p, 2,
                            [](std::span<const double> x, double& f, std::span<double> g) {
                              f = 0.01 * x[0] * x[0] + x[1] * x[1] - 100.0;
                              g[0] = 0.02 * x[0];
                              g[1] = 2.0 * x[1];
                              return true;
                            },
                            {-1, -1});
  EXPECT_EQ(r.result.exitCode, kOptimal);
  EXPECT_NEAR(r.result.objValue, -99.96, 1e-8);
}

// Hock-Schittkowski 35: a convex quadratic with x1 + x2 + 2 x3 <= 3, x >= 0; optimum 1/9.
TEST(NonlinearObjective, Hs35QuadraticWithOneInequality) {
  const Problem p = makeProblem(DenseLp{{{1, 1, 2}}, {-kInf}, {3}, {0, 0, 0}, {kInf, kInf, kInf}});
  const Solved r = solveNlp(p, 3,
                            [](std::span<const double> x, double& f, std::span<double> g) {
                              f = 9 - 8 * x[0] - 6 * x[1] - 4 * x[2] + 2 * x[0] * x[0] + 2 * x[1] * x[1] + x[2] * x[2] +
                                  2 * x[0] * x[1] + 2 * x[0] * x[2];
                              g[0] = -8 + 4 * x[0] + 2 * x[1] + 2 * x[2];
                              g[1] = -6 + 4 * x[1] + 2 * x[0];
                              g[2] = -4 + 2 * x[2] + 2 * x[0];
                              return true;
                            },
                            {0.5, 0.5, 0.5});
  EXPECT_EQ(r.result.exitCode, kOptimal);
  EXPECT_NEAR(r.result.objValue, 1.0 / 9.0, 1e-8);
  EXPECT_NEAR(r.state.x[0], 4.0 / 3.0, 1e-4);
  EXPECT_NEAR(r.state.x[1], 7.0 / 9.0, 1e-4);
  EXPECT_NEAR(r.state.x[2], 4.0 / 9.0, 1e-4);
}

// A separable quadratic in 60 variables on a simplex-like set: every variable ends strictly
// inside its bounds, so the solution has many superbasics.
TEST(NonlinearObjective, ManySuperbasics) {
  const int n = 60;
  DenseLp lp{{std::vector<double>(n, 1.0)}, {10}, {10}, std::vector<double>(n, 0.0), std::vector<double>(n, 1.0)};
  const Solved r = solveNlp(makeProblem(lp), n,
                            [n](std::span<const double> x, double& f, std::span<double> g) {
                              f = 0.0;
                              for (int j = 0; j < n; ++j) {
                                const double w = 1.0 + j % 7, d = x[j] - 0.5 / w;
                                f += w * d * d;
                                g[j] = 2.0 * w * d;
                              }
                              return true;
                            },
                            {}, {"Superbasics limit 100"});
  ASSERT_EQ(r.result.exitCode, kOptimal);
  // Optimality: all gradients equal on the free variables (one multiplier for the sum).
  double sum = 0.0;
  for (int j = 0; j < n; ++j) sum += r.state.x[static_cast<size_t>(j)];
  EXPECT_NEAR(sum, 10.0, 1e-8);
  EXPECT_GT(r.state.ns, 40);
}

// With "Hessian dimension" 1 only the first superbasic has a quasi-Newton column; the others get
// a diagonal, and after a few such directions the search keeps to the first one at a time.
TEST(NonlinearObjective, HessianDimensionOneWithSeveralSuperbasics) {
  const int n = 8;
  DenseLp lp{{std::vector<double>(n, 1.0)}, {2}, {2}, std::vector<double>(n, 0.0), std::vector<double>(n, 1.0)};
  const Solved r = solveNlp(makeProblem(lp), n,
                            [n](std::span<const double> x, double& f, std::span<double> g) {
                              f = 0.0;
                              for (int j = 0; j < n; ++j) {
                                const double w = 1.0 + j, d = x[j] - 0.1 * (j % 3);
                                f += w * d * d;
                                g[j] = 2.0 * w * d;
                              }
                              return true;
                            },
                            {},
                            {"Hessian dimension 1", "Superbasics limit 10", "Iterations limit 2000",
                             "Linesearch debug after 103", "Log frequency 1"});
  ASSERT_EQ(r.result.exitCode, kOptimal);
  // Optimal: every variable strictly inside its bounds has the same w (x - c) (one multiplier).
  double multiplier = 0.0;
  bool first = true;
  for (int j = 0; j < n; ++j) {
    const double x = r.state.x[static_cast<size_t>(j)];
    if (x <= 1e-7 || x >= 1 - 1e-7) continue;
    const double m = 2.0 * (1.0 + j) * (x - 0.1 * (j % 3));
    if (first) multiplier = m;
    first = false;
    EXPECT_NEAR(m, multiplier, 1e-5);
  }
  EXPECT_GT(r.state.ns, 1);
}

// At the kink of w (|x - 0.3| + |y - 0.4|) the gradient never vanishes and every direction the
// quasi-Newton model proposes goes uphill, so the retries after the failed searches run:
//  - with a small reduced gradient (w = 1) the third retry prices again and, finding nothing,
//    takes the point as near-optimal (exit 13, with the warning that it is not really optimal);
//  - with a large one (w = 100) pricing is not worth asking, the refactorization is tried and
//    the next failure ends the run: exit 9, or exit 5 with the superbasics limit full.
TEST(NonlinearObjective, NonSmoothFunctionExhaustsTheRetries) {
  auto kink = [](double w) {
    return [w](std::span<const double> x, double& f, std::span<double> g) {
      f = w * (std::fabs(x[0] - 0.3) + std::fabs(x[1] - 0.4));
      g[0] = x[0] >= 0.3 ? w : -w;
      g[1] = x[1] >= 0.4 ? w : -w;
      return true;
    };
  };
  const Problem p = boundsOnly({-1, -1}, {1, 1});
  EXPECT_EQ(solveNlp(p, 2, kink(1.0), {0.9, -0.8}, {"Verify level -1"}).result.exitCode, kNearOptimal);
  EXPECT_EQ(solveNlp(p, 2, kink(100.0), {0.9, -0.8}, {"Verify level -1"}).result.exitCode, kCannotImprove);
  EXPECT_EQ(solveNlp(p, 2, kink(1.0), {0.9, -0.8}, {"Verify level -1", "Superbasics limit 1"}).result.exitCode,
            kSuperbasicsLimit);
}

TEST(NonlinearObjective, SuperbasicsLimitTooSmallEndsWithExitFive) {
  const int n = 30;
  DenseLp lp{{std::vector<double>(n, 1.0)}, {5}, {5}, std::vector<double>(n, 0.0), std::vector<double>(n, 1.0)};
  const Solved r = solveNlp(makeProblem(lp), n,
                            [n](std::span<const double> x, double& f, std::span<double> g) {
                              f = 0.0;
                              for (int j = 0; j < n; ++j) {
                                f += (x[j] - 0.2) * (x[j] - 0.2);
                                g[j] = 2.0 * (x[j] - 0.2);
                              }
                              return true;
                            },
                            {}, {"Superbasics limit 3"});
  EXPECT_EQ(r.result.exitCode, kSuperbasicsLimit);
}

TEST(NonlinearObjective, MaximizationOfAConcaveFunction) {
  // max -(x - 3)^2 - (y + 1)^2 with x + y <= 1: optimum at (2.5, -1.5), value -0.5.
  const Problem p = makeProblem(DenseLp{{{1, 1}}, {-kInf}, {1}, {-10, -10}, {10, 10}});
  const Solved r = solveNlp(p, 2,
                            [](std::span<const double> x, double& f, std::span<double> g) {
                              f = -(x[0] - 3) * (x[0] - 3) - (x[1] + 1) * (x[1] + 1);
                              g[0] = -2 * (x[0] - 3);
                              g[1] = -2 * (x[1] + 1);
                              return true;
                            },
                            {0, 0}, {"Maximize"});
  EXPECT_EQ(r.result.exitCode, kOptimal);
  EXPECT_NEAR(r.result.objValue, -0.5, 1e-8);
  EXPECT_NEAR(r.state.x[0], 2.5, 1e-5);
}

TEST(NonlinearObjective, UnboundedBelow) {
  const Solved r = solveNlp(boundsOnly({-kInf}, {kInf}), 1,
                            [](std::span<const double> x, double& f, std::span<double> g) {
                              f = -x[0] * x[0] * x[0];
                              g[0] = -3 * x[0] * x[0];
                              return true;
                            },
                            {1.0});
  EXPECT_EQ(r.result.exitCode, kUnbounded);
}

TEST(NonlinearObjective, InfeasibleLinearConstraints) {
  // x + y >= 3 with x, y <= 1.
  const Problem p = makeProblem(DenseLp{{{1, 1}}, {3}, {kInf}, {0, 0}, {1, 1}});
  const Solved r = solveNlp(p, 2, rosenbrock, {0, 0});
  EXPECT_EQ(r.result.exitCode, kInfeasible);
}

// x - log(x) - 2 sqrt(y) + y: log and sqrt are undefined below 0, the box allows it, and the
// optimum (1, 1) is inside the domain. From x = 20 the linesearch extrapolates along a falling
// objective until a trial lands outside the domain; it backs off instead of failing.
TEST(NonlinearObjective, UndefinedRegionIsAvoidedByTheLinesearch) {
  int undefinedCalls = 0;
  const Solved r = solveNlp(boundsOnly({-50, -50}, {50, 50}), 2,
                            [&](std::span<const double> x, double& f, std::span<double> g) {
                              if (x[0] <= 0.0 || x[1] < 0.0) {
                                ++undefinedCalls;
                                return false;
                              }
                              f = x[0] - std::log(x[0]) - 2.0 * std::sqrt(x[1]) + x[1];
                              g[0] = 1.0 - 1.0 / x[0];
                              g[1] = x[1] > 0.0 ? 1.0 - 1.0 / std::sqrt(x[1]) : -1e10;
                              return true;
                            },
                            {20.0, 4.0});
  EXPECT_EQ(r.result.exitCode, kOptimal);
  EXPECT_NEAR(r.state.x[0], 1.0, 1e-4);
  EXPECT_NEAR(r.state.x[1], 1.0, 1e-4);
  EXPECT_GT(undefinedCalls, 0);
}

TEST(NonlinearObjective, UndefinedAtTheFirstFeasiblePointEndsWithExitSix) {
  const Solved r = solveNlp(boundsOnly({-1}, {1}), 1,
                            [](std::span<const double>, double&, std::span<double>) { return false; }, {0.0});
  EXPECT_EQ(r.result.exitCode, kFunctionError);
}

TEST(NonlinearObjective, NonFiniteValuesNeverReachTheReportedPoint) {
  // NaN where x > 2: the step must back off and the reported point must be finite.
  const Solved r = solveNlp(boundsOnly({0}, {10}), 1,
                            [](std::span<const double> x, double& f, std::span<double> g) {
                              if (x[0] > 2.0) {
                                f = std::nan("");
                                g[0] = std::nan("");
                                return true;
                              }
                              f = -x[0];
                              g[0] = -1.0;
                              return true;
                            },
                            {0.5});
  EXPECT_TRUE(std::isfinite(r.state.x[0]));
  EXPECT_TRUE(std::isfinite(r.result.objValue));
  EXPECT_LE(r.state.x[0], 2.0);
}

// A quartic in 200 variables whose steps near the solution change the objective by less than
// its precision: the quasi-Newton factor must keep learning from them (exact gradients), or the
// run crawls until the objective stops changing instead of converging.
TEST(NonlinearObjective, FactorKeepsLearningFromTinyStepsNearTheSolution) {
  const int n = 200;
  auto quartic = [n](std::span<const double> x, double& f, std::span<double> g) {
    f = 0.0;
    std::fill(g.begin(), g.end(), 0.0);
    for (int i = 0; i + 4 < n; ++i) {
      const double a = -4.0 * x[i] + 3.0;
      const double q = x[i] * x[i] + 2 * x[i + 1] * x[i + 1] + 3 * x[i + 2] * x[i + 2] + 4 * x[i + 3] * x[i + 3] +
                       5 * x[n - 1] * x[n - 1];
      f += a * a + q * q;
      g[i] += -8.0 * a + 4.0 * q * x[i];
      g[i + 1] += 8.0 * q * x[i + 1];
      g[i + 2] += 12.0 * q * x[i + 2];
      g[i + 3] += 16.0 * q * x[i + 3];
      g[n - 1] += 20.0 * q * x[n - 1];
    }
    return true;
  };
  const Solved r = solveNlp(boundsOnly(std::vector<double>(n, -kInf), std::vector<double>(n, kInf)), n, quartic,
                            std::vector<double>(n, 1.0),
                            {"Superbasics limit 201", "Hessian dimension 201", "Multiple price 201"});
  EXPECT_EQ(r.result.exitCode, kOptimal);
  EXPECT_LT(r.result.minorIterations, 1000);
}

}  // namespace
}  // namespace kavro
