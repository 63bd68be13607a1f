// Second derivatives given through the model API: what the solver receives, in its own layout,
// and how runs behave when the callbacks fail.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "kavro/model.hpp"
#include "model/model_data.hpp"
#include "model/model_functions.hpp"
#include "model/model_layout.hpp"

namespace kavro {
namespace {

// Variable 0 is linear only; the objective depends on 3 and 1, the constraints on 2 and 3, so
// the solver's columns are 3, 2, 1, 0. Constraint 0 is linear, 1 and 2 are the nonlinear rows
// 0 and 1.
//   f  = x1^2 x3 + exp(x3)
//   c1 = x2 x3^2
//   c2 = sin(x2) + x3^3
bool objective(std::span<const double> x, double& f, std::span<double> g) {
  f = x[1] * x[1] * x[3] + std::exp(x[3]);
  if (!g.empty()) {
    g[1] = 2 * x[1] * x[3];
    g[3] = x[1] * x[1] + std::exp(x[3]);
  }
  return true;
}

bool constraints(std::span<const double> x, std::span<double> c, std::span<double> jac) {
  c[0] = x[2] * x[3] * x[3];
  c[1] = std::sin(x[2]) + x[3] * x[3] * x[3];
  if (!jac.empty()) {  // pattern (1, 3), (0, 2), (1, 2), (0, 3)
    jac[0] = 3 * x[3] * x[3];
    jac[1] = x[3] * x[3];
    jac[2] = std::cos(x[2]);
    jac[3] = 2 * x[2] * x[3];
  }
  return true;
}

// The lower triangle in the caller's numbering, (3, 3) in two halves.
const std::vector<HessianEntry> kPattern = {{3, 3}, {2, 2}, {3, 1}, {1, 1}, {3, 2}, {3, 3}};

bool hessianValues(std::span<const double> x, double sigma, std::span<const double> lambda, std::span<double> h) {
  if (lambda[0] != 0.0) return false;  // the linear constraint has no curvature to weigh
  const double diag3 = sigma * std::exp(x[3]) + lambda[1] * 2 * x[2] + lambda[2] * 6 * x[3];
  h[0] = 0.5 * diag3;
  h[1] = -lambda[2] * std::sin(x[2]);
  h[2] = sigma * 2 * x[1];
  h[3] = sigma * 2 * x[3];
  h[4] = lambda[1] * 2 * x[3];
  h[5] = 0.5 * diag3;
  return true;
}

// The same Hessian as products, through the triplets.
bool hessianProduct(std::span<const double> x, double sigma, std::span<const double> lambda, std::span<const double> v,
                    std::span<double> hv) {
  std::vector<double> h(kPattern.size());
  if (!hessianValues(x, sigma, lambda, h)) return false;
  for (size_t k = 0; k < kPattern.size(); ++k) {
    const int32_t i = kPattern[k].row, j = kPattern[k].column;
    hv[i] += h[k] * v[j];
    if (i != j) hv[j] += h[k] * v[i];
  }
  return true;
}

model::ModelData mixedModel(Sense sense, bool asProducts) {
  model::ModelData d;
  d.lower.assign(4, -10.0);
  d.upper.assign(4, 10.0);
  d.start = {0.5, 0.7, -0.4, 0.3};
  d.conLower = {-1.0, -1.0, -1.0};
  d.conUpper = {1.0, 1.0, 1.0};
  d.conBlock = {-1, 0, 0};
  d.linear = {{0, 0, 1.0}, {0, 2, 1.0}};
  NonlinearConstraintSpec block;
  block.count = 2;
  block.lower = {-1.0, -1.0};
  block.upper = {1.0, 1.0};
  block.function = constraints;
  block.pattern = {{1, 3}, {0, 2}, {1, 2}, {0, 3}};
  d.blocks.push_back(block);
  d.blockFirst = {1};
  d.objective.function = objective;
  d.objective.variables = {3, 1};
  d.sense = sense;
  if (asProducts) d.hessian.product = hessianProduct;
  else {
    d.hessian.pattern = kPattern;
    d.hessian.values = hessianValues;
  }
  return d;
}

// The gradient of sigma f + sum w_i F_i over the solver's nonlinear columns, from the
// functions object as the solver calls it.
std::vector<double> lagrangianGradient(model::ModelFunctions& fn, const model::Layout& layout, std::vector<double> x,
                                       double sigma, const std::vector<double>& w) {
  const Problem& p = layout.problem;
  const int nnv = p.nNonlinVars();
  std::vector<double> grad(static_cast<size_t>(nnv), 0.0), g(static_cast<size_t>(nnv), 0.0);
  int mode = 2;
  double f = 0.0;
  fn.objective(mode, p.nNonlinObjVars, x.data(), f, g.data(), 0);
  for (int c = 0; c < p.nNonlinObjVars; ++c) grad[static_cast<size_t>(c)] = sigma * g[static_cast<size_t>(c)];
  const int njac = static_cast<int>(layout.jacobianElement.size());
  std::vector<double> values(static_cast<size_t>(p.nNonlinCons)), jac(static_cast<size_t>(njac));
  fn.constraints(mode, p.nNonlinCons, p.nNonlinJacVars, njac, x.data(), values.data(), jac.data(), 0);
  EXPECT_EQ(mode, 2);
  for (int c = 0; c < p.nNonlinJacVars; ++c)
    for (int32_t k = p.a.colStart[c]; k < p.a.colStart[c + 1]; ++k)
      for (int place = 0; place < njac; ++place)
        if (layout.jacobianElement[static_cast<size_t>(place)] == k)
          grad[static_cast<size_t>(c)] += w[static_cast<size_t>(p.a.row[k])] * jac[static_cast<size_t>(place)];
  return grad;
}

class ModelHessianProducts : public ::testing::TestWithParam<std::tuple<Sense, bool>> {};

TEST_P(ModelHessianProducts, MatchDifferencesOfTheLagrangianGradientInTheSolversLayout) {
  const auto [sense, asProducts] = GetParam();
  const model::ModelData data = mixedModel(sense, asProducts);
  model::Layout layout;
  ASSERT_EQ(model::buildLayout(data, layout), "");
  ASSERT_EQ(layout.variableOf, (std::vector<int32_t>{3, 2, 1, 0}));
  model::ModelFunctions fn(data, layout);
  ASSERT_TRUE(fn.hasSecondDerivatives());
  const int nnv = layout.problem.nNonlinVars();
  ASSERT_EQ(nnv, 3);
  // The solver weighs the objective by its sense and the rows by any multipliers.
  const double sigma = sense == Sense::kMaximize ? -1.0 : 1.0;
  const std::vector<double> w = {0.8, -1.3};
  const std::vector<double> x = {0.3, -0.4, 0.7};  // columns: x3, x2, x1
  ASSERT_TRUE(fn.prepareHessian(nnv, x.data(), sigma, 2, w.data()));
  const double step = 1e-6;
  for (int c = 0; c < nnv; ++c) {
    std::vector<double> e(static_cast<size_t>(nnv), 0.0), hv(static_cast<size_t>(nnv));
    e[static_cast<size_t>(c)] = 1.0;
    fn.hessianProduct(nnv, e.data(), hv.data());
    std::vector<double> up = x, down = x;
    up[static_cast<size_t>(c)] += step;
    down[static_cast<size_t>(c)] -= step;
    const std::vector<double> gUp = lagrangianGradient(fn, layout, up, sigma, w);
    const std::vector<double> gDown = lagrangianGradient(fn, layout, down, sigma, w);
    for (int r = 0; r < nnv; ++r)
      EXPECT_NEAR(hv[static_cast<size_t>(r)],
                  (gUp[static_cast<size_t>(r)] - gDown[static_cast<size_t>(r)]) / (2 * step), 1e-6)
          << "column " << c << " row " << r;
  }
  EXPECT_GT(fn.counts().hessian, 0);
}

INSTANTIATE_TEST_SUITE_P(BothSensesBothForms, ModelHessianProducts,
                         ::testing::Combine(::testing::Values(Sense::kMinimize, Sense::kMaximize), ::testing::Bool()));

TEST(ModelHessianLayout, EntryOnAVariableNoNonlinearFunctionUsesIsRefused) {
  model::ModelData data = mixedModel(Sense::kMinimize, false);
  data.hessian.pattern.push_back({0, 0});
  data.hessian.pattern.push_back({0, 0});
  model::Layout layout;
  EXPECT_EQ(
      model::buildLayout(data, layout),
      "the Hessian's pattern names variable 0, on which neither the objective nor a nonlinear constraint depends");
}

// min (x0 - 2)^2 + (x1 - 2)^2 with x0^2 + x1^2 <= 2 (its Jacobian pattern in reverse): the
// solution (1, 1) with multiplier 1; maximized as -f, the same point with multiplier -1.
Model circleModel(Sense sense = Sense::kMinimize) {
  const double sign = sense == Sense::kMaximize ? -1.0 : 1.0;
  Model m;
  m.addVariables(2, -5, 5, 0.2);
  m.setSense(sense);
  m.setObjective([sign](std::span<const double> x, double& f, std::span<double> g) {
    f = sign * ((x[1] - 2) * (x[1] - 2) + (x[0] - 2) * (x[0] - 2));
    if (!g.empty()) {
      g[0] = sign * 2 * (x[0] - 2);
      g[1] = sign * 2 * (x[1] - 2);
    }
    return true;
  });
  NonlinearConstraintSpec c;
  c.count = 1;
  c.lower = {-kInfinity};
  c.upper = {2.0};
  c.pattern = {{0, 1}, {0, 0}};
  c.function = [](std::span<const double> x, std::span<double> v, std::span<double> jac) {
    v[0] = x[0] * x[0] + x[1] * x[1];
    if (!jac.empty()) {
      jac[0] = 2 * x[1];
      jac[1] = 2 * x[0];
    }
    return true;
  };
  m.addNonlinearConstraints(c);
  return m;
}

ModelHessian circleHessian(std::vector<double>* lastLambda = nullptr) {
  return [lastLambda](std::span<const double>, double sigma, std::span<const double> lambda, std::span<double> h) {
    if (lastLambda) lastLambda->assign(lambda.begin(), lambda.end());
    h[0] = 2 * sigma + 2 * lambda[0];  // (1, 1)
    h[1] = 2 * sigma + 2 * lambda[0];  // (0, 0)
    return true;
  };
}

void expectCircleSolution(const ModelResult& r) {
  ASSERT_EQ(r.status, ModelStatus::kOptimal) << r.message;
  EXPECT_NEAR(r.x[0], 1.0, 1e-6);
  EXPECT_NEAR(r.x[1], 1.0, 1e-6);
  EXPECT_NEAR(r.constraintMultipliers[0], 1.0, 1e-5);
}

TEST(ModelHessianSolve, ExactStepsReachTheSameSolutionAndSeeTheReturnedMultipliers) {
  std::vector<double> lambda;
  Model m = circleModel();
  m.setHessian({{1, 1}, {0, 0}}, circleHessian(&lambda));
  m.setOption("Hessian option 1");
  const ModelResult r = m.solve();
  expectCircleSolution(r);
  EXPECT_GT(r.hessianCalls, 0);
  ASSERT_EQ(lambda.size(), 1u);
  EXPECT_NEAR(lambda[0], r.constraintMultipliers[0], 1e-4);
}

TEST(ModelHessianSolve, MaximizingTheCallbackStillDescribesItsOwnObjective) {
  // The callback is asked for sigma = 1 and the multiplier returned, though the solver minimizes -f.
  Model m = circleModel(Sense::kMaximize);
  std::vector<double> sigmas, lambda;
  m.setHessianProduct([&](std::span<const double>, double sigma, std::span<const double> l, std::span<const double> v,
                          std::span<double> hv) {
    sigmas.push_back(sigma);
    lambda.assign(l.begin(), l.end());
    for (size_t j = 0; j < 2; ++j) hv[j] = (-2 * sigma + 2 * l[0]) * v[j];  // f = -(...)
    return true;
  });
  m.setOption("Hessian option 1");
  const ModelResult r = m.solve();
  ASSERT_EQ(r.status, ModelStatus::kOptimal) << r.message;
  EXPECT_NEAR(r.x[0], 1.0, 1e-6);
  EXPECT_NEAR(r.x[1], 1.0, 1e-6);
  ASSERT_FALSE(sigmas.empty());
  for (double s : sigmas) EXPECT_EQ(s, 1.0);
  EXPECT_NEAR(r.constraintMultipliers[0], -1.0, 1e-5);
  EXPECT_NEAR(lambda[0], r.constraintMultipliers[0], 1e-4);
}

TEST(ModelHessianSolve, FailingCallbacksFallBackToTheQuasiNewtonModel) {
  const auto refuse = [](std::span<const double>, double, std::span<const double>, std::span<double>) { return false; };
  const auto notFinite = [](std::span<const double>, double, std::span<const double>, std::span<double> h) {
    h[0] = std::nan("");
    return true;
  };
  const auto productNotFinite = [](std::span<const double>, double, std::span<const double>, std::span<const double>,
                                   std::span<double> hv) {
    hv[1] = std::numeric_limits<double>::infinity();
    return true;
  };
  for (int form = 0; form < 3; ++form) {
    Model m = circleModel();
    if (form == 0) m.setHessian({{1, 1}, {0, 0}}, refuse);
    if (form == 1) m.setHessian({{1, 1}, {0, 0}}, notFinite);
    if (form == 2) m.setHessianProduct(productNotFinite);
    m.setOption("Hessian option 1");
    const ModelResult r = m.solve();
    SCOPED_TRACE(form);
    expectCircleSolution(r);
    EXPECT_GT(r.hessianCalls, 0);
  }
}

TEST(ModelHessianSolve, ExceptionInTheHessianIsRethrownAfterTheRun) {
  Model m = circleModel();
  m.setHessianProduct([](std::span<const double>, double, std::span<const double>, std::span<const double>,
                         std::span<double>) -> bool { throw std::runtime_error("no curvature today"); });
  m.setOption("Hessian option 1");
  EXPECT_THROW(
      {
        try {
          m.solve();
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "no curvature today");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_EQ(m.lastResult().status, ModelStatus::kCallbackError);
}

TEST(ModelHessianChecks, PatternsAreCheckedWhereTheyAreGiven) {
  Model m = circleModel();
  EXPECT_THROW(m.setHessian({{1, 1}, {0, 1}}, circleHessian()), std::invalid_argument);  // above the diagonal
  EXPECT_THROW(m.setHessian({}, circleHessian()), std::invalid_argument);
  EXPECT_THROW(m.setHessian({{2, 0}}, circleHessian()), std::invalid_argument);
  m.setHessian({{1, 1}, {0, 0}}, circleHessian());
  m.setHessian({}, {});  // removed: the run uses no second derivatives
  m.setOption("Hessian option 1");
  const ModelResult r = m.solve();
  expectCircleSolution(r);
  EXPECT_EQ(r.hessianCalls, 0);
}

}  // namespace
}  // namespace kavro
