// Exact second derivatives in the superbasic subspace, end to end through the library: a
// strictly convex quadratic with linear equality rows (so that the null-space basis Z is not
// trivial) solved with "Hessian option 1" reaches the same optimum as the quasi-Newton model in
// a handful of iterations once every variable is superbasic (conjugate gradients beyond 40
// superbasics, the modified Cholesky step below), and a nonconvex objective with bounds ends at
// a minimum, never at the saddle point the start sits on.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kavro/solver.hpp"
#include "support/test_problems.hpp"

namespace kavro {
namespace {

using testing::DenseLp;
using testing::kInf;
using testing::makeProblem;

// f(x) = 1/2 sum_j d_j (x_j - c_j)^2 + 1/2 sum_j (x_j - x_{j+1})^2 (tridiagonal, positive
// definite), its Hessian by products.
class Quadratic final : public NonlinearFunctions {
 public:
  explicit Quadratic(int n) : n_(n) {}
  void objective(int& /*mode*/, int n, const double* x, double& f, double* g, int /*nstate*/) override {
    f = 0.0;
    for (int j = 0; j < n; ++j) {
      const double r = x[j] - c(j);
      f += 0.5 * d(j) * r * r;
      g[j] = d(j) * r;
    }
    for (int j = 0; j + 1 < n; ++j) {
      const double t = x[j] - x[j + 1];
      f += 0.5 * t * t;
      g[j] += t;
      g[j + 1] -= t;
    }
  }
  void constraints(int&, int, int, int, const double*, double*, double*, int) override {}
  bool hasSecondDerivatives() const override { return true; }
  bool prepareHessian(int, const double*, double sigma, int, const double*) override {
    sigma_ = sigma;
    ++prepared;
    return true;
  }
  void hessianProduct(int n, const double* v, double* hv) override {
    ++products;
    for (int j = 0; j < n; ++j) hv[j] = sigma_ * d(j) * v[j];
    for (int j = 0; j + 1 < n; ++j) {
      const double t = sigma_ * (v[j] - v[j + 1]);
      hv[j] += t;
      hv[j + 1] -= t;
    }
  }
  // The same Hessian as a lower triangle (diagonal, then the coupling below it), when offered.
  bool hessianTriangle(HessianTriangle& t) const override {
    if (!offerTriangle) return false;
    rows_.clear(), cols_.clear(), values_.clear();
    for (int j = 0; j < n_; ++j) {
      rows_.push_back(j), cols_.push_back(j);
      values_.push_back(sigma_ * (d(j) + (j > 0) + (j + 1 < n_)));
      if (j + 1 < n_) rows_.push_back(j + 1), cols_.push_back(j), values_.push_back(-sigma_);
    }
    t = {static_cast<int64_t>(values_.size()), rows_.data(), cols_.data(), values_.data()};
    return true;
  }
  int prepared = 0, products = 0;
  bool offerTriangle = false;

