#include "nl/nl_evaluator.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "nl/nl_defined_values.hpp"
#include "nl/nl_sweep.hpp"

namespace kavro::nl {

namespace {

// Per expression, the distinct defined variables among its operands.
IndexLists definedUses(const Model& m) {
  const Tape& tape = m.tape;
  IndexLists uses;
  std::vector<int32_t> stamp(static_cast<size_t>(m.nDefined()), -1);
  for (int32_t e = 0; e < tape.expressions(); ++e) {
    tape.forEachOperand(e, [&](uint32_t slot) {
      if (!tape.isDefined(slot)) return;
      const int32_t v = static_cast<int32_t>(slot - tape.definedBase());
      if (stamp[v] == e) return;
      stamp[v] = e;
      uses.index.push_back(v);
    });
    uses.start.push_back(static_cast<int32_t>(uses.index.size()));
  }
  return uses;
}

}  // namespace

Evaluator::Evaluator(const Model& model)
    : m_(model),
      tape_(model.tape),
      value_(model.tape.slots(), 0.0),
      adjoint_(model.tape.slots(), 0.0),
      definedError_(static_cast<size_t>(model.nDefined()), 0),
      definedGradError_(static_cast<size_t>(model.nDefined()), 0),
      definedUsed_(definedUses(model)) {
  std::copy(tape_.constants.begin(), tape_.constants.end(), value_.begin() + tape_.constantBase());
  definedGradStart_.assign(static_cast<size_t>(model.nDefined()) + 1, 0);
  for (int32_t v = 0; v < model.nDefined(); ++v)
    definedGradStart_[v + 1] = definedGradStart_[v] +
                               static_cast<size_t>(model.expressionVars.size(model.definedExpression(v)));
  definedGradient_.assign(definedGradStart_.back(), 0.0);
}

void Evaluator::setPoint(const double* x) {
  // The same point again (objective and constraints are often asked for at one point) keeps
  // the defined variables' values and gradients.
  const size_t bytes = static_cast<size_t>(m_.nVars()) * sizeof(double);
  if (bytes > 0 && std::memcmp(value_.data(), x, bytes) == 0) return;
  std::copy(x, x + m_.nVars(), value_.begin());
  definedValid_ = definedGradValid_ = false;
}

const LinearTerm* Evaluator::termsBegin(int32_t f) const {
  return f < m_.nObjs() ? m_.objLinear.begin(f) : m_.conLinear.begin(f - m_.nObjs());
}

const LinearTerm* Evaluator::termsEnd(int32_t f) const {
  return f < m_.nObjs() ? m_.objLinear.end(f) : m_.conLinear.end(f - m_.nObjs());
}

double Evaluator::linearValue(int32_t f) const {
  double s = 0.0;
  for (const LinearTerm* t = termsBegin(f); t != termsEnd(f); ++t) s += t->coef * value_[t->var];
  return s;
}

bool Evaluator::forward(int32_t e) {
  if (!definedValid_) evaluateDefined();
  int32_t errors = forwardSweep(tape_, tape_.first[e], tape_.last[e], value_.data());
  for (const int32_t* v = definedUsed_.begin(e); v != definedUsed_.end(e); ++v) errors += definedError_[*v];
  return errors == 0 && std::isfinite(value_[tape_.root[e]]);
}

bool Evaluator::backward(int32_t e) {
  adjoint_[tape_.root[e]] += 1.0;
  backwardSweep(tape_, tape_.first[e], tape_.last[e], value_.data(), adjoint_.data());
  bool ok = true;
  for (const int32_t* u = definedUsed_.begin(e); u != definedUsed_.end(e); ++u) {
    const size_t v = static_cast<size_t>(*u);
    double& slot = adjoint_[tape_.definedBase() + v];
    const double w = slot;
    slot = 0.0;
    if (w == 0.0) continue;
    ok = ok && !definedGradError_[v];
    const int32_t ve = m_.definedExpression(*u);
    const double* g = definedGradient_.data() + definedGradStart_[v];
    const int32_t* var = m_.expressionVars.begin(ve);
    const int32_t count = m_.expressionVars.size(ve);
    for (int32_t k = 0; k < count; ++k) adjoint_[var[k]] += w * g[k];
  }
  return ok;
}

void Evaluator::evaluateDefined() {
  definedValid_ = true;  // forward() below must not come back here
  evaluateDefinedVariables(m_, tape_, value_, definedError_, [this](int32_t e) { return forward(e); });
}

// Each defined variable's gradient from its own backward sweep, with the gradients of the
// defined variables it uses (computed before it) spread in.
void Evaluator::differentiateDefined() {
  definedGradValid_ = true;
  if (!definedValid_) evaluateDefined();
  for (int32_t v : m_.definedOrder) {
    const size_t k = static_cast<size_t>(v);
    definedGradError_[k] = definedError_[k];
    if (definedError_[k]) continue;
    const int32_t e = m_.definedExpression(v);
    // On the values of evaluateDefined, still in place.
    bool ok = tape_.isConstantExpression(e) || backward(e);
    for (const LinearTerm* t = m_.definedLinear.begin(v); t != m_.definedLinear.end(v); ++t)
      adjoint_[t->var] += t->coef;
    const int32_t* var = m_.expressionVars.begin(e);
    double* g = definedGradient_.data() + definedGradStart_[k];
    for (int32_t j = 0; j < m_.expressionVars.size(e); ++j) {
      double& d = adjoint_[var[j]];
      g[j] = d;
      ok = ok && std::isfinite(d);
      d = 0.0;
    }
    definedGradError_[k] = !ok;
  }
}

bool Evaluator::nonlinearValue(int32_t f, double& value) {
  if (tape_.isConstantExpression(f)) {
    value = tape_.constantValue(f);
    return std::isfinite(value);
  }
  const bool ok = forward(f);
  value = value_[tape_.root[f]];
  return ok;
}

bool Evaluator::value(int32_t f, double& value) {
  const bool ok = nonlinearValue(f, value);
  value += linearValue(f);
  return ok && std::isfinite(value);
}

bool Evaluator::gradient(int32_t f, double& nonlinear, double* grad) {
  bool ok = nonlinearValue(f, nonlinear);
  if (ok && !tape_.isConstantExpression(f)) {
    if (!definedGradValid_) differentiateDefined();
    ok = backward(f);
  }
  const LinearTerm* t = termsBegin(f);
  const int32_t count = termCount(f);
  for (int32_t k = 0; k < count; ++k) {
    double& d = adjoint_[t[k].var];
    grad[k] = t[k].coef + d;
    ok = ok && std::isfinite(grad[k]);
    d = 0.0;
  }
  return ok;
}

}  // namespace kavro::nl
