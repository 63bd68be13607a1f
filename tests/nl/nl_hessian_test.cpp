// Second derivatives of the Lagrangian: small expressions against Hessians worked out by hand,
// every operator and the test models against central differences of the evaluator's exact
// gradients, defined variables against the same model written out without them, the pattern
// and its column groups of a known band, and domain errors.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "nl/nl_evaluator.hpp"
#include "nl/nl_hessian.hpp"
#include "nl_test_support.hpp"

namespace kavro::nl {
namespace {

using testing::readValid;
using testing::TextModel;
using Dense = std::vector<std::vector<double>>;

// The lower triangle of the Lagrangian's Hessian as a dense matrix; false when not defined.
bool hessianAt(const Model& m, const std::vector<double>& x, double sigma, const std::vector<double>& lambda,
               Dense& h) {
  Hessian hess(m, m.nObjs() > 0 ? 0 : -1);
  std::vector<double> values(static_cast<size_t>(hess.nonzeros()));
  h.assign(static_cast<size_t>(m.nVars()), std::vector<double>(static_cast<size_t>(m.nVars()), 0.0));
  if (!hess.evaluate(x.data(), sigma, lambda.data(), values.data())) return false;
  for (int64_t k = 0; k < hess.nonzeros(); ++k) {
    EXPECT_GE(hess.rowOf(k), hess.colOf(k));
    h[static_cast<size_t>(hess.rowOf(k))][static_cast<size_t>(hess.colOf(k))] = values[static_cast<size_t>(k)];
  }
  return true;
}

// The Lagrangian's gradient from the evaluator's exact function gradients.
bool lagrangianGradient(const Model& m, Evaluator& ev, const std::vector<double>& x, double sigma,
                        const std::vector<double>& lambda, std::vector<double>& g) {
  ev.setPoint(x.data());
  g.assign(static_cast<size_t>(m.nVars()), 0.0);
  std::vector<double> fg(static_cast<size_t>(m.nVars()));
  auto add = [&](int32_t f, double w) {
    double nonlinear = 0.0;
    if (w == 0.0) return true;
    if (!ev.gradient(f, nonlinear, fg.data())) return false;
    for (int32_t k = 0; k < ev.termCount(f); ++k)
      g[static_cast<size_t>(ev.termsBegin(f)[k].var)] += w * fg[static_cast<size_t>(k)];
    return true;
  };
  bool ok = m.nObjs() == 0 || add(m.objExpression(0), sigma);
  for (int32_t i = 0; i < m.nCons(); ++i) ok = ok && add(m.conExpression(i), lambda[static_cast<size_t>(i)]);
  return ok;
}

// Central differences of the Lagrangian's gradient, column by column; false when a gradient
// is not defined at one of the points.
bool differencedHessian(const Model& m, const std::vector<double>& x, double sigma, const std::vector<double>& lambda,
                        Dense& h, double relativeStep = 1e-7) {
  Evaluator ev(m);
  const size_t n = static_cast<size_t>(m.nVars());
  h.assign(n, std::vector<double>(n, 0.0));
  std::vector<double> up, down;
  for (size_t j = 0; j < n; ++j) {
    const double step = relativeStep * std::max(1.0, std::fabs(x[j]));
    std::vector<double> xu = x, xd = x;
    xu[j] += step;
    xd[j] -= step;
    if (!lagrangianGradient(m, ev, xu, sigma, lambda, up) || !lagrangianGradient(m, ev, xd, sigma, lambda, down))
      return false;
    for (size_t i = j; i < n; ++i) h[i][j] = (up[i] - down[i]) / (2 * step);
  }
  return true;
}

// Every entry of the lower triangle within tol of the differences, relative to the largest,
// plus the differences' own error where it shows (coarse: differences with a larger step).
void expectNearDifferences(const Dense& h, const Dense& fd, double tol, const Dense* coarse = nullptr) {
  double scale = 1.0;
  for (const auto& row : fd)
    for (double v : row) scale = std::max(scale, std::fabs(v));
  for (size_t i = 0; i < h.size(); ++i)
    for (size_t j = 0; j <= i; ++j) {
      const double noise = coarse ? std::fabs((*coarse)[i][j] - fd[i][j]) : 0.0;
      EXPECT_NEAR(h[i][j], fd[i][j], tol * scale + noise) << "entry " << i << ", " << j;
    }
}

Dense lowerOf(const Dense& full) {
  Dense h = full;
  for (size_t i = 0; i < h.size(); ++i)
    for (size_t j = i + 1; j < h.size(); ++j) h[i][j] = 0.0;
  return h;
}

TEST(NlHessian, SmallExpressionsMatchHessiansWorkedOutByHand) {
  const double a = 0.7, b = -1.3, c = 2.1;
  const std::vector<double> x{a, b, c};
  TextModel tm;
  tm.nVars = 3;
  tm.objectives = {"o2\no5\nv0\nn2\no41\nv1\n"};           // x0^2 sin x1
  tm.constraints = {"o44\no2\nv0\nv2\n", "o2\nv1\nv1\n"};  // exp(x0 x2), x1 * x1
  const Model m = readValid(tm.text());
  const double sigma = 1.5, l0 = -0.5, l1 = 3.0, e = std::exp(a * c);
  Dense h;
  ASSERT_TRUE(hessianAt(m, x, sigma, {l0, l1}, h));
  const Dense expected = lowerOf({
      {sigma * 2 * std::sin(b) + l0 * c * c * e, 0, 0},
      {sigma * 2 * a * std::cos(b), -sigma * a * a * std::sin(b) + 2 * l1, 0},
      {l0 * (1 + a * c) * e, 0, l0 * a * a * e},
  });
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = 0; j <= i; ++j) EXPECT_NEAR(h[i][j], expected[i][j], 1e-13 * (1 + std::fabs(expected[i][j])));

