// The optimizer's problem made from a .nl model, and the nonlinear functions served to it:
// the split between the functions and the matrix (objective row, linear columns of nonlinear
// rows) recombined must give the model's own functions back, the Jacobian vector must follow the
// matrix's order, and derivatives must match central differences of the values served.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kavro/solver.hpp"
#include "nl/nl_evaluator.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_problem.hpp"
#include "nl_test_support.hpp"

namespace kavro::nl {
namespace {

using testing::readValid;

Model mixedModel() { return readValid(testing::kMixedModel); }

TEST(NlProblem, MixedModelIsSplitBetweenFunctionsAndMatrix) {
  const Model m = mixedModel();
  BuiltProblem b;
  ASSERT_EQ(buildProblem(m, {}, b), "");
  const Problem& p = b.problem;
  EXPECT_EQ(p.n, 4);
  EXPECT_EQ(p.m, 4);
  EXPECT_EQ(p.objRow, 3);
  EXPECT_EQ(p.nNonlinCons, 2);
  EXPECT_EQ(p.nNonlinJacVars, 2);
  EXPECT_EQ(p.nNonlinObjVars, 3);
  EXPECT_TRUE(b.maximize);
  EXPECT_EQ(b.objective, 0);
  // Nonlinear entries: (x0, x1) in row 0, x0 in row 1, (x0, x1, x2) in the objective.
  EXPECT_EQ(b.nonlinearEntries, 2 + 1 + 3);
  // Columns: rows increasing, the objective row only where the column is past nNonlinObjVars.
  EXPECT_EQ(p.a.colStart, (std::vector<int32_t>{0, 3, 5, 7, 10}));
  EXPECT_EQ(p.a.row, (std::vector<int32_t>{0, 1, 2, 0, 1, 0, 2, 1, 2, 3}));
  // The Jacobian block (rows 0-1, columns 0-1) holds the derivatives at the starting point
  // x = (0.5, 1.5, -0.25, 2): d0/dx0 = 2 x0 x1 + 3, d1/dx0 = exp(x0), d0/dx1 = w + 2 x1, d1/dx1 = 2.
  const double x0 = 0.5, x1 = 1.5, w = x0 * x0 + 2 * x1;
  EXPECT_DOUBLE_EQ(p.a.value[0], 2 * x0 * x1 + 3);
  EXPECT_DOUBLE_EQ(p.a.value[1], std::exp(x0));
  EXPECT_DOUBLE_EQ(p.a.value[3], w + 2 * x1);
  EXPECT_DOUBLE_EQ(p.a.value[4], 2.0);
  // The other coefficients as given; the objective row holds 5 for x3.
  EXPECT_EQ(p.a.value[2], 1.0);
  EXPECT_EQ(p.a.value[5], 1.0);
  EXPECT_EQ(p.a.value[6], 1.0);
  EXPECT_EQ(p.a.value[7], -1.0);
  EXPECT_EQ(p.a.value[9], 5.0);
  // Slack bounds: minus the body's range; the linear row's constant 1.5 moves its range.
  EXPECT_EQ(p.lower[4], -10.0);
  EXPECT_EQ(p.upper[4], 10.0);
  EXPECT_EQ(p.lower[5], -20.0);
  EXPECT_EQ(p.upper[5], kInfinity);
  EXPECT_EQ(p.lower[6], -(2.0 - 1.5));
  EXPECT_EQ(p.upper[6], -(2.0 - 1.5));
  EXPECT_EQ(p.lower[7], -kInfinity);
  EXPECT_EQ(p.upper[7], kInfinity);
  // Variable bounds, infinite ones at 1e20.
  EXPECT_EQ(p.lower[0], -2.0);
  EXPECT_EQ(p.upper[1], kInfinity);
  EXPECT_EQ(p.upper[2], 5.0);
  EXPECT_EQ(p.lower[3], -kInfinity);
  // Start: the model's point, slacks at minus the bodies, the objective slack at minus the
  // linear objective part of the later columns; duals negated for maximization.
  const ProblemState& s = b.state;
  EXPECT_EQ(s.x[0], 0.5);
  EXPECT_EQ(s.x[3], 2.0);
  EXPECT_DOUBLE_EQ(s.x[4], -(w * x1 + 3 * x0 - 0.25));
  EXPECT_DOUBLE_EQ(s.x[5], -(std::exp(x0) + 2 * x1 - 2.0));
  EXPECT_DOUBLE_EQ(s.x[6], -(1.5 + 0.5 - 0.25 + 2.0));
  EXPECT_DOUBLE_EQ(s.x[7], -(5.0 * 2.0));
  EXPECT_EQ(s.pi, (std::vector<double>{-0.5, 1.0, -2.0, 0.0}));
  EXPECT_EQ(p.objConstant, 0.0);
}

// Central differences are good to about h^2 (relative) plus the rounding of the two values
// divided by the step.
double differenceTolerance(double d, double fu, double fd, double h) {
  return 1e-6 * std::max(1.0, std::fabs(d)) + 1e-14 * std::max(std::fabs(fu), std::fabs(fd)) / h;
}

// The functions served plus what the matrix holds give the model's functions back, and every
// derivative matches central differences of the served values.
void checkFunctions(const Model& m, const BuiltProblem& b, const std::vector<double>& x) {
  const Problem& p = b.problem;
  ModelFunctions functions(m, b);
  Evaluator ev(m);
  ev.setPoint(x.data());
  const int32_t njac = functions.jacobianElements();
  auto objective = [&](const std::vector<double>& at, std::vector<double>& g) {
    int mode = 2;
    double f = 0.0;
    g.assign(static_cast<size_t>(p.nNonlinObjVars), -111111.0);
    functions.objective(mode, p.nNonlinObjVars, at.data(), f, g.data(), 0);
    EXPECT_EQ(mode, 2);
    return f;
  };
  auto constraints = [&](const std::vector<double>& at, std::vector<double>& g) {
    int mode = 2;
    std::vector<double> f(static_cast<size_t>(p.nNonlinCons));
    g.assign(static_cast<size_t>(std::max(njac, 1)), -111111.0);
    functions.constraints(mode, p.nNonlinCons, p.nNonlinJacVars, njac, at.data(), f.data(), g.data(), 0);
    EXPECT_EQ(mode, 2);
    return f;
  };
  std::vector<double> g, jac;
  const double f = objective(x, g);
  const std::vector<double> F = constraints(x, jac);
  // Recombined: objective = f + constant + sum over the objective row; rows = F + matrix part.
  std::vector<double> rowMatrixPart(static_cast<size_t>(p.m), 0.0);
  for (int32_t j = 0; j < p.n; ++j)
    for (int32_t k = p.a.colStart[static_cast<size_t>(j)]; k < p.a.colStart[static_cast<size_t>(j) + 1]; ++k) {
      const int32_t i = p.a.row[static_cast<size_t>(k)];
      if (i < p.nNonlinCons && j < p.nNonlinJacVars) continue;  // a Jacobian position
      rowMatrixPart[static_cast<size_t>(i)] += p.a.value[static_cast<size_t>(k)] * x[static_cast<size_t>(j)];
    }
  if (b.objective >= 0) {
    double whole = 0.0;
    ASSERT_TRUE(ev.value(m.objExpression(b.objective), whole));
    const double split = (p.nNonlinObjVars > 0 ? f : 0.0) + p.objConstant +
                         rowMatrixPart[static_cast<size_t>(p.objRow)];
    EXPECT_NEAR(split, whole, 1e-12 * std::max(1.0, std::fabs(whole)));
  }
  for (int32_t i = 0; i < p.nNonlinCons; ++i) {
    double body = 0.0;
    ASSERT_TRUE(ev.value(m.conExpression(i), body));
    EXPECT_NEAR(F[static_cast<size_t>(i)] + rowMatrixPart[static_cast<size_t>(i)], body,
                1e-12 * std::max(1.0, std::fabs(body)));
  }
  // Jacobian positions in matrix order, each against central differences of F.
  int32_t position = 0;
  for (int32_t j = 0; j < p.nNonlinJacVars; ++j) {
    std::vector<double> up = x, down = x, unused;
    const double h = 1e-6 * std::max(1.0, std::fabs(x[static_cast<size_t>(j)]));
    up[static_cast<size_t>(j)] += h;
    down[static_cast<size_t>(j)] -= h;
    const std::vector<double> Fu = constraints(up, unused), Fd = constraints(down, unused);
    for (int32_t k = p.a.colStart[static_cast<size_t>(j)]; k < p.a.colStart[static_cast<size_t>(j) + 1]; ++k) {
      const int32_t i = p.a.row[static_cast<size_t>(k)];
      if (i >= p.nNonlinCons) continue;
      const double fu = Fu[static_cast<size_t>(i)], fd = Fd[static_cast<size_t>(i)], d = (fu - fd) / (2 * h);
      EXPECT_NEAR(jac[static_cast<size_t>(position)], d, differenceTolerance(d, fu, fd, h))
          << "row " << i << " column " << j;
      ++position;
    }
  }
  EXPECT_EQ(position, njac);
  for (int32_t j = 0; j < p.nNonlinObjVars; ++j) {
    std::vector<double> up = x, down = x, unused;
    const double h = 1e-6 * std::max(1.0, std::fabs(x[static_cast<size_t>(j)]));
    up[static_cast<size_t>(j)] += h;
    down[static_cast<size_t>(j)] -= h;
    const double fu = objective(up, unused), fd = objective(down, unused), d = (fu - fd) / (2 * h);
    EXPECT_NEAR(g[static_cast<size_t>(j)], d, differenceTolerance(d, fu, fd, h)) << "column " << j;
  }
}

TEST(NlProblem, FunctionsRecombineToTheModelAndMatchDifferences) {
  const Model mixed = mixedModel();
  BuiltProblem b;
  ASSERT_EQ(buildProblem(mixed, {}, b), "");
  checkFunctions(mixed, b, {0.3, -1.2, 0.7, 2.5});
  // Models of the set: objective prefix longer than the constraints' (modele_opti, with defined
  // variables and tan), defined variables and if-then-else (helix), a plain one (hs071).
  for (const char* file : {"modele_opti.nl", "helix.nl", "hs071.nl", "weeds.nl", "dallass.nl"}) {
    SCOPED_TRACE(file);
    const ReadResult r = readNlFile(std::string(KAVRO_TEST_DATA_DIR "/nl/") + file);
    ASSERT_TRUE(r.ok) << r.error;
    BuiltProblem built;
    ASSERT_EQ(buildProblem(r.model, {}, built), "");
    std::vector<double> x = r.model.x0;
    for (size_t j = 0; j < x.size(); ++j) x[j] += 0.01 * static_cast<double>(j % 7) - 0.03;
    checkFunctions(r.model, built, x);
  }
}

TEST(NlProblem, EvaluationErrorsSetModeAndStopAtTheLimit) {
  testing::TextModel tm;
  tm.nVars = 2;
  tm.constraints = {"o43\nv0\n", "o2\nv0\nv1\n"};
  tm.objectives = {"o39\nv1\n"};
  const Model m = readValid(tm.text());
  BuiltProblem b;
  ASSERT_EQ(buildProblem(m, {}, b), "");
  ModelFunctions functions(m, b);
  functions.setErrorLimit(2);
  const std::vector<double> bad{-1.0, -4.0};
  std::vector<double> f(2), g(static_cast<size_t>(functions.jacobianElements()));
  int mode = 2;
  functions.constraints(mode, 2, 2, functions.jacobianElements(), bad.data(), f.data(), g.data(), 0);
  EXPECT_EQ(mode, -1);
  EXPECT_EQ(f[1], 4.0);  // the other row is still evaluated
  double obj = 0.0;
  std::vector<double> og(2);
  mode = 2;
  functions.objective(mode, 2, bad.data(), obj, og.data(), 0);
  EXPECT_EQ(mode, -1);
  EXPECT_EQ(functions.evaluationErrors(), 2);
  mode = 2;
  functions.objective(mode, 2, bad.data(), obj, og.data(), 0);
  EXPECT_EQ(mode, -2);  // the third error passes the limit of 2
  const std::vector<double> good{1.0, 4.0};
  mode = 2;
  functions.objective(mode, 2, good.data(), obj, og.data(), 0);
  EXPECT_EQ(mode, 2);
  EXPECT_EQ(obj, 2.0);
  EXPECT_EQ(og, (std::vector<double>{0.0, 0.25}));
}

std::string replaced(std::string s, const std::string& from, const std::string& to) {
  const size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? s : s.replace(at, from.size(), to);
}

TEST(NlProblem, UnsupportedModelsAndBrokenOrderAreRefused) {
  const std::string lp =
      "g3 1 1 0\n 2 1 1 0 0\n 0 0\n 0 0\n 0 0 0\n 0 0 0 1\n 0 0 0 0 0\n 2 2\n 0 0\n 0 0 0 0 0\n"
      "C0\nn0\nO0 0\nn3\nr\n2 1\nb\n0 0 1\n0 0 1\nJ0 2\n0 1\n1 1\nG0 2\n0 1\n1 2\n";
  BuiltProblem b;
  ASSERT_EQ(buildProblem(readValid(lp), {}, b), "");
  EXPECT_FALSE(b.nonlinear());
  EXPECT_EQ(b.problem.objConstant, 3.0);  // a linear objective's constant
  EXPECT_EQ(b.nonlinearEntries, 0);
  // No objective asked for: no objective row.
  BuildOptions none;
  none.objective = -1;
  ASSERT_EQ(buildProblem(readValid(lp), none, b), "");
  EXPECT_EQ(b.problem.objRow, -1);
  EXPECT_EQ(b.problem.m, 1);
  BuildOptions second;
  second.objective = 1;
  EXPECT_EQ(buildProblem(readValid(lp), second, b), "the model has no objective 2");

  const std::string integers = replaced(lp, " 0 0 0 0 0\n 2 2", " 1 0 0 0 0\n 2 2");
  EXPECT_NE(buildProblem(readValid(integers), {}, b).find("1 integer or binary variables"), std::string::npos);
  BuildOptions relax;
  relax.relaxIntegers = true;
  EXPECT_EQ(buildProblem(readValid(integers), relax, b), "");

  const std::string complement = replaced(lp, "r\n2 1\n", "r\n5 1 2\n");
  EXPECT_NE(buildProblem(readValid(complement), {}, b).find("constraint 0 is a complementarity condition"),
            std::string::npos);

  // A nonlinear constraint the header does not declare, and a variable beyond the declared
  // nonlinear ones.
  const std::string undeclared = replaced(lp, "C0\nn0", "C0\no2\nv0\nv1");
  EXPECT_NE(buildProblem(readValid(undeclared), {}, b).find("constraint 0 is nonlinear but the file declares only 0"),
            std::string::npos);
  const std::string beyond = replaced(undeclared, " 0 0\n 0 0\n 0 0 0\n", " 1 0\n 0 0\n 1 0 0\n");
  EXPECT_NE(buildProblem(readValid(beyond), {}, b).find("variable 1 occurs nonlinearly in a constraint"),
            std::string::npos);
}

// The optimizer's multipliers against the model's sensitivities: solving a small LP through the
// library, pi of a row is minus its slack's reduced cost and the change of the minimized
// objective per unit increase of the row's limit.
TEST(NlProblem, LinearModelSolvesWithMultipliersOfTheMinimizedObjective) {
  // min x0 + 3 x1  s.t.  x0 + x1 >= 1 + d,  x0 - x1 <= 0.5,  0 <= x <= 10
  auto model = [](double d) {
    char lower[32];
    std::snprintf(lower, sizeof lower, "%.17g", 1.0 + d);
    return "g3 1 1 0\n 2 2 1 0 0\n 0 0\n 0 0\n 0 0 0\n 0 0 0 1\n 0 0 0 0 0\n 4 2\n 0 0\n 0 0 0 0 0\n"
           "C0\nn0\nC1\nn0\nO0 0\nn0\nr\n2 " +
           std::string(lower) +
           "\n1 0.5\nb\n0 0 10\n0 0 10\n"
           "J0 2\n0 1\n1 1\nJ1 2\n0 1\n1 -1\nG0 2\n0 1\n1 3\n";
  };
  auto solve = [](const std::string& text, ProblemState& state) {
    const Model m = readValid(text);
    BuiltProblem b;
    EXPECT_EQ(buildProblem(m, {}, b), "");
    Optimizer opt;
    opt.initialize({});
    state = b.state;
    const SolveResult r = opt.solve(
        b.problem, state, SolveOptions{.start = "Cold", .workLength = 200000, .progress = {}, .functions = nullptr});
    EXPECT_EQ(r.exitCode, 0);
    return r.objValue;
  };
  ProblemState s0, s1;
  const double f0 = solve(model(0.0), s0), f1 = solve(model(1e-4), s1);
  EXPECT_NEAR(f0, 1.5, 1e-12);
  EXPECT_NEAR(s0.pi[0], -s0.reducedCost[2], 1e-12);
  EXPECT_NEAR(s0.pi[0], (f1 - f0) / 1e-4, 1e-7);
  EXPECT_NEAR(s0.pi[0], 2.0, 1e-12);
}

}  // namespace
}  // namespace kavro::nl

