// The certificate of a returned point: measured on the user's problem from the point, the
// problem's data and the functions' values alone, in the user's units whatever the scaling.

#include "optimizer/certificate.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kavro {
namespace {

// minimize c0 x0 + c1 x1  subject to  x0 + x1 >= 1 (row 0),  x >= 0; row 1 is the objective.
Problem coveringProblem(double c0, double c1) {
  Problem p;
  p.m = 2;
  p.n = 2;
  p.objRow = 1;
  p.a.value = {1.0, c0, 1.0, c1};
  p.a.row = {0, 1, 0, 1};
  p.a.colStart = {0, 2, 4};
  p.lower = {0.0, 0.0, -kInfinity, -kInfinity};
  p.upper = {kInfinity, kInfinity, -1.0, kInfinity};  // the slack holds minus the activity
  return p;
}

Certificate certifyAt(const Problem& p, const std::vector<double>& x, const std::vector<double>& pi,
                      const std::vector<double>* scales = nullptr) {
  CertificateInput in;
  in.prob = &p;
  in.x = x.data();
  in.pi = pi.data();
  in.scales = scales;
  CertificateWork work;
  return certify(in, work);
}

TEST(Certificate, OptimalFeasibleAndWrongSignedPoints) {
  const Problem p = coveringProblem(1.0, 2.0);
  // x = (1, 0) with y = 1 is optimal: d = (0, 1), the row's slack at its bound with d = -1.
  const Certificate optimal = certifyAt(p, {1.0, 0.0}, {1.0, -1.0});
  EXPECT_TRUE(optimal.evaluated);
  EXPECT_TRUE(optimal.passed);
  EXPECT_EQ(optimal.maxPrimalInfeas, 0.0);
  EXPECT_EQ(optimal.maxDualInfeas, 0.0);
  EXPECT_EQ(optimal.multiplierNorm, 1.0);  // the objective row's price is left out

  // The row violated by 0.5: primal failure on its slack (variable n + 0).
  const Certificate infeasible = certifyAt(p, {0.5, 0.0}, {1.0, -1.0});
  EXPECT_FALSE(infeasible.passed);
  EXPECT_DOUBLE_EQ(infeasible.maxPrimalInfeas, 0.5);
  EXPECT_DOUBLE_EQ(infeasible.maxPrimalInfeasRelative, 0.25);  // over 1 + |bound|
  EXPECT_EQ(infeasible.primalWorst, 2);

  // minimize -x0 + x1: x = (1, 0) is stationary with y = -1 (d0 = 0), but the multiplier of
  // the active row has the wrong sign: its slack at the upper bound has d = +1.
  const Problem unbounded = coveringProblem(-1.0, 1.0);
  const Certificate stationary = certifyAt(unbounded, {1.0, 0.0}, {-1.0, -1.0});
  EXPECT_EQ(stationary.maxPrimalInfeas, 0.0);
  EXPECT_FALSE(stationary.passed);
  EXPECT_DOUBLE_EQ(stationary.maxDualInfeas, 1.0);
  EXPECT_DOUBLE_EQ(stationary.maxDualInfeasRelative, 0.5);
  EXPECT_EQ(stationary.dualWorst, 2);

  // A point that is no point fails, whatever else holds.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(certifyAt(p, {nan, 0.0}, {1.0, -1.0}).passed);
  EXPECT_FALSE(certifyAt(p, {1.0, 0.0}, {nan, -1.0}).passed);
}

// A violation the scaled problem cannot see: scaled by 1e4, the row's activity misses its bound
// by 1e-8 in the working units and by 1e-4 in the user's.
TEST(Certificate, MeasuresInTheUsersUnits) {
  Problem p = coveringProblem(1.0, 2.0);
  const std::vector<double> scales{1.0, 1.0, 1e4, 1.0};
  p.a.value[0] = p.a.value[2] = 1.0 / 1e4;  // a_scaled = a c_j / r_i
  p.upper[2] = -1.0 / 1e4;
  const std::vector<double> x{1.0 - 1e-4, 0.0};  // working activity 1e-4 - 1e-8
  const Certificate c = certifyAt(p, x, {1e4, -1.0}, &scales);
  EXPECT_NEAR(c.maxPrimalInfeas, 1e-4, 1e-12);
  EXPECT_FALSE(c.passed);
  // y in the user's units is pi / r: 1, so the multiplier norm is 1, not 1e4.
  EXPECT_DOUBLE_EQ(c.multiplierNorm, 1.0);
  EXPECT_NEAR(c.maxDualInfeas, 0.0, 1e-12);
}

// A nonlinear row: its activity is F(x) plus its linear part; the matrix's entry in the Jacobian
// block (a stale linearization) is not read, the Jacobian given is.
TEST(Certificate, NonlinearRowsUseTheFunctionsAtThePoint) {
  // minimize x1 subject to x0^2 + x1 >= 1 (row 0, nonlinear in x0), 0 <= x0 <= 0.5, x1 free.
  Problem p;
  p.m = 2;
  p.n = 2;
  p.nNonlinCons = 1;
  p.nNonlinJacVars = 1;
  p.objRow = 1;
  p.a.value = {5.0, 1.0, 1.0};  // 5.0: a linearization left in the matrix
  p.a.row = {0, 0, 1};
  p.a.colStart = {0, 1, 3};
  p.lower = {0.0, -kInfinity, -kInfinity, -kInfinity};
  p.upper = {0.5, kInfinity, -1.0, kInfinity};
  const std::vector<double> x{0.5, 0.75}, pi{1.0, -1.0};
  const double F = 0.25, J = 1.0;
  CertificateInput in;
  in.prob = &p;
  in.x = x.data();
  in.pi = pi.data();
  in.constraintValues = &F;
  in.jacobian = &J;
  CertificateWork work;
  const Certificate c = certify(in, work);
  EXPECT_TRUE(c.passed);
  EXPECT_EQ(c.maxPrimalInfeas, 0.0);
  // d0 = -J y = -1 at the upper bound 0.5: the right way; d1 = 0.
  EXPECT_DOUBLE_EQ(work.reducedGradient[0], -1.0);
  EXPECT_DOUBLE_EQ(work.reducedGradient[1], 0.0);

  const double lower = 0.16;  // F at x0 = 0.4: the row misses its bound by 0.09
  in.constraintValues = &lower;
  const Certificate violated = certify(in, work);
  EXPECT_NEAR(violated.maxPrimalInfeas, 0.09, 1e-15);
  EXPECT_EQ(violated.primalWorst, 2);
}

}  // namespace
}  // namespace kavro