 private:
  mutable std::vector<int32_t> rows_, cols_;
  mutable std::vector<double> values_;
  double d(int j) const { return 1.0 + (j % 7); }
  double c(int j) const { return std::sin(1.0 + j); }
  int n_;
  double sigma_ = 1.0;
};

// Rows: the sum of each block of ten variables is j-th block's index; an objective row of zeros.
Problem blockSums(int n) {
  DenseLp lp;
  const int blocks = n / 10;
  for (int b = 0; b < blocks; ++b) {
    std::vector<double> row(static_cast<size_t>(n), 0.0);
    for (int j = 10 * b; j < 10 * b + 10; ++j) row[static_cast<size_t>(j)] = 1.0;
    lp.rows.push_back(row);
    lp.rowLower.push_back(b);
    lp.rowUpper.push_back(b);
  }
  lp.rows.push_back(std::vector<double>(static_cast<size_t>(n), 0.0));
  lp.rowLower.push_back(-kInf);
  lp.rowUpper.push_back(kInf);
  lp.objRow = blocks;
  lp.colLower.assign(static_cast<size_t>(n), -100.0);
  lp.colUpper.assign(static_cast<size_t>(n), 100.0);
  Problem p = makeProblem(lp);
  p.nNonlinObjVars = n;
  return p;
}

struct Solved {
  SolveResult result;
  ProblemState state;
};

Solved solve(Problem p, NonlinearFunctions& functions, const std::string& hessianOption) {
  Optimizer opt;
  opt.initialize({0, 0, 0});
  EXPECT_EQ(opt.setSpecsLine("Hessian option " + hessianOption), 0);
  EXPECT_EQ(opt.setSpecsLine("Superbasics limit 200"), 0);
  EXPECT_EQ(opt.setSpecsLine("Multiple price 200"), 0);
  Solved r;
  r.state.resizeFor(p);
  SolveOptions o;
  o.automaticStorage = true;
  o.functions = &functions;
  r.result = opt.solve(p, r.state, o);
  return r;
}

TEST(SubspaceNewton, ConvexQuadraticConvergesInAFewNewtonSteps) {
  for (int n : {30, 120}) {  // the modified Cholesky step, then conjugate gradients
    SCOPED_TRACE(n);
    Quadratic qn(n), exact(n);
    const Solved byModel = solve(blockSums(n), qn, "0");
    const Solved byHessian = solve(blockSums(n), exact, "1");
    ASSERT_EQ(byModel.result.exitCode, kOptimal);
    ASSERT_EQ(byHessian.result.exitCode, kOptimal);
    EXPECT_TRUE(byHessian.result.certificate.passed);
    EXPECT_NEAR(byHessian.result.objValue, byModel.result.objValue, 1e-8 * (1.0 + std::fabs(byModel.result.objValue)));
    EXPECT_EQ(qn.prepared, 0);  // option 0 never asks for second derivatives
    EXPECT_GT(exact.prepared, 0);
    // The active set is right once pricing has made every free variable superbasic: from there
    // a Newton step per iteration, where the quasi-Newton model needs about one per variable.
    EXPECT_LE(byHessian.result.minorIterations, 20) << "quasi-Newton took " << byModel.result.minorIterations;
    EXPECT_GT(byModel.result.minorIterations, byHessian.result.minorIterations + 10);
  }
}

// Bounds only: the basis holds no nonlinear variable, so Z'HZ is H over the superbasics and a
// triangle offered by the functions is factorized in band form (the variables' order keeps the
// tridiagonal band, whatever order pricing brought them in): no products, and a Newton step
// per iteration as with conjugate gradients.
TEST(SubspaceNewton, BoundsOnlyFactorizesTheOfferedTriangle) {
  const int n = 120;
  DenseLp lp;
  lp.rows.push_back(std::vector<double>(static_cast<size_t>(n), 0.0));
  lp.rowLower.push_back(-kInf);
  lp.rowUpper.push_back(kInf);
  lp.objRow = 0;
  lp.colLower.assign(static_cast<size_t>(n), -0.5);  // some of the optimum's x_j = sin(1 + j) sit on these
  lp.colUpper.assign(static_cast<size_t>(n), 0.5);
  Problem p = makeProblem(lp);
  p.nNonlinObjVars = n;
  Quadratic byProducts(n), byTriangle(n);
  byTriangle.offerTriangle = true;
  const Solved cg = solve(p, byProducts, "1");
  const Solved band = solve(p, byTriangle, "1");
  ASSERT_EQ(cg.result.exitCode, kOptimal);
  ASSERT_EQ(band.result.exitCode, kOptimal);
  EXPECT_TRUE(band.result.certificate.passed);
  EXPECT_NEAR(band.result.objValue, cg.result.objValue, 1e-9 * (1.0 + std::fabs(cg.result.objValue)));
  EXPECT_GT(byProducts.products, 0);
  EXPECT_EQ(byTriangle.products, 0);
  EXPECT_LE(band.result.minorIterations, cg.result.minorIterations + 2);
}

// f = sum_j (x_j^4 / 4 - x_j^2 / 2) over [-2, 2]^n, started next to 0 (where the Hessian is
// nearly -I): the exact directions follow the negative curvature down to a minimum, x_j = +-1,
// f = -n / 4, and never stop at the maximum they start beside.
class DoubleWell final : public NonlinearFunctions {
 public:
  void objective(int&, int n, const double* x, double& f, double* g, int) override {
    f = 0.0;
    for (int j = 0; j < n; ++j) {
      f += 0.25 * std::pow(x[j], 4) - 0.5 * x[j] * x[j];
      g[j] = x[j] * x[j] * x[j] - x[j];
    }
  }
  void constraints(int&, int, int, int, const double*, double*, double*, int) override {}
  bool hasSecondDerivatives() const override { return true; }
  bool prepareHessian(int n, const double* x, double sigma, int, const double*) override {
    h_.assign(x, x + n);
    for (double& v : h_) v = sigma * (3.0 * v * v - 1.0);
    return true;
  }
  void hessianProduct(int n, const double* v, double* hv) override {
    for (int j = 0; j < n; ++j) hv[j] = h_[static_cast<size_t>(j)] * v[j];
  }

 private:
  std::vector<double> h_;
};

TEST(SubspaceNewton, NegativeCurvatureLeadsToAMinimum) {
  for (int n : {8, 60}) {
    SCOPED_TRACE(n);
    DenseLp lp{{std::vector<double>(static_cast<size_t>(n), 0.0)},
               {-kInf},
               {kInf},
               std::vector<double>(static_cast<size_t>(n), -2.0),
               std::vector<double>(static_cast<size_t>(n), 2.0),
               0};
    Problem p = makeProblem(lp);
    p.nNonlinObjVars = n;
    DoubleWell functions;
    Optimizer opt;
    opt.initialize({0, 0, 0});
    opt.setSpecsLine("Hessian option 1");
    opt.setSpecsLine("Superbasics limit 100");
    Solved r;
    r.state.resizeFor(p);
    for (int j = 0; j < n; ++j) r.state.x[static_cast<size_t>(j)] = 1e-3 * (1 + j % 3) * (j % 2 ? 1.0 : -1.0);
    SolveOptions o;
    o.automaticStorage = true;
    o.functions = &functions;
    r.result = opt.solve(p, r.state, o);
    ASSERT_EQ(r.result.exitCode, kOptimal);
    EXPECT_NEAR(r.result.objValue, -0.25 * n, 1e-8 * n);
  }
}

}  // namespace
}  // namespace kavro
