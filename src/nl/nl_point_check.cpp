#include "nl/nl_point_check.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "nl/nl_evaluator.hpp"

namespace kavro::nl {

namespace {

struct Worst {
  double absolute = 0.0, relative = 0.0;
  void note(double amount, double bound) {
    if (std::isnan(amount)) amount = HUGE_VAL;
    if (!(amount > 0.0)) return;
    absolute = std::max(absolute, amount);
    relative = std::max(relative, amount / (1.0 + std::fabs(bound)));
  }
  void outside(double v, double lo, double up) {
    if (!std::isfinite(v)) note(HUGE_VAL, 0.0);
    else if (v < lo) note(lo - v, lo);
    else if (v > up) note(v - up, up);
  }
};

double wrongWay(double x, double lo, double up, double d, double tol) {
  const bool atLower = std::isfinite(lo) && x <= lo + tol * (1.0 + std::fabs(lo));
  const bool atUpper = std::isfinite(up) && x >= up - tol * (1.0 + std::fabs(up));
  double w = std::fabs(d);
  if (atLower && atUpper) w = 0.0;
  else if (atLower) w = -d;
  else if (atUpper) w = d;
  return std::isnan(w) ? HUGE_VAL : w;
}

}  // namespace

PointCheck checkPoint(const Model& m, const double* x, const std::vector<double>* multipliers, double tol) {
  PointCheck c;
  if (multipliers && multipliers->size() != static_cast<size_t>(m.nCons())) {
    c.failure = "the multipliers do not match the constraints";
    return c;
  }
  const double* y = multipliers ? multipliers->data() : nullptr;
  const bool dualWanted = multipliers != nullptr;
  Evaluator ev(m);
  ev.setPoint(x);
  const size_t n = static_cast<size_t>(m.nVars()), mc = static_cast<size_t>(m.nCons());
  std::vector<double> d(n, 0.0), body(mc, 0.0), jac(m.conLinear.terms.size());
  double nonlinear = 0.0;
  if (m.nObjs() > 0) {
    const int32_t f = m.objExpression(0);
    std::vector<double> g(static_cast<size_t>(ev.termCount(f)));
    if (!ev.value(f, c.objective) || !ev.gradient(f, nonlinear, g.data())) {
      c.failure = "the objective cannot be evaluated at the point";
      return c;
    }
    const double sigma = m.objSense[0] == 1 ? -1.0 : 1.0;
    for (int32_t k = 0; k < ev.termCount(f); ++k) d[ev.termsBegin(f)[k].var] += sigma * g[k];
  }
  Worst primal;
  double yNorm = 0.0;
  for (size_t i = 0; i < mc; ++i) {
    const int32_t f = m.conExpression(static_cast<int32_t>(i));
    double* gi = jac.data() + m.conLinear.start[i];
    if (!ev.value(f, body[i]) || !ev.gradient(f, nonlinear, gi)) {
      c.failure = "constraint " + std::to_string(i + 1) + " cannot be evaluated at the point";
      return c;
    }
    primal.outside(body[i], m.conLower[i], m.conUpper[i]);
    if (!dualWanted) continue;
    yNorm = std::max(yNorm, std::fabs(y[i]));
    for (int32_t k = m.conLinear.start[i]; k < m.conLinear.start[i + 1]; ++k)
      d[m.conLinear.terms[k].var] -= y[i] * jac[k];
  }
  double dual = 0.0;
  for (size_t j = 0; j < n; ++j) {
    primal.outside(x[j], m.varLower[j], m.varUpper[j]);
    if (dualWanted) dual = std::max(dual, wrongWay(x[j], m.varLower[j], m.varUpper[j], d[j], tol));
  }
  // The slack of row i is minus its body, with reduced cost -y_i: at the row's upper limit the
  // slack is at its lower bound.
  if (dualWanted)
    for (size_t i = 0; i < mc; ++i)
      dual = std::max(dual, wrongWay(-body[i], -m.conUpper[i], -m.conLower[i], -y[i], tol));
  c.evaluated = true;
  c.primalAbsolute = primal.absolute;
  c.primalRelative = primal.relative;
  c.dualAbsolute = dual;
  c.dualRelative = dual / (1.0 + yNorm);
  return c;
}

}  // namespace kavro::nl