  // Without the objective's weight only the constraints count; without weights nothing does.
  ASSERT_TRUE(hessianAt(m, x, 0.0, {0.0, 1.0}, h));
  EXPECT_EQ(h[1][1], 2.0);
  EXPECT_EQ(h[0][0], 0.0);
  ASSERT_TRUE(hessianAt(m, x, 0.0, {0.0, 0.0}, h));
  for (const auto& row : h)
    for (double v : row) EXPECT_EQ(v, 0.0);
}

// The chain rule through a defined variable with a linear term: v = x0 x1 + 2 x2, f = v^2 has
// H = 2 g g' + 2 v Hv with g = (x1, x0, 2) and Hv the product's.
TEST(NlHessian, DefinedVariableByHandAndAgainstTheModelWrittenOut) {
  const double a = 0.3, b = -0.2, c = 0.9, v = a * b + 2 * c;
  TextModel tm;
  tm.nVars = 3;
  tm.defined = {"V3 1 0\n2 2\no2\nv0\nv1\n"};
  tm.objectives = {"o5\nv3\nn2\n"};
  Dense h;
  ASSERT_TRUE(hessianAt(readValid(tm.text()), {a, b, c}, 1.0, {}, h));
  const Dense expected = lowerOf({{2 * b * b, 0, 0}, {2 * a * b + 2 * v, 2 * a * a, 0}, {4 * b, 4 * a, 8}});
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = 0; j <= i; ++j) EXPECT_NEAR(h[i][j], expected[i][j], 1e-14) << i << ", " << j;