namespace kavro::nl {
namespace {

// The served Lagrangian sigma f + sum_i w_i F_i: its gradient over the nonlinear variables from
// the served objective gradient and Jacobian (matrix order).
std::vector<double> servedLagrangianGradient(ModelFunctions& functions, const Problem& p, const std::vector<double>& x,
                                             double sigma, const std::vector<double>& w) {
  const int32_t nnv = p.nNonlinVars(), njac = functions.jacobianElements();
  std::vector<double> grad(static_cast<size_t>(nnv), 0.0), g(static_cast<size_t>(std::max(p.nNonlinObjVars, 1)));
  std::vector<double> f(static_cast<size_t>(std::max(p.nNonlinCons, 1))), jac(static_cast<size_t>(std::max(njac, 1)));
  int mode = 2;
  double obj = 0.0;
  if (p.nNonlinObjVars > 0) functions.objective(mode, p.nNonlinObjVars, x.data(), obj, g.data(), 0);
  for (int32_t j = 0; j < p.nNonlinObjVars; ++j) grad[static_cast<size_t>(j)] += sigma * g[static_cast<size_t>(j)];
  if (p.nNonlinCons > 0)
    functions.constraints(mode, p.nNonlinCons, p.nNonlinJacVars, njac, x.data(), f.data(), jac.data(), 0);
  int32_t position = 0;
  for (int32_t j = 0; j < p.nNonlinJacVars; ++j)
    for (int32_t k = p.a.colStart[static_cast<size_t>(j)]; k < p.a.colStart[static_cast<size_t>(j) + 1]; ++k) {
      const int32_t i = p.a.row[static_cast<size_t>(k)];
      if (i >= p.nNonlinCons) continue;
      grad[static_cast<size_t>(j)] += w[static_cast<size_t>(i)] * jac[static_cast<size_t>(position++)];
    }
  return grad;
}

// Hessian-vector products of the served functions against central differences of their
// gradients along the vector, on models with every operator class (defined variables, if-then-
// else, tan, powers, quotients) and with both signs of the objective's weight.
TEST(NlProblem, HessianProductsMatchDifferencesOfTheServedGradients) {
  for (const char* file :
       {"modele_opti.nl", "helix.nl", "hs071.nl", "weeds.nl", "dallass.nl", "hs093.nl", "logros.nl"}) {
    SCOPED_TRACE(file);
    const ReadResult r = readNlFile(std::string(KAVRO_TEST_DATA_DIR "/nl/") + file);
    ASSERT_TRUE(r.ok) << r.error;
    BuiltProblem built;
    ASSERT_EQ(buildProblem(r.model, {}, built), "");
    const Problem& p = built.problem;
    ModelFunctions functions(r.model, built);
    ASSERT_TRUE(functions.hasSecondDerivatives());
    const int32_t nnv = p.nNonlinVars();
    std::vector<double> x = r.model.x0, v(static_cast<size_t>(nnv)), w(static_cast<size_t>(std::max(p.nNonlinCons, 1)));
    for (size_t j = 0; j < x.size(); ++j) x[j] += 0.01 * static_cast<double>(j % 7) - 0.03;
    for (int32_t j = 0; j < nnv; ++j) v[static_cast<size_t>(j)] = 0.3 + 0.1 * (j % 5) - 0.2 * (j % 2);
    for (size_t i = 0; i < w.size(); ++i) w[i] = 0.5 - 0.25 * static_cast<double>(i % 4);
    for (double sigma : {1.0, -1.0}) {
      ASSERT_TRUE(functions.prepareHessian(nnv, x.data(), sigma, p.nNonlinCons, w.data()));
      std::vector<double> hv(static_cast<size_t>(nnv));
      functions.hessianProduct(nnv, v.data(), hv.data());
      // Central differences at h and h/2: their difference bounds the truncation error (models
      // with |x|^1.852 near 0 have large third derivatives).
      auto difference = [&](double h) {
        std::vector<double> up = x, down = x, d(static_cast<size_t>(nnv));
        for (int32_t j = 0; j < nnv; ++j) {
          up[static_cast<size_t>(j)] += h * v[static_cast<size_t>(j)];
          down[static_cast<size_t>(j)] -= h * v[static_cast<size_t>(j)];
        }
        const std::vector<double> gu = servedLagrangianGradient(functions, p, up, sigma, w);
        const std::vector<double> gd = servedLagrangianGradient(functions, p, down, sigma, w);
        for (int32_t j = 0; j < nnv; ++j)
          d[static_cast<size_t>(j)] = (gu[static_cast<size_t>(j)] - gd[static_cast<size_t>(j)]) / (2 * h);
        return d;
      };
      const std::vector<double> coarse = difference(2e-6), fine = difference(1e-6);
      for (int32_t j = 0; j < nnv; ++j) {
        const double d = fine[static_cast<size_t>(j)];
        const double scale = 1e-6 * std::max(1.0, std::fabs(d)) + 2.0 * std::fabs(coarse[static_cast<size_t>(j)] - d);
        EXPECT_NEAR(hv[static_cast<size_t>(j)], d, scale) << "variable " << j << " sigma " << sigma;
      }
    }
  }
}

}  // namespace
}  // namespace kavro::nl
