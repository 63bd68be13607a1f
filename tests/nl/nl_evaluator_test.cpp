// Values and derivatives of every operator the reader takes, against the value and derivative
// worked out by hand and against central differences; defined variables used many times
// against the same model written out without them; domain errors reported, not returned.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "nl/nl_evaluator.hpp"
#include "nl_test_support.hpp"

namespace kavro::nl {
namespace {

using testing::readValid;
using testing::TextModel;

struct OperatorCase {
  const char* name;
  std::string expression;  // over v0, v1, v2
  std::vector<double> x;
  double value;
  std::vector<double> gradient;  // d/dv0, d/dv1, d/dv2
  bool smooth = true;            // central differences apply at x
};

// The objective's value and gradient at x.
bool evaluateObjective(const Model& model, const std::vector<double>& x, double& f, std::vector<double>& g) {
  Evaluator ev(model);
  ev.setPoint(x.data());
  g.assign(static_cast<size_t>(model.nVars()), 0.0);
  double nonlinear = 0.0;
  const bool ok = ev.value(model.objExpression(0), f) && ev.gradient(model.objExpression(0), nonlinear, g.data());
  EXPECT_EQ(nonlinear, f);  // no linear terms in these models
  return ok;
}

std::vector<OperatorCase> operatorCases() {
  const double a = 0.7, b = -1.3, c = 2.1;
  const std::vector<double> x{a, b, c};
  const double L10 = std::log(10.0);
  return {
      {"plus", "o0\nv0\nv1\n", x, a + b, {1, 1, 0}},
      {"minus", "o1\nv0\nv1\n", x, a - b, {1, -1, 0}},
      {"times", "o2\nv0\nv1\n", x, a * b, {b, a, 0}},
      {"divide", "o3\nv0\nv1\n", x, a / b, {1 / b, -a / (b * b), 0}},
      {"mod", "o4\nv2\nn0.8\n", x, std::fmod(c, 0.8), {0, 0, 1}},
      {"power", "o5\nv2\nv0\n", x, std::pow(c, a), {std::pow(c, a) * std::log(c), 0, a * std::pow(c, a - 1)}},
      {"power constant exponent", "o5\nv2\nn2.5\n", x, std::pow(c, 2.5), {0, 0, 2.5 * std::pow(c, 1.5)}},
      {"power constant base", "o5\nn1.5\nv1\n", x, std::pow(1.5, b), {0, std::pow(1.5, b) * std::log(1.5), 0}},
      {"square", "o5\nv1\nn2\n", x, b * b, {0, 2 * b, 0}},
      {"negative integer power", "o5\nv1\nn-3\n", x, std::pow(b, -3), {0, -3 * std::pow(b, -4), 0}},
      {"large integer power", "o5\nv2\nn37\n", x, std::pow(c, 37), {0, 0, 37 * std::pow(c, 36)}},
      {"power 0", "o5\nv1\nn0\n", x, 1.0, {0, 0, 0}},
      {"opcode ^2", "o76\nv1\n", x, b * b, {0, 2 * b, 0}},
      {"opcode ^ constant", "o75\nv2\nn3\n", x, c * c * c, {0, 0, 3 * c * c}},
      {"opcode constant ^", "o77\nn2\nv0\n", x, std::pow(2.0, a), {std::pow(2.0, a) * std::log(2.0), 0, 0}},
      {"less", "o6\nv2\nv0\n", x, c - a, {-1, 0, 1}},
      {"less below", "o6\nv0\nv2\n", x, 0.0, {0, 0, 0}},
      {"min", "o11\n3\nv0\nv1\nv2\n", x, b, {0, 1, 0}},
      {"max", "o12\n3\nv0\nv1\nv2\n", x, c, {0, 0, 1}},
      {"floor", "o13\nv1\n", x, std::floor(b), {0, 0, 0}},
      {"ceil", "o14\nv1\n", x, std::ceil(b), {0, 0, 0}},
      {"abs", "o15\nv1\n", x, -b, {0, -1, 0}},
      {"unary minus", "o16\nv0\n", x, -a, {-1, 0, 0}},
      {"or", "o20\nv0\nn0\n", x, 1, {0, 0, 0}},
      {"and", "o21\nv0\nn0\n", x, 0, {0, 0, 0}},
      {"lt", "o22\nv0\nv1\n", x, 0, {0, 0, 0}},
      {"le", "o23\nv1\nv0\n", x, 1, {0, 0, 0}},
      {"eq", "o24\nv0\nv0\n", x, 1, {0, 0, 0}},
      {"ge", "o28\nv0\nv1\n", x, 1, {0, 0, 0}},
      {"gt", "o29\nv1\nv0\n", x, 0, {0, 0, 0}},
      {"ne", "o30\nv1\nv0\n", x, 1, {0, 0, 0}},
      {"not", "o34\nv0\n", x, 0, {0, 0, 0}},
      {"if then", "o35\no22\nv1\nv0\no2\nv0\nv2\no44\nv1\n", x, a * c, {c, 0, a}},
      {"if else", "o35\no29\nv1\nv0\no2\nv0\nv2\no44\nv1\n", x, std::exp(b), {0, std::exp(b), 0}},
      {"tanh", "o37\nv0\n", x, std::tanh(a), {1 - std::tanh(a) * std::tanh(a), 0, 0}},
      {"tan", "o38\nv0\n", x, std::tan(a), {1 / (std::cos(a) * std::cos(a)), 0, 0}},
      {"sqrt", "o39\nv2\n", x, std::sqrt(c), {0, 0, 0.5 / std::sqrt(c)}},
      {"sinh", "o40\nv1\n", x, std::sinh(b), {0, std::cosh(b), 0}},
      {"sin", "o41\nv1\n", x, std::sin(b), {0, std::cos(b), 0}},
      {"log10", "o42\nv2\n", x, std::log10(c), {0, 0, 1 / (c * L10)}},
      {"log", "o43\nv2\n", x, std::log(c), {0, 0, 1 / c}},
      {"exp", "o44\nv1\n", x, std::exp(b), {0, std::exp(b), 0}},
      {"cosh", "o45\nv1\n", x, std::cosh(b), {0, std::sinh(b), 0}},
      {"cos", "o46\nv1\n", x, std::cos(b), {0, -std::sin(b), 0}},
      {"atanh", "o47\nv0\n", x, std::atanh(a), {1 / (1 - a * a), 0, 0}},
      {"atan2", "o48\nv0\nv1\n", x, std::atan2(a, b), {b / (a * a + b * b), -a / (a * a + b * b), 0}},
      {"atan", "o49\nv1\n", x, std::atan(b), {0, 1 / (1 + b * b), 0}},
      {"asinh", "o50\nv1\n", x, std::asinh(b), {0, 1 / std::sqrt(b * b + 1), 0}},
      {"asin", "o51\nv0\n", x, std::asin(a), {1 / std::sqrt(1 - a * a), 0, 0}},
      {"acosh", "o52\nv2\n", x, std::acosh(c), {0, 0, 1 / std::sqrt(c * c - 1)}},
      {"acos", "o53\nv0\n", x, std::acos(a), {-1 / std::sqrt(1 - a * a), 0, 0}},
      {"sum", "o54\n3\nv0\nv1\nv2\n", x, a + b + c, {1, 1, 1}},
      {"div", "o55\nv2\nv0\n", x, std::trunc(c / a), {0, 0, 0}, false},
      {"precision", "o56\nn123.456\nn2\n", x, 120.0, {0, 0, 0}},
      {"round", "o57\nn1.2345\nn2\n", x, 1.23, {0, 0, 0}},
      {"trunc", "o58\nn1.239\nn2\n", x, 1.23, {0, 0, 0}},
      {"count", "o59\n3\nv0\nn0\nv1\n", x, 2, {0, 0, 0}},
      {"numberof", "o60\n3\nv0\nv0\nv1\n", x, 1, {0, 0, 0}},
      {"forall", "o70\n2\nv0\nv1\n", x, 1, {0, 0, 0}},
      {"exists", "o71\n2\nn0\nv1\n", x, 1, {0, 0, 0}},
      {"implication", "o72\no22\nv1\nv0\nv2\nv0\n", x, c, {0, 0, 1}},
      {"iff", "o73\nv0\nn0\n", x, 0, {0, 0, 0}},
      {"nested",
       "o2\no44\no16\nv0\no43\no0\nv2\no5\nv1\nn2\n",
       x,
       std::exp(-a) * std::log(c + b * b),
       {-std::exp(-a) * std::log(c + b * b), std::exp(-a) * 2 * b / (c + b * b), std::exp(-a) / (c + b * b)}},
  };
}

TEST(NlEvaluator, EveryOperatorMatchesItsValueDerivativeAndDifferences) {
  for (const OperatorCase& oc : operatorCases()) {
    SCOPED_TRACE(oc.name);
    TextModel tm;
    tm.nVars = 3;
    tm.objectives = {oc.expression};
    const Model model = readValid(tm.text());
    double f = 0.0;
    std::vector<double> g;
    ASSERT_TRUE(evaluateObjective(model, oc.x, f, g));
    EXPECT_NEAR(f, oc.value, 1e-14 * std::max(1.0, std::fabs(oc.value)));
    for (size_t j = 0; j < 3; ++j) {
      EXPECT_NEAR(g[j], oc.gradient[j], 1e-13 * std::max(1.0, std::fabs(oc.gradient[j]))) << "variable " << j;
      if (!oc.smooth) continue;
      std::vector<double> up = oc.x, down = oc.x, unused;
      const double h = 1e-6;
      up[j] += h;
      down[j] -= h;
      double fu = 0.0, fd = 0.0;
      ASSERT_TRUE(evaluateObjective(model, up, fu, unused) && evaluateObjective(model, down, fd, unused));
      EXPECT_NEAR(g[j], (fu - fd) / (2 * h), 1e-7 * std::max(1.0, std::fabs(g[j]))) << "variable " << j;
    }
  }
}

// A defined variable used by several constraints and by another defined variable, many times
// over, against the same functions with the defined variables written out.
TEST(NlEvaluator, DefinedVariablesUsedManyTimesMatchTheExpandedModel) {
  // w3 = x0 * exp(x1) + 2 x2,   w4 = w3^2 + sin(w3) - x0
  const std::string w3 = "o2\nv0\no44\nv1\n";  // plus the linear term 2 x2
  const std::string w3full = "o0\n" + w3 + "o2\nn2\nv2\n";
  auto w4of = [](const std::string& w) { return "o1\no0\no5\n" + w + "n2\no41\n" + w + "v0\n"; };
  TextModel with, without;
  with.nVars = without.nVars = 3;
  with.defined = {"V3 1 0\n2 2\n" + w3, "V4 0 0\n" + w4of("v3\n")};
  with.constraints = {"o2\nv3\nv3\n", "o0\nv4\no2\nv3\nv4\n", "o54\n3\nv3\nv4\nv3\n", "n0\n"};
  with.objectives = {"o3\nv4\no0\nn3\no5\nv3\nn2\n"};
  without.constraints = {"o2\n" + w3full + w3full, "o0\n" + w4of(w3full) + "o2\n" + w3full + w4of(w3full),
                         "o54\n3\n" + w3full + w4of(w3full) + w3full, "n0\n"};
  without.objectives = {"o3\n" + w4of(w3full) + "o0\nn3\no5\n" + w3full + "n2\n"};
  with.conCoef = without.conCoef = {0.5, 0.0, -1.0};
  const Model a = readValid(with.text()), b = readValid(without.text());
  Evaluator ea(a), eb(b);
  for (const std::vector<double>& x : {std::vector<double>{0.3, -0.2, 0.9}, std::vector<double>{-1.1, 0.4, 0.05}}) {
    ea.setPoint(x.data());
    eb.setPoint(x.data());
    for (int32_t f = 0; f < 1 + 4; ++f) {
      SCOPED_TRACE(f);
      double va = 0, vb = 0, na = 0, nb = 0;
      std::vector<double> ga(3), gb(3);
      ASSERT_TRUE(ea.value(f, va) && eb.value(f, vb));
      ASSERT_TRUE(ea.gradient(f, na, ga.data()) && eb.gradient(f, nb, gb.data()));
      EXPECT_NEAR(va, vb, 1e-13 * std::max(1.0, std::fabs(vb)));
      for (size_t j = 0; j < 3; ++j) EXPECT_NEAR(ga[j], gb[j], 1e-12 * std::max(1.0, std::fabs(gb[j])));
    }
  }
  // Asking again at the same point gives the same numbers (nothing is left over in the sweeps).
  std::vector<double> g1(3), g2(3);
  double v = 0;
  ASSERT_TRUE(ea.gradient(2, v, g1.data()) && ea.gradient(2, v, g2.data()));
  EXPECT_EQ(g1, g2);
}

TEST(NlEvaluator, DomainErrorsAreReportedForTheirFunctionOnly) {
  TextModel tm;
  tm.nVars = 2;
  tm.constraints = {"o43\nv0\n",                        // log x0: undefined at x0 <= 0
                    "o39\nv1\n",                        // sqrt x1: value at 0, no derivative
                    "o3\nn1\nv0\n",                     // 1 / x0
                    "o35\no22\nv0\nn0\nn7\no43\nv0\n",  // if x0 < 0 then 7 else log x0
                    "o44\nv1\n"};                       // exp x1: overflows for large x1
  tm.defined = {"V2 0 0\no43\nv0\n"};
  tm.objectives = {"o0\nv2\nv1\n"};  // uses the defined variable log x0
  const Model m = readValid(tm.text());
  Evaluator ev(m);
  auto ok = [&](int32_t f, bool withGradient) {
    double v = 0.0, nl = 0.0;
    std::vector<double> g(2);
    return withGradient ? ev.gradient(f, nl, g.data()) : ev.value(f, v);
  };
  const std::vector<double> negative{-1.0, 0.0};
  ev.setPoint(negative.data());
  EXPECT_FALSE(ok(m.conExpression(0), false));
  EXPECT_TRUE(ok(m.conExpression(1), false));  // sqrt(0) = 0 ...
  EXPECT_FALSE(ok(m.conExpression(1), true));  // ... but its derivative is infinite
  EXPECT_TRUE(ok(m.conExpression(2), true));
  EXPECT_TRUE(ok(m.conExpression(3), true));  // log only in the branch not taken
  EXPECT_TRUE(ok(m.conExpression(4), true));
  EXPECT_FALSE(ok(m.objExpression(0), false));  // through the defined variable
  EXPECT_FALSE(ok(m.objExpression(0), true));

  const std::vector<double> zero{0.0, 1000.0};
  ev.setPoint(zero.data());
  EXPECT_FALSE(ok(m.conExpression(2), false));  // division by zero
  EXPECT_FALSE(ok(m.conExpression(4), false));  // exp(1000) overflows
  EXPECT_FALSE(ok(m.conExpression(3), false));  // now the branch with log 0 is taken

  // The same evaluator recovers at a good point: nothing of the errors stays behind.
  const std::vector<double> good{2.0, 4.0};
  ev.setPoint(good.data());
  for (int32_t f = 0; f < 6; ++f) EXPECT_TRUE(ok(f, true)) << f;
  double v = 0.0;
  ASSERT_TRUE(ev.value(m.objExpression(0), v));
  EXPECT_DOUBLE_EQ(v, std::log(2.0) + 4.0);
  std::vector<double> g(2);
  ASSERT_TRUE(ev.gradient(m.conExpression(3), v, g.data()));
  EXPECT_DOUBLE_EQ(g[0], 0.5);
}

TEST(NlEvaluator, GradientsIncludeLinearTermsOnTheSegmentLists) {
  // f = x0 * x1 + 3 x0 - x2 (linear part in G), over variables listed in G order.
  TextModel tm;
  tm.nVars = 3;
  tm.objectives = {"o2\nv0\nv1\n"};
  tm.objCoef = {3.0, 0.0, -1.0};
  tm.constraints = {"o5\nv2\nn3\n"};
  tm.conCoef = {1.0, 2.0, 0.0};
  const Model m = readValid(tm.text());
  Evaluator ev(m);
  const std::vector<double> x{2.0, 5.0, -1.0};
  ev.setPoint(x.data());
  double f = 0.0, nl = 0.0;
  std::vector<double> g(3);
  ASSERT_TRUE(ev.value(0, f));
  EXPECT_DOUBLE_EQ(f, 10.0 + 6.0 + 1.0);
  EXPECT_DOUBLE_EQ(ev.linearValue(0), 7.0);
  ASSERT_TRUE(ev.gradient(0, nl, g.data()));
  EXPECT_DOUBLE_EQ(nl, 10.0);
  EXPECT_EQ(g, (std::vector<double>{8.0, 2.0, -1.0}));
  ASSERT_TRUE(ev.gradient(m.conExpression(0), nl, g.data()));
  EXPECT_EQ(g, (std::vector<double>{1.0, 2.0, 3.0}));
  ASSERT_TRUE(ev.value(m.conExpression(0), f));
  EXPECT_DOUBLE_EQ(f, -1.0 + 2.0 + 10.0);
}

}  // namespace
}  // namespace kavro::nl