  // Defined variables used by others, several times and nonlinearly, in objective and
  // constraints: the same Hessian as the model with every use written out.
  const std::string w3 = "o2\nv0\no44\nv1\n";
  const std::string w3full = "o0\n" + w3 + "o2\nn2\nv2\n";
  auto w4of = [](const std::string& w) { return "o1\no0\no5\n" + w + "n2\no41\n" + w + "v0\n"; };
  TextModel with, without;
  with.nVars = without.nVars = 3;
  with.defined = {"V3 1 0\n2 2\n" + w3, "V4 0 0\n" + w4of("v3\n")};
  with.constraints = {"o2\nv3\nv3\n", "o0\nv4\no2\nv3\nv4\n", "o54\n3\nv3\nv4\nv3\n"};
  with.objectives = {"o3\nv4\no0\nn3\no5\nv3\nn2\n"};
  without.constraints = {"o2\n" + w3full + w3full, "o0\n" + w4of(w3full) + "o2\n" + w3full + w4of(w3full),
                         "o54\n3\n" + w3full + w4of(w3full) + w3full};
  without.objectives = {"o3\n" + w4of(w3full) + "o0\nn3\no5\n" + w3full + "n2\n"};
  const Model mw = readValid(with.text()), mo = readValid(without.text());
  for (const std::vector<double>& x : {std::vector<double>{0.3, -0.2, 0.9}, std::vector<double>{-1.1, 0.4, 0.05}}) {
    Dense hw, ho, fd;
    const std::vector<double> lambda{0.7, -1.2, 0.4};
    ASSERT_TRUE(hessianAt(mw, x, 0.8, lambda, hw));
    ASSERT_TRUE(hessianAt(mo, x, 0.8, lambda, ho));
    ASSERT_TRUE(differencedHessian(mw, x, 0.8, lambda, fd));
    for (size_t i = 0; i < 3; ++i)
      for (size_t j = 0; j <= i; ++j) EXPECT_NEAR(hw[i][j], ho[i][j], 1e-11 * (1 + std::fabs(ho[i][j])));
    expectNearDifferences(hw, fd, 1e-7);
  }
}

// Each operator inside expressions that give it first and second derivatives to pass on.
TEST(NlHessian, EveryOperatorMatchesDifferencesOfExactGradients) {
  const std::vector<std::string> operators = {
      "o0\no2\nv0\nv1\no5\nv2\nn3\n",       // plus, times, power with a constant exponent
      "o1\no2\nv0\nv0\no3\nv1\nv2\n",       // minus, a product of one slot with itself, divide
      "o3\no44\nv0\no0\nn2\no5\nv1\nn2\n",  // divide by a square
      "o4\no2\nv2\nv2\nn0.8\n",             // mod: the part that moves
      "o5\nv2\nv0\n",                       // power, both variable
      "o5\nv2\nn2.5\n",
      "o5\nn1.5\no2\nv1\nv0\n",
      "o76\no0\nv1\nv2\n",
      "o75\nv2\nn3\n",
      "o77\nn2\no2\nv0\nv1\n",
      "o5\no2\nv0\nv2\nn-3\n",  // opcode powers and a negative integer power
      "o6\no2\nv2\nv2\nv0\n",   // less
      "o11\n3\no2\nv0\nv1\no2\nv1\nv2\no41\nv0\n",
      "o12\n3\no2\nv0\nv1\no2\nv1\nv2\no41\nv0\n",  // min, max
      "o0\no13\nv1\no2\nv0\no14\nv2\n",             // floor, ceil: constant pieces times a product
      "o15\no2\nv0\nv1\n",
      "o16\no2\nv0\nv1\n",  // abs, unary minus
      "o35\no22\nv1\nv0\no2\nv0\nv2\no44\nv1\n",
      "o35\no29\nv1\nv0\no2\nv0\nv2\no44\nv1\n",  // if both ways
      "o37\no2\nv0\nv1\n",
      "o38\nv0\n",
      "o39\no2\nv2\nv0\n",
      "o40\no2\nv1\nv2\n",
      "o41\no2\nv1\nv2\n",
      "o42\no2\nv2\nv0\n",
      "o43\no2\nv2\nv0\n",
      "o44\no2\nv1\nv0\n",
      "o45\no2\nv1\nv0\n",
      "o46\no2\nv1\nv0\n",
      "o47\no2\nv0\nv0\n",
      "o48\no2\nv0\nv2\nv1\n",
      "o49\no2\nv1\nv0\n",
      "o50\no2\nv1\nv2\n",
      "o51\no2\nv0\nv0\n",
      "o52\no2\nv2\nv2\n",
      "o53\no2\nv0\nv0\n",
      "o54\n3\no2\nv0\nv1\no44\nv2\no5\nv1\nn3\n",  // sum
      "o2\no55\nv2\nv1\no2\nv0\nv1\n",              // integer division: a constant factor
      "o2\no59\n3\nv0\nn0\nv1\no2\nv0\nv1\n",
      "o2\no60\n3\nv0\nv0\nv1\no2\nv0\nv2\n",  // count, numberof
      "o2\no24\nv0\nv0\no2\nv1\nv2\n",
      "o72\no22\nv1\nv0\no2\nv2\nv1\nv0\n",           // eq, implication
      "o2\no44\no16\nv0\no43\no0\nv2\no5\nv1\nn2\n",  // nested
  };
  const std::vector<double> x{0.7, -1.3, 2.1};
  for (const std::string& expression : operators) {
    SCOPED_TRACE(expression);
    TextModel tm;
    tm.nVars = 3;
    tm.objectives = {expression};
    tm.constraints = {expression};
    const Model m = readValid(tm.text());
    Dense h, fd;
    ASSERT_TRUE(hessianAt(m, x, 0.6, {-1.7}, h));
    ASSERT_TRUE(differencedHessian(m, x, 0.6, {-1.7}, fd));
    expectNearDifferences(h, fd, 1e-7);
  }
}

