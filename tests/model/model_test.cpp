#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "kavro/model.hpp"

namespace kavro {
namespace {

constexpr double kTol = 1e-6;

NonlinearConstraintSpec limits(int32_t count, std::vector<double> lower, std::vector<double> upper) {
  NonlinearConstraintSpec c;
  c.count = count;
  c.lower = std::move(lower);
  c.upper = std::move(upper);
  return c;
}

bool rosenbrock(std::span<const double> x, double& f, std::span<double> g, int32_t a, int32_t b) {
  const double r = x[b] - x[a] * x[a], s = 1 - x[a];
  f = 100 * r * r + s * s;
  if (!g.empty()) {
    g[a] = -400 * x[a] * r - 2 * s;
    g[b] = 200 * r;
  }
  return true;
}

// min x^2 + y^2 with x >= 1 (linear) and y <= -2 (nonlinear c(x) = y): the multipliers are
// -2 and 4 in the convention of trust-constr (grad f + v' grad c = 0).
Model twoActiveConstraints(Sense sense, JacobianEntry entry = {0, 1}) {
  Model m;
  m.addVariables(2, -10, 10, 3.0);
  const double sign = sense == Sense::kMaximize ? -1.0 : 1.0;
  m.setSense(sense);
  m.setObjective([sign](std::span<const double> x, double& f, std::span<double> g) {
    f = sign * (x[0] * x[0] + x[1] * x[1]);
    if (!g.empty()) {
      g[0] = sign * 2 * x[0];
      g[1] = sign * 2 * x[1];
    }
    return true;
  });
  m.addLinearConstraint({{0, 1.0}}, 1.0, kInfinity);
  NonlinearConstraintSpec c = limits(1, {-kInfinity}, {-2.0});
  c.function = [](std::span<const double> x, std::span<double> v, std::span<double> j) {
    v[0] = x[1];
    if (!j.empty()) j[0] = 1.0;
    return true;
  };
  c.pattern = {entry};
  m.addNonlinearConstraints(c);
  return m;
}

TEST(ModelSolve, VariablesInAnyOrderAndOnlySomeNonlinear) {
  // Variable 0 is linear only, 1 and 3 carry the Rosenbrock function, 2 enters a nonlinear
  // constraint only: the layout must put 1, 3 and 2 ahead of 0 and map every answer back.
  Model m;
  m.addVariables(4, -5, 5, 0.0);
  m.setStart(std::vector<double>{2.0, -1.2, 0.5, 1.0});
  ObjectiveSpec objective;
  objective.function = [](std::span<const double> x, double& f, std::span<double> g) {
    return rosenbrock(x, f, g, 3, 1);
  };
  objective.variables = {3, 1};
  m.setObjective(objective);
  const LinearTerm linear[] = {{0, 1.0}};
  m.setLinearObjective(linear, 10.0);
  m.addLinearConstraint({{0, 1.0}, {2, 1.0}}, 3.0, 3.0);  // x0 + x2 = 3
  NonlinearConstraintSpec c = limits(1, {1.0}, {1.0});    // x2^2 = 1
  c.function = [](std::span<const double> x, std::span<double> v, std::span<double> j) {
    v[0] = x[2] * x[2];
    if (!j.empty()) j[0] = 2 * x[2];
    return true;
  };
  c.pattern = {{0, 2}};
  m.addNonlinearConstraints(c);
  const ModelResult r = m.solve();
  ASSERT_EQ(r.status, ModelStatus::kOptimal) << r.message;
  EXPECT_NEAR(r.x[3], 1.0, 1e-5);
  EXPECT_NEAR(r.x[1], 1.0, 1e-5);
  EXPECT_NEAR(r.x[2], 1.0, kTol);
  EXPECT_NEAR(r.x[0], 2.0, kTol);
  EXPECT_NEAR(r.objective, 12.0, kTol);  // Rosenbrock 0 + x0 + 10
  ASSERT_EQ(r.constraintValues.size(), 2u);
  EXPECT_NEAR(r.constraintValues[0], 3.0, kTol);
  EXPECT_NEAR(r.constraintValues[1], 1.0, kTol);
  EXPECT_TRUE(r.certificate.passed);
  EXPECT_GT(r.objectiveCalls, 0);
  EXPECT_GT(r.jacobianCalls, 0);
}

TEST(ModelSolve, MultipliersFollowOneConventionForBothSenses) {
  for (Sense sense : {Sense::kMinimize, Sense::kMaximize}) {
    Model m = twoActiveConstraints(sense);
    const ModelResult r = m.solve();
    ASSERT_EQ(r.status, ModelStatus::kOptimal) << r.message;
    const double sign = sense == Sense::kMaximize ? -1.0 : 1.0;
    EXPECT_NEAR(r.x[0], 1.0, kTol);
    EXPECT_NEAR(r.x[1], -2.0, kTol);
    EXPECT_NEAR(r.objective, sign * 5.0, kTol);
    EXPECT_NEAR(r.constraintMultipliers[0], sign * -2.0, 1e-6);
    EXPECT_NEAR(r.constraintMultipliers[1], sign * 4.0, 1e-6);
    EXPECT_NEAR(r.boundMultipliers[0], 0.0, 1e-9);
  }
  // The same limits as bounds: the bound multipliers take the same values.
  Model m;
  m.addVariable(1.0, 10.0, 3.0);
  m.addVariable(-10.0, -2.0, 3.0);
  m.setObjective([](std::span<const double> x, double& f, std::span<double> g) {
    f = x[0] * x[0] + x[1] * x[1];
    if (!g.empty()) g[0] = 2 * x[0], g[1] = 2 * x[1];
    return true;
  });
  const ModelResult r = m.solve();
  ASSERT_EQ(r.status, ModelStatus::kOptimal) << r.message;
  EXPECT_NEAR(r.boundMultipliers[0], -2.0, 1e-6);
  EXPECT_NEAR(r.boundMultipliers[1], 4.0, 1e-6);
}

TEST(ModelSolve, JacobianPatternInAnyOrderMatchesDifferences) {
  // Two constraints on three variables, the pattern listed backwards and interleaved.
  auto build = [](bool exact) {
    Model m;
    m.addVariables(3, -10, 10, 1.5);
    m.setObjective([](std::span<const double> x, double& f, std::span<double> g) {
      f = (x[0] - 1) * (x[0] - 1) + (x[1] - 2) * (x[1] - 2) + (x[2] - 3) * (x[2] - 3);
      if (!g.empty()) g[0] = 2 * (x[0] - 1), g[1] = 2 * (x[1] - 2), g[2] = 2 * (x[2] - 3);
      return true;
    });
    NonlinearConstraintSpec c = limits(2, {-kInfinity, 1.0}, {4.0, 1.0});
    c.hasJacobian = exact;
    c.pattern = {{1, 2}, {0, 1}, {1, 0}, {0, 0}};  // c0 = x0^2 + x1^2 <= 4, c1 = x0 * x2 = 1
    c.function = [](std::span<const double> x, std::span<double> v, std::span<double> j) {
      v[0] = x[0] * x[0] + x[1] * x[1];
      v[1] = x[0] * x[2];
      if (!j.empty()) j[0] = x[0], j[1] = 2 * x[1], j[2] = x[2], j[3] = 2 * x[0];
      return true;
    };
    m.addNonlinearConstraints(c);
    return m;
  };
  Model exact = build(true), differenced = build(false);
  const ModelResult a = exact.solve(), b = differenced.solve();
  ASSERT_EQ(a.status, ModelStatus::kOptimal) << a.message;
  ASSERT_EQ(b.status, ModelStatus::kOptimal) << b.message;
  for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(a.x[k], b.x[k], 1e-5);
  EXPECT_NEAR(a.constraintValues[1], 1.0, kTol);
  EXPECT_LE(a.constraintValues[0], 4.0 + kTol);
}

TEST(ModelSolve, PatternNamingAnEntryTwiceIsRefused) {
  Model m = twoActiveConstraints(Sense::kMinimize);
  NonlinearConstraintSpec c = limits(1, {0.0}, {1.0});
  c.function = [](std::span<const double>, std::span<double> v, std::span<double>) { return v[0] = 0, true; };
  c.pattern = {{0, 1}, {0, 1}};
  m.addNonlinearConstraints(c);
  const ModelResult r = m.solve();
  EXPECT_EQ(r.status, ModelStatus::kInvalidModel);
  EXPECT_NE(r.message.find("twice"), std::string::npos) << r.message;
}

TEST(ModelSolve, CallbackExceptionStopsTheRunAndIsRethrown) {
  Model m = twoActiveConstraints(Sense::kMinimize);
  int calls = 0;
  m.setObjective([&calls](std::span<const double>, double& f, std::span<double>) -> bool {
    if (++calls == 3) throw std::runtime_error("model blew up");
    f = 0;
    return true;
  });
  EXPECT_THROW(
      {
        try {
          m.solve();
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "model blew up");
          throw;
        }
      },
      std::runtime_error);
  EXPECT_EQ(m.lastResult().status, ModelStatus::kCallbackError);
  EXPECT_EQ(calls, 3) << "no call after the exception";
}

TEST(ModelSolve, UndefinedPointsShortenTheStep) {
  // f = x - log x is undefined for x <= 0; a long first step from 3 crosses into it.
  for (bool nan : {false, true}) {
    Model m;
    m.addVariable(-100, 100, 3.0);
    m.setObjective([nan](std::span<const double> x, double& f, std::span<double> g) {
      if (x[0] <= 0) {
        f = std::numeric_limits<double>::quiet_NaN();
        return nan;
      }
      f = x[0] - std::log(x[0]);
      if (!g.empty()) g[0] = 1 - 1 / x[0];
      return true;
    });
    const ModelResult r = m.solve();
    ASSERT_EQ(r.status, ModelStatus::kOptimal) << r.message;
    EXPECT_NEAR(r.x[0], 1.0, 1e-5);
  }
}

TEST(ModelSolve, InfeasibleAndUnboundedLinearModels) {
  Model infeasible;
  infeasible.addVariables(2, 0, 10, 0);
  const LinearTerm cost[] = {{0, 1.0}, {1, 1.0}};
  infeasible.setLinearObjective(cost);
  infeasible.addLinearConstraint({{0, 1.0}, {1, 1.0}}, 30.0, kInfinity);
  EXPECT_EQ(infeasible.solve().status, ModelStatus::kInfeasible);

  Model unbounded;
  unbounded.addVariables(2, 0, kInfinity, 0);
  const LinearTerm gain[] = {{0, -1.0}, {1, -1.0}};
  unbounded.setLinearObjective(gain);
  unbounded.addLinearConstraint({{0, 1.0}, {1, -1.0}}, -1.0, 1.0);
  EXPECT_EQ(unbounded.solve().status, ModelStatus::kUnbounded);
}

TEST(ModelSolve, TripletsAndCompressedRowsGiveTheSameLinearProgram) {
  // min -x0 - 2 x1 s.t. x0 + x1 <= 4 (given as 0.5 + 0.5 for x0: repeats sum), x1 - x0 <= 1.
  auto base = [] {
    Model m;
    m.addVariables(2, 0, 10, 0);
    const LinearTerm cost[] = {{0, -1.0}, {1, -2.0}};
    m.setLinearObjective(cost);
    return m;
  };
  Model triplets = base(), csr = base();
  const std::vector<double> lower{-kInfinity, -kInfinity}, upper{4.0, 1.0};
  triplets.addLinearConstraints(std::vector<int32_t>{1, 0, 0, 1, 0}, std::vector<int32_t>{1, 1, 0, 0, 0},
                                std::vector<double>{1, 1, 0.5, -1, 0.5}, lower, upper);
  csr.addLinearConstraintsCsr(std::vector<int64_t>{0, 2, 4}, std::vector<int32_t>{0, 1, 0, 1},
                              std::vector<double>{1, 1, -1, 1}, lower, upper);
  const ModelResult a = triplets.solve(), b = csr.solve();
  ASSERT_EQ(a.status, ModelStatus::kOptimal);
  ASSERT_EQ(b.status, ModelStatus::kOptimal);
  EXPECT_NEAR(a.objective, -6.5, kTol);
  EXPECT_NEAR(b.objective, -6.5, kTol);
  EXPECT_NEAR(a.x[0], 1.5, kTol);
  EXPECT_NEAR(a.x[1], 2.5, kTol);
}

TEST(ModelSolve, WarmStartFromAnOptimalResultNeedsNoIterations) {
  Model m = twoActiveConstraints(Sense::kMinimize);
  const ModelResult first = m.solve();
  ASSERT_EQ(first.status, ModelStatus::kOptimal);
  const ModelResult again = m.solve(first);
  ASSERT_EQ(again.status, ModelStatus::kOptimal) << again.message;
  EXPECT_LE(again.iterations, 1);
  EXPECT_NEAR(again.x[1], -2.0, kTol);
}

TEST(ModelOptions, UnknownOptionsThrowAndTypedOptionsApply) {
  Model m = twoActiveConstraints(Sense::kMinimize);
  EXPECT_THROW(m.setOption("Major iteratoins limit 5"), std::invalid_argument);
  EXPECT_THROW(m.setOption("Iterations limit", OptionValue{std::string("many")}), std::invalid_argument);
  m.setOptions(
      {{"Major iterations limit", OptionValue{int64_t{1}}}, {"Minor iterations limit", OptionValue{int64_t{1}}}});
  m.setOption("Solve strategy 0");
  const ModelResult r = m.solve();
  EXPECT_EQ(r.status, ModelStatus::kIterationLimit) << r.message;
}

TEST(ModelOptions, ProgressCallbackStopsTheRun) {
  Model m;
  m.addVariables(2, -5, 5, -1.2);
  m.setObjective([](std::span<const double> x, double& f, std::span<double> g) { return rosenbrock(x, f, g, 0, 1); });
  m.setProgress([](const IterationLogEntry& e) { return e.kind == kMinorLine && e.minorItn >= 2 ? 2 : 0; });
  EXPECT_EQ(m.solve().status, ModelStatus::kInterrupted);
}

TEST(ModelChecks, BadInputIsNamed) {
  Model m;
  m.addVariable(2.0, 1.0);
  const ModelResult r = m.solve();
  EXPECT_EQ(r.status, ModelStatus::kInvalidModel);
  EXPECT_NE(r.message.find("variable 0"), std::string::npos) << r.message;
  EXPECT_THROW(m.addLinearConstraint({{5, 1.0}}, 0, 1), std::invalid_argument);
  EXPECT_THROW(m.addVariables(std::vector<double>{0}, std::vector<double>{1, 2}, std::vector<double>{0}),
               std::invalid_argument);
  EXPECT_EQ(Model().solve().status, ModelStatus::kInvalidModel);
}

}  // namespace
}  // namespace kavro

namespace kavro {
namespace {

TEST(ModelFiles, NlModelSolvesInTheFilesNumbering) {
  const ModelResult r = solveNlFile(KAVRO_TEST_DATA_DIR "/../../examples/hs071.nl");
  ASSERT_EQ(r.status, ModelStatus::kOptimal) << r.message;
  EXPECT_NEAR(r.objective, 17.0140173, 1e-6);
  ASSERT_EQ(r.x.size(), 4u);
  ASSERT_EQ(r.constraintValues.size(), 2u);
  EXPECT_NEAR(r.constraintValues[1], 40.0, 1e-6);  // the equality x'x = 40
  const std::string bad[] = {"Iteratoins limit 5"};
  EXPECT_EQ(solveNlFile(KAVRO_TEST_DATA_DIR "/../../examples/hs071.nl", bad).status, ModelStatus::kInvalidModel);
  EXPECT_EQ(solveNlFile("no/such/model.nl").status, ModelStatus::kInvalidModel);
}

}  // namespace
}  // namespace kavro
