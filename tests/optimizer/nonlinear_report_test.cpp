// What the print file of a run says about its derivatives and subproblems: the Jacobian is
// verified whatever the objective, the optimality test names the variable with the biggest
// reduced cost, and a subproblem that ends early is reported in the major log, never by an EXIT
// line while the major iterations go on.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
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

struct PrintedRun {
  SolveResult result;
  ProblemState state;
  std::vector<std::string> print;
};

int count(const std::vector<std::string>& lines, const std::string& text) {
  int n = 0;
  for (const std::string& line : lines) n += line.find(text) != std::string::npos;
  return n;
}

PrintedRun solvePrinted(const Problem& p, NonlinearFunctions* functions, const std::vector<double>& x0,
                        std::initializer_list<const char*> specs) {
  const std::string path = kavro::testing::uniqueTempPath("nonlinear_report", ".print");
  PrintedRun run;
  {  // the optimizer closes its print file when it goes
    Optimizer opt;
    opt.connectUnit(9, path);
    opt.initialize({9, 0, 0});
    for (const char* line : specs) EXPECT_EQ(opt.setSpecsLine(line), 0) << line;
    run.state.resizeFor(p);
    for (size_t j = 0; j < x0.size(); ++j) run.state.x[j] = x0[j];
    SolveOptions o;
    o.workLength = 400000;
    o.functions = functions;
    run.result = opt.solve(p, run.state, o);
  }
  run.print = readLines(path);
  std::remove(path.c_str());
  return run;
}

// Minimize x + y on the disc x^2 + y^2 <= 1 (objective row 1, linear): the constraint is the
// only nonlinear function. jacobianFactor scales the first Jacobian element the routine returns.
PrintedRun solveDisc(double jacobianFactor, std::initializer_list<const char*> specs) {
  Problem p = makeProblem(DenseLp{{{1, 1}, {1, 1}}, {-kInf, -kInf}, {1.0, kInf}, {-5, -5}, {5, 5}, 1});
  p.nNonlinCons = 1;
  p.nNonlinJacVars = 2;
  FunctionsFromCallables functions({}, [=](std::span<const double> x, std::span<double> f, std::span<double> jac) {
    f[0] = x[0] * x[0] + x[1] * x[1];
    jac[0] = 2 * x[0] * jacobianFactor;
    jac[1] = 2 * x[1];
    return true;
  });
  return solvePrinted(p, &functions, {2.0, 0.2}, specs);
}

TEST(NonlinearReport, JacobianIsVerifiedWithALinearObjectiveAndNoLagrangian) {
  {
    const PrintedRun run = solveDisc(1.0,
                                     {"Print level 1", "Iterations limit 1000", "Lagrangian No", "Verify level 3"});
    // (Without the Lagrangian's terms the linearized subproblems need not settle: only the check
    // is of interest here.)
    EXPECT_NE(run.result.exitCode, kBadConstraintGradient);
    EXPECT_EQ(count(run.print, " Verification of constraint gradients returned by subroutine funcon."), 1);
    EXPECT_EQ(count(run.print, " The Jacobian seems to be OK."), 1);
    EXPECT_EQ(count(run.print, " 2 Jacobian elements in cols 1 thru 2 seem to be OK."), 1);
  }
  {
    const PrintedRun run = solveDisc(-1.0,
                                     {"Print level 1", "Iterations limit 1000", "Lagrangian No", "Verify level 3"});
    EXPECT_EQ(run.result.exitCode, kBadConstraintGradient);
    const int heading = find(run.print, " Verification of constraint gradients returned by subroutine funcon.");
    ASSERT_GE(heading, 0);
    const int verdict = find(run.print, " XXX  The Jacobian seems to be incorrect.", heading);
    const int summary = find(run.print, " XXX  There seem to be 1 incorrect Jacobian elements in cols 1 thru 2",
                             verdict);
    const int exitLine = find(run.print, " EXIT -- subroutine funcon appears to be giving incorrect gradients",
                              summary);
    EXPECT_GT(verdict, heading);
    EXPECT_GT(summary, verdict);
    EXPECT_GT(exitLine, summary);
    EXPECT_EQ(count(run.print, "bad?"), 1);
    EXPECT_EQ(count(run.print, " EXIT --"), 1);
  }
  {  // the cheap test alone never ends the run
    const PrintedRun run = solveDisc(-1.0,
                                     {"Print level 1", "Iterations limit 1000", "Lagrangian No", "Verify level 0"});
    EXPECT_EQ(count(run.print, " Cheap test on funcon..."), 1);
    EXPECT_EQ(count(run.print, " XXX  The Jacobian seems to be incorrect."), 1);
    EXPECT_NE(run.result.exitCode, kBadConstraintGradient);
  }
}

// min -2 x1 + c2 x2 subject to 2 x1 + x2 <= 2, x >= 0 (objective row 1). The simplex step takes
// x1 (the larger measure) into the basis: pi = -1, and x2 is left at its bound with dj = c2 + 1.
PrintedRun solveTwoColumnLp(double c2, std::initializer_list<const char*> specs) {
  const Problem p = makeProblem(DenseLp{{{2, 1}, {-2, c2}}, {-kInf, -kInf}, {2, kInf}, {0, 0}, {kInf, kInf}, 1});
  return solvePrinted(p, nullptr, {}, specs);
}