TEST(NlHessian, BandPatternNeedsThreeGroups) {
  // sum_i (x_i - x_{i+1})^2 over 50 variables: a tridiagonal Hessian, 2 on the ends of the
  // diagonal, 4 inside, -2 beside it.
  const int n = 50;
  std::string sum = "o54\n" + std::to_string(n - 1) + "\n";
  for (int i = 0; i + 1 < n; ++i) sum += "o5\no1\nv" + std::to_string(i) + "\nv" + std::to_string(i + 1) + "\nn2\n";
  TextModel tm;
  tm.nVars = n;
  tm.objectives = {sum};
  const Model m = readValid(tm.text());
  Hessian hess(m, 0);
  EXPECT_EQ(hess.nonzeros(), 2 * n - 1);
  EXPECT_EQ(hess.groups(), 3);
  std::vector<double> x(static_cast<size_t>(n)), values(static_cast<size_t>(hess.nonzeros()));
  for (int j = 0; j < n; ++j) x[static_cast<size_t>(j)] = std::sin(j);
  ASSERT_TRUE(hess.evaluate(x.data(), 1.0, nullptr, values.data()));
  for (int64_t k = 0; k < hess.nonzeros(); ++k) {
    const int32_t i = hess.rowOf(k), j = hess.colOf(k);
    const double expected = i != j ? -2.0 : (i == 0 || i == n - 1 ? 2.0 : 4.0);
    EXPECT_EQ(values[static_cast<size_t>(k)], expected) << i << ", " << j;
  }
  // Evaluating again gives the same numbers: nothing is left over in the sweeps.
  std::vector<double> again(values.size());
  ASSERT_TRUE(hess.evaluate(x.data(), 1.0, nullptr, again.data()));
  EXPECT_EQ(values, again);
}

// 3 (x0 x1 - -(x2^2)) + sum(exp x0, x1 x2) * -2: the elements below the sums, differences,
// negations and constant factors keep their factors.
TEST(NlHessian, ElementsAtTheTopKeepTheirFactors) {
  TextModel tm;
  tm.nVars = 3;
  tm.objectives = {"o0\no2\nn3\no1\no2\nv0\nv1\no16\no5\nv2\nn2\no2\no54\n2\no44\nv0\no2\nv1\nv2\nn-2\n"};
  const std::vector<double> x{0.4, -0.3, 1.7};
  Dense h;
  ASSERT_TRUE(hessianAt(readValid(tm.text()), x, 0.5, {}, h));
  const Dense expected = lowerOf({{-2 * std::exp(0.4), 0, 0}, {3, 0, 0}, {0, -2, 6}});
  for (size_t i = 0; i < 3; ++i)
    for (size_t j = 0; j <= i; ++j) EXPECT_NEAR(h[i][j], 0.5 * expected[i][j], 1e-15) << i << ", " << j;
}

