// Scale option 2: the routines see unscaled variables, the optimizer scaled values and
// derivatives, checked against a hand computation x_user = c x, g = c g_user, F = F_user / r,
// J = J_user c / r.

#include <gtest/gtest.h>

#include "nonlinear/harness.hpp"

namespace kavro::testing {
namespace {

class ScaledEvaluatorTest : public EvaluatorTest {
 protected:
  void SetUp() override {
    p.scaleOption = 2;
    xs = {-0.6, 2.0, 0.125, 1.0};
  }
  void makeScaled(double jacobianConstant = 3.0) {
    make(jacobianConstant);
    ev->setScales(c, r);
  }
  // The expected Jacobian in the optimizer's units from one in the user's.
  std::vector<double> scaledJacobian(const std::vector<double>& user) const {
    std::vector<double> out(4);
    for (int k = 0; k < 4; ++k) out[k] = user[k] * (c[kJacCol[k]] / r[kJacRow[k]]);
    return out;
  }

  std::vector<double> c{2.0, 0.5, 4.0};
  std::vector<double> r{10.0, 0.1};
  std::vector<double> xs;                  // scaled point
  std::vector<double> xu{-1.2, 1.0, 0.5};  // the same point in the user's units
};

TEST_F(ScaledEvaluatorTest, ValuesAndDerivativesLeaveInScaledUnits) {
  fun.conSets = {true, true, true, false};
  makeScaled();
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveAndGradient(xs.data(), fx, g.data()), 0);
  EXPECT_EQ(fun.objPoints.back(), xu);
  EXPECT_EQ(fx, objectiveAt(xu.data()));
  const std::vector<double> gu = gradientAt(xu.data());
  for (int j = 0; j < 3; ++j) EXPECT_DOUBLE_EQ(g[j], gu[j] * c[j]);

  // The constant element (stored 3 in the user's units) is scaled once, on every call.
  for (int call = 0; call < 2; ++call) {
    ASSERT_EQ(ev->constraintsAndJacobian(xs.data(), f.data(), jac.data()), 0);
    EXPECT_EQ(fun.conPoints.back(), xu);
    const std::vector<double> fu = constraintsAt(xu.data());
    for (int i = 0; i < 2; ++i) EXPECT_DOUBLE_EQ(f[i], fu[i] / r[i]);
    const std::vector<double> expected = scaledJacobian(jacobianAt(xu.data()));
    for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(jac[k], expected[k]) << "element " << k << " call " << call;
  }
  EXPECT_DOUBLE_EQ(jac[3], 1.2);
}

TEST_F(ScaledEvaluatorTest, DifferencesAreTakenInScaledUnits) {
  fun.objSets = {false, false, false};
  fun.conSets = {false, false, false, false};
  p.derivativeLevel = 0;
  makeScaled();
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveAndGradient(xs.data(), fx, g.data()), 0);
  const std::vector<double> gu = gradientAt(xu.data());
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(g[j], gu[j] * c[j], 1e-5 * (std::fabs(gu[j] * c[j]) + 1.0));
  // The step is sized in the optimizer's units: (|xs_j| + 1) d, seen by the routine times c_j.
  const double h = (std::fabs(xs[0]) + 1.0) * p.differenceInterval;
  EXPECT_DOUBLE_EQ(fun.objPoints[1][0], (xs[0] + h) * c[0]);

  ASSERT_EQ(ev->constraintsAndJacobian(xs.data(), f.data(), jac.data()), 0);
  const std::vector<double> expected = scaledJacobian(jacobianAt(xu.data()));
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(jac[k], expected[k], 1e-5 * (std::fabs(expected[k]) + 1.0));
}

TEST_F(ScaledEvaluatorTest, ScalingOnlyWithOption2ScalesSetAndEnabled) {
  make();
  double fx = 0.0;
  ASSERT_EQ(ev->objectiveValue(xs.data(), fx), 0);  // no scales yet
  EXPECT_EQ(fun.objPoints.back(), std::vector<double>(xs.begin(), xs.begin() + 3));
  ev->setScales(c, r);
  EXPECT_TRUE(ev->scalingInForce());
  ev->setScalingEnabled(false);
  ASSERT_EQ(ev->constraintValues(xs.data(), f.data()), 0);
  EXPECT_EQ(fun.conPoints.back(), std::vector<double>(xs.begin(), xs.begin() + 3));
  EXPECT_EQ(f, constraintsAt(xs.data()));
  ev->setScalingEnabled(true);
  p.scaleOption = 1;  // option 1 leaves nonlinear rows and columns unscaled
  ASSERT_EQ(ev->objectiveValue(xs.data(), fx), 0);
  EXPECT_EQ(fun.objPoints.back(), std::vector<double>(xs.begin(), xs.begin() + 3));
  p.scaleOption = 2;
  ASSERT_EQ(ev->objectiveValue(xs.data(), fx), 0);
  EXPECT_EQ(fun.objPoints.back(), xu);
}

}  // namespace
}  // namespace kavro::testing