TEST(NonlinearReport, OptimalityTestNamesTheBiggestReducedCostPricingSaw) {
  for (const char* pricing : {"Pricing option 0", "Pricing option 2"}) {
    SCOPED_TRACE(pricing);
    {  // x2's dj of -0.005 prices out only above the tolerance of 0.01
      const PrintedRun run = solveTwoColumnLp(
          -1.005, {"Print level 1", "Scale option 0", "Optimality tolerance 0.01", pricing});
      EXPECT_EQ(run.result.exitCode, kOptimal);
      const int line = find(run.print, " Biggest dj =");
      ASSERT_GE(line, 0);
      int variable = 0;
      double dj = 0.0;
      std::istringstream(run.print[static_cast<size_t>(line)].substr(13)) >> dj;
      std::sscanf(run.print[static_cast<size_t>(line)].c_str(), " Biggest dj = %*g (variable %d)", &variable);
      EXPECT_EQ(variable, 2);
      EXPECT_NEAR(dj, run.state.reducedCost[1], 1e-6);
      EXPECT_NEAR(dj, -0.005, 1e-6);
      EXPECT_EQ(count(run.print, " Biggest dj ="), 1);
    }
    {  // every measure is negative at the optimum: no biggest dj to name
      const PrintedRun run = solveTwoColumnLp(-0.9, {"Print level 1", "Scale option 0", pricing});
      EXPECT_EQ(run.result.exitCode, kOptimal);
      EXPECT_EQ(count(run.print, "Biggest dj"), 0);
      EXPECT_EQ(count(run.print, "(variable       0)"), 0);
    }
  }
}

TEST(NonlinearReport, ProblemOptimalAtItsStartEndsAfterNoIterations) {
  // min x1 + x2 subject to x1 + x2 <= 2, x >= 0: the slack basis is optimal.
  const Problem p = makeProblem(DenseLp{{{1, 1}, {1, 1}}, {-kInf, -kInf}, {2, kInf}, {0, 0}, {kInf, kInf}, 1});
  const PrintedRun run = solvePrinted(p, nullptr, {}, {"Print level 1"});
  EXPECT_EQ(run.result.exitCode, kOptimal);
  EXPECT_EQ(run.result.minorIterations, 0);
  EXPECT_EQ(count(run.print, " No. of iterations                  0"), 1);
  EXPECT_EQ(count(run.print, " EXIT -- optimal solution found"), 1);
  EXPECT_EQ(count(run.print, " No. of degenerate steps            0     Percentage                       0.00"), 1);
}

// Maximize z subject to x^2 + y^2 <= 1 and z >= x - 5, z free: the problem is unbounded, but
// only along z, which no linearization of the disc bounds either; the first subproblem (the
// linear rows alone) ends at once at a feasible point, so the ray is met in later ones.
PrintedRun solveRayBeyondTheDisc(std::initializer_list<const char*> specs) {
  Problem p = makeProblem(DenseLp{
      {{1, 1, 0}, {-1, 0, 1}, {0, 0, -1}}, {-kInf, -5, -kInf}, {1.0, kInf, kInf}, {-5, -5, -kInf}, {5, 5, kInf}, 2});
  p.nNonlinCons = 1;
  p.nNonlinJacVars = 2;
  FunctionsFromCallables functions({}, [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
    f[0] = x[0] * x[0] + x[1] * x[1];
    jac[0] = 2 * x[0];
    jac[1] = 2 * x[1];
    return true;
  });
  return solvePrinted(p, &functions, {0.1, 0.2, 0.0}, specs);
}

TEST(NonlinearReport, UnboundedLaterSubproblemEndsItsMajorIterationNotTheRun) {
  const PrintedRun run = solveRayBeyondTheDisc({"Print level 1", "Iterations limit 1000"});
  // The point never moves: after four majors with the same Jacobian variables the run ends.
  EXPECT_EQ(run.result.exitCode, kCannotImprove);
  EXPECT_EQ(count(run.print, " EXIT --"), 1);
  const int exitLine = find(run.print, " EXIT -- the current point cannot be improved upon");
  const int statistics = find(run.print, " Problem name");
  EXPECT_GT(statistics, exitLine);
  int unbounded = 0;
  for (int k = find(run.print, " Major minor"); k >= 0 && k < exitLine; k = find(run.print, " Major minor", k + 1)) {
    const std::string& line = run.print[static_cast<size_t>(k + 1)];
    const int major = std::atoi(line.c_str());
    EXPECT_EQ(line.back(), major > 1 ? 'U' : ' ') << line;
    unbounded += line.back() == 'U';
  }
  EXPECT_EQ(unbounded, 3);
  EXPECT_EQ(count(run.print, " XXX  the problem itself is not shown to be unbounded"), 3);
  EXPECT_EQ(count(run.print, "minor itns terminated at"), 3);
}

}  // namespace
}  // namespace kavro