// sum_i (x_i^2 + x_last^2)^2: the last column meets every row, so every column is a group of
// its own, and each group sweeps the one or every element that depends on it.
TEST(NlHessian, ArrowheadMatchesDifferences) {
  const int n = 30;
  const std::string last = "v" + std::to_string(n - 1) + "\n";
  std::string sum = "o54\n" + std::to_string(n - 1) + "\n";
  for (int i = 0; i + 1 < n; ++i) sum += "o5\no0\no5\nv" + std::to_string(i) + "\nn2\no5\n" + last + "n2\nn2\n";
  TextModel tm;
  tm.nVars = n;
  tm.objectives = {sum};
  const Model m = readValid(tm.text());
  EXPECT_EQ(Hessian(m, 0).groups(), n);
  std::vector<double> x(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) x[static_cast<size_t>(j)] = std::cos(j);
  Dense h, fd;
  ASSERT_TRUE(hessianAt(m, x, 1.0, {}, h));
  ASSERT_TRUE(differencedHessian(m, x, 1.0, {}, fd));
  expectNearDifferences(h, fd, 1e-7);
}

TEST(NlHessian, DomainErrorsAreReportedForFunctionsThatCount) {
  TextModel tm;
  tm.nVars = 2;
  tm.constraints = {"o43\nv0\n",                        // log x0
                    "o39\nv1\n",                        // sqrt x1: no second derivative at 0
                    "o5\nv1\nn1.5\n",                   // x1^1.5: none at 0 either
                    "o35\no22\nv0\nn0\nn7\no43\nv0\n",  // if x0 < 0 then 7 else log x0
                    "o2\nv2\nv0\n"};                    // through the defined variable log x0
  tm.defined = {"V2 0 0\no43\nv0\n"};
  const Model m = readValid(tm.text());
  Hessian hess(m, -1);
  std::vector<double> values(static_cast<size_t>(hess.nonzeros()));
  auto defined = [&](std::vector<double> x, std::vector<double> lambda) {
    return hess.evaluate(x.data(), 1.0, lambda.data(), values.data());
  };
  EXPECT_FALSE(defined({-1.0, 1.0}, {1, 0, 0, 0, 0}));
  EXPECT_TRUE(defined({-1.0, 1.0}, {0, 1, 1, 1, 0}));  // log only in the branch not taken
  EXPECT_FALSE(defined({-1.0, 1.0}, {0, 0, 0, 0, 1}));
  EXPECT_FALSE(defined({1.0, 0.0}, {0, 1, 0, 0, 0}));
  EXPECT_FALSE(defined({1.0, 0.0}, {0, 0, 1, 0, 0}));
  EXPECT_TRUE(defined({1.0, 0.0}, {1, 0, 0, 1, 1}));  // the functions without a weight do not count
  EXPECT_TRUE(defined({2.0, 4.0}, {1, 1, 1, 1, 1}));
}

// The small test models (every kind of operator the collections use, defined variables,
// hundreds of constraints) at their starting point and at a point moved off it.
TEST(NlHessian, TestModelsMatchDifferencesOfExactGradients) {
  const std::vector<std::string> files = {
      "bearing-uno.nl", "chebyqad.nl.gz", "coshfun.nl", "cresc4-uno.nl", "dallass.nl", "djtl.nl", "ex8_1_1.nl",
      "helix.nl", "hs021.nl", "hs071.nl", "hs085.nl", "hubfit.nl", "logros.nl", "mdhole.nl", "modele_opti.nl",
      "oet7.nl.gz", "pspdoc.nl", "weeds.nl",
      // tan; defined variables (with linear terms, used by others); abs in constraints
      "yfit.nl", "aircraftb.nl", "coolhans.nl", "ex6.nl", "concon-uno.nl", "water.nl"};
  int checked = 0;
  for (const std::string& file : files) {
    SCOPED_TRACE(file);
    const ReadResult r = readNlFile(std::string(KAVRO_TEST_DATA_DIR) + "/nl/" + file);
    ASSERT_TRUE(r.ok) << r.error;
    const Model& m = r.model;
    std::vector<double> lambda(static_cast<size_t>(m.nCons()));
    for (size_t i = 0; i < lambda.size(); ++i)
      lambda[i] = (i % 2 ? -0.5 : 1.0) * (1.0 + 0.1 * static_cast<double>(i % 7));
    // Points moved off the start, which often sits at a kink of a min, max or abs.
    for (int pass = 1; pass <= 2; ++pass) {
      std::vector<double> x = m.x0;
      for (size_t j = 0; j < x.size(); ++j)
        x[j] = std::clamp(
            x[j] + 0.1 * std::max(1.0, std::fabs(x[j])) * std::cos(3.0 * pass * static_cast<double>(j) + pass),
            m.varLower[j], m.varUpper[j]);
      Dense h, fd, coarse;
      if (hessianAt(m, x, 1.0, lambda, h) && differencedHessian(m, x, 1.0, lambda, fd) &&
          differencedHessian(m, x, 1.0, lambda, coarse, 1e-6)) {
        expectNearDifferences(h, fd, 1e-7, &coarse);
        ++checked;
      }
    }
  }
  EXPECT_GE(checked, 40);
}

// Products without the matrix (one sweep per product) against the matrix times the vector, on
// models with defined variables, if-then-else, tan and hundreds of constraints; each product
// leaves the sweeps' storage clean for the next (two products in a row, the second with a
// different vector, must both match).
TEST(NlHessian, ProductsWithoutTheMatrixMatchTheMatrix) {
  for (const char* file : {"helix.nl", "hs071.nl", "modele_opti.nl", "aircraftb.nl", "coolhans.nl", "ex6.nl",
                           "water.nl", "chebyqad.nl.gz", "dallass.nl"}) {
    SCOPED_TRACE(file);
    const ReadResult r = readNlFile(std::string(KAVRO_TEST_DATA_DIR) + "/nl/" + file);
    ASSERT_TRUE(r.ok) << r.error;
    const Model& m = r.model;
    const auto n = static_cast<size_t>(m.nVars());
    std::vector<double> lambda(static_cast<size_t>(m.nCons()));
    for (size_t i = 0; i < lambda.size(); ++i)
      lambda[i] = (i % 2 ? -0.5 : 1.0) * (1.0 + 0.1 * static_cast<double>(i % 7));
    std::vector<double> x = m.x0;
    for (size_t j = 0; j < n; ++j)
      x[j] = std::clamp(x[j] + 0.1 * std::cos(3.0 * static_cast<double>(j)), m.varLower[j], m.varUpper[j]);
    Dense h;
    if (!hessianAt(m, x, -1.0, lambda, h)) continue;
    Hessian products(m, m.nObjs() > 0 ? 0 : -1, Hessian::kProductsOnly);
    ASSERT_TRUE(products.preparePoint(x.data(), -1.0, lambda.data()));
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<double> v(n), hv(n);
      for (size_t j = 0; j < n; ++j) v[j] = std::sin(1.0 + static_cast<double>(j) * (pass + 1));
      ASSERT_TRUE(products.product(v.data(), hv.data()));
      for (size_t i = 0; i < n; ++i) {
        double expected = 0.0;
        for (size_t j = 0; j < n; ++j) expected += (i >= j ? h[i][j] : h[j][i]) * v[j];
        EXPECT_NEAR(hv[i], expected, 1e-10 * std::max(1.0, std::fabs(expected))) << "row " << i << " pass " << pass;
      }
    }
  }
}

}  // namespace
}  // namespace kavro::nl
