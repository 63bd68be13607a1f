#include "nl/nl_hessian.hpp"

#include <algorithm>
#include <cmath>

#include "nl/nl_defined_values.hpp"
#include "nl/nl_second_order.hpp"
#include "nl/nl_sweep.hpp"

namespace kavro::nl {

namespace {

// The objective's expression when it has a nonlinear part, then every nonlinear constraint's.
std::vector<int32_t> nonlinearFunctions(const Model& m, int32_t objective) {
  std::vector<int32_t> out;
  if (objective >= 0 && objective < m.nObjs() && !m.tape.isConstantExpression(m.objExpression(objective)))
    out.push_back(m.objExpression(objective));
  for (int32_t i = 0; i < m.nCons(); ++i)
    if (!m.tape.isConstantExpression(m.conExpression(i))) out.push_back(m.conExpression(i));
  return out;
}

// Per expression, each defined variable among its operands once.
IndexLists definedOperands(const Model& m) {
  IndexLists lists;
  std::vector<int32_t> lastSeenIn(static_cast<size_t>(m.nDefined()), -1);
  for (int32_t e = 0; e < m.tape.expressions(); ++e) {
    m.tape.forEachOperand(e, [&](uint32_t slot) {
      if (!m.tape.isDefined(slot)) return;
      const auto v = static_cast<size_t>(slot - m.tape.definedBase());
      if (lastSeenIn[v] != e) lastSeenIn[v] = e, lists.index.push_back(static_cast<int32_t>(v));
    });
    lists.start.push_back(static_cast<int32_t>(lists.index.size()));
  }
  return lists;
}

}  // namespace

Hessian::Hessian(const Model& model, int32_t objective, Form form)
    : m_(model),
      tape_(model.tape),
      objective_(objective >= 0 && objective < model.nObjs() ? objective : -1),
      functions_(nonlinearFunctions(model, objective)),
      elements_(splitIntoElements(model, functions_)),
      definedGroupStamp_(static_cast<size_t>(model.nDefined()), -1),
      definedUsed_(definedOperands(model)),
      value_(model.tape.slots(), 0.0),
      tangent_(model.tape.slots(), 0.0),
      adjoint_(model.tape.slots(), 0.0),
      adjointDot_(model.tape.slots(), 0.0),
      partials_(model.tape.nodes.size()),
      definedError_(static_cast<size_t>(model.nDefined()), 0) {
  std::copy(tape_.constants.begin(), tape_.constants.end(), value_.begin() + tape_.constantBase());
  if (form == kProductsOnly) return;
  const HessianPattern pattern = lagrangianPattern(model, functions_);
  for (int32_t j = 0; j < pattern.n; ++j)
    for (int32_t k = pattern.colStart[j]; k < pattern.colStart[j + 1]; ++k) {
      entryRow_.push_back(pattern.row[k]);
      entryCol_.push_back(j);
    }
  buildGroups(colorColumns(pattern, groups_));
}

// Per group: its variables, the defined variables and elements that depend on one of them
// (defined variables in evaluation order), and the entries read from its product.
void Hessian::buildGroups(const std::vector<int32_t>& color) {
  std::vector<std::vector<int32_t>> vars(static_cast<size_t>(groups_)), defined(vars), elements(vars), entries(vars);
  for (size_t j = 0; j < color.size(); ++j)
    if (color[j] >= 0) vars[color[j]].push_back(static_cast<int32_t>(j));
  for (size_t k = 0; k < entryCol_.size(); ++k) entries[color[entryCol_[k]]].push_back(static_cast<int32_t>(k));
  std::vector<int32_t> stamp(static_cast<size_t>(groups_), -1);
  int32_t marker = 0;  // distinct per item
  auto addDependent = [&](const int32_t* begin, const int32_t* end, int32_t item,
                          std::vector<std::vector<int32_t>>& lists) {
    ++marker;
    for (const int32_t* j = begin; j != end; ++j) {
      const int32_t g = color[*j];
      if (g < 0 || stamp[g] == marker) continue;
      stamp[g] = marker;
      lists[g].push_back(item);
    }
  };
  for (int32_t v : m_.definedOrder) {
    const int32_t e = m_.definedExpression(v);
    addDependent(m_.expressionVars.begin(e), m_.expressionVars.end(e), v, defined);
  }
  for (int32_t k = 0; k < static_cast<int32_t>(elements_.list.size()); ++k)
    addDependent(elements_.vars.begin(k), elements_.vars.end(k), k, elements);
  auto compress = [&](const std::vector<std::vector<int32_t>>& lists, GroupLists& out) {
    for (const std::vector<int32_t>& list : lists) {
      out.item.insert(out.item.end(), list.begin(), list.end());
      out.start.push_back(static_cast<int32_t>(out.item.size()));
    }
  };
  compress(vars, groupVars_);
  compress(defined, groupDefined_);
  compress(elements, groupElements_);
  compress(entries, groupEntries_);
}

double Hessian::weightOf(int32_t f) const {
  return f < m_.nObjs() ? (f == objective_ ? sigma_ : 0.0) : lambda_[f - m_.nObjs()];
}

bool Hessian::evaluate(const double* x, double sigma, const double* lambda, double* values) {
  sigma_ = sigma;
  lambda_ = lambda;
  std::fill(values, values + nonzeros(), 0.0);
  if (!evaluatePoint(x)) return false;
  bool ok = true;
  for (int32_t g = 0; g < groups_; ++g) ok = sweepGroup(g, values) && ok;
  // Adjoints gathered on constant slots are never read; keep them from growing.
  std::fill(adjoint_.begin() + tape_.constantBase(), adjoint_.end(), 0.0);
  std::fill(adjointDot_.begin() + tape_.constantBase(), adjointDot_.end(), 0.0);
  return ok;
}

bool Hessian::evaluatePoint(const double* x) {
  std::copy(x, x + m_.nVars(), value_.begin());
  evaluateDefined();
  for (int32_t f : functions_)
    if (weightOf(f) != 0.0 && !forward(f)) return false;
  return true;
}

// Values and partials of expression e's nodes; false when one of them or a defined variable e
// uses is not finite.
bool Hessian::forward(int32_t e) {
  const uint32_t first = tape_.first[e], last = tape_.last[e];
  int32_t errors = forwardSweep(tape_, first, last, value_.data());
  partialsSweep(tape_, first, last, value_.data(), partials_.data());
  for (const int32_t* v = definedUsed_.begin(e); v != definedUsed_.end(e); ++v) errors += definedError_[*v];
  return errors == 0 && std::isfinite(value_[tape_.root[e]]);
}

// A defined variable is in error when its own value is not finite or one it uses is in error.
void Hessian::evaluateDefined() {
  evaluateDefinedVariables(m_, tape_, value_, definedError_, [this](int32_t e) { return forward(e); });
}

void Hessian::sweepNodes(uint32_t first, uint32_t last) {
  tangentSweep(tape_, first, last, value_.data(), partials_.data(), tangent_.data());
}

void Hessian::sweepBack(uint32_t first, uint32_t last) {
  secondOrderSweep(tape_, first, last, value_.data(), partials_.data(), tangent_.data(), adjoint_.data(),
                   adjointDot_.data());
}

void Hessian::zeroNodes(std::vector<double>& a, uint32_t first, uint32_t last) {
  std::fill(a.begin() + tape_.nodeBase() + first, a.begin() + tape_.nodeBase() + last, 0.0);
}

// Defined variable v's tangent from its expression's and its linear terms' (the variables it
// uses carry theirs already), stamped with the group it was carried for.
void Hessian::carryTangent(int32_t v, int32_t g) {
  const int32_t e = m_.definedExpression(v);
  sweepNodes(tape_.first[e], tape_.last[e]);
  double t = tangent_[tape_.root[e]];
  for (const LinearTerm* term = m_.definedLinear.begin(v); term != m_.definedLinear.end(v); ++term)
    t += term->coef * tangent_[term->var];
  tangent_[tape_.definedBase() + static_cast<size_t>(v)] = t;
  definedGroupStamp_[v] = g;
}

// Tangent and second-order reverse sweep of one element, seeded with its weight (none: skipped).
void Hessian::sweepElement(const Element& el) {
  const double w = weightOf(el);
  if (w == 0.0) return;
  sweepNodes(el.first, el.last);
  adjoint_[el.root] += w;
  sweepBack(el.first, el.last);
}

bool Hessian::sweepGroup(int32_t g, double* values) {
  for (const int32_t* j = groupVars_.begin(g); j != groupVars_.end(g); ++j) tangent_[*j] = 1.0;
  for (const int32_t* v = groupDefined_.begin(g); v != groupDefined_.end(g); ++v) carryTangent(*v, g);
  for (const int32_t* k = groupElements_.begin(g); k != groupElements_.end(g); ++k) sweepElement(elements_.list[*k]);
  sweepDefinedBackward(g);
  bool ok = true;
  for (const int32_t* k = groupEntries_.begin(g); k != groupEntries_.end(g); ++k) {
    const double h = adjointDot_[entryRow_[*k]];
    values[*k] = h;
    ok = ok && std::isfinite(h);
  }
  clearGroup(g);
  return ok;
}

// The chain rule through the defined variables, the users before the ones they use. A defined
// variable that does not depend on the group's variables has no tangent, so only its
// second-order adjoint has to go on into its expression.
void Hessian::sweepDefinedBackward(int32_t g) {
  for (auto it = m_.definedOrder.rbegin(); it != m_.definedOrder.rend(); ++it) {
    const int32_t v = *it;
    const size_t slot = tape_.definedBase() + static_cast<size_t>(v);
    const double w = adjoint_[slot], wd = adjointDot_[slot];
    adjoint_[slot] = adjointDot_[slot] = 0.0;
    if (wd == 0.0 && (w == 0.0 || definedGroupStamp_[v] != g)) continue;
    for (const LinearTerm* t = m_.definedLinear.begin(v); t != m_.definedLinear.end(v); ++t) {
      adjoint_[t->var] += w * t->coef;
      adjointDot_[t->var] += wd * t->coef;
    }
    const int32_t e = m_.definedExpression(v);
    adjoint_[tape_.root[e]] += w;
    adjointDot_[tape_.root[e]] += wd;
    sweepBack(tape_.first[e], tape_.last[e]);
  }
}

// Tangents back to zero for the next group, and the variables' adjoints (the reverse sweeps
// reach only the variables of the elements swept, through their defined variables included).
void Hessian::clearGroup(int32_t g) {
  for (const int32_t* j = groupVars_.begin(g); j != groupVars_.end(g); ++j) tangent_[*j] = 0.0;
  for (const int32_t* v = groupDefined_.begin(g); v != groupDefined_.end(g); ++v) {
    const int32_t e = m_.definedExpression(*v);
    zeroNodes(tangent_, tape_.first[e], tape_.last[e]);
    tangent_[tape_.definedBase() + static_cast<size_t>(*v)] = 0.0;
  }
  for (const int32_t* k = groupElements_.begin(g); k != groupElements_.end(g); ++k) {
    const Element& el = elements_.list[*k];
    if (weightOf(el) == 0.0) continue;
    zeroNodes(tangent_, el.first, el.last);
    for (const int32_t* j = elements_.vars.begin(*k); j != elements_.vars.end(*k); ++j)
      adjoint_[*j] = adjointDot_[*j] = 0.0;
  }
}

// ---------------------------------------------------------------- products without the matrix

bool Hessian::preparePoint(const double* x, double sigma, const double* lambda) {
  sigma_ = sigma;
  lambda_ = lambda;
  return evaluatePoint(x);
}

// sweepGroup with every variable's tangent set to v: the defined variables all carry a tangent
// (stamped with kEveryGroup), every element of nonzero weight is swept.
bool Hessian::product(const double* v, double* hv) {
  constexpr int32_t kEveryGroup = -2;
  const int32_t n = m_.nVars();
  std::copy(v, v + n, tangent_.begin());
  for (int32_t d : m_.definedOrder) carryTangent(d, kEveryGroup);
  for (const Element& el : elements_.list) sweepElement(el);
  sweepDefinedBackward(kEveryGroup);
  bool ok = true;
  for (int32_t j = 0; j < n; ++j) {
    hv[j] = adjointDot_[j];
    ok = ok && std::isfinite(hv[j]);
  }
  // Everything back to zero for the next product.
  std::fill(tangent_.begin(), tangent_.end(), 0.0);
  std::fill(adjoint_.begin(), adjoint_.begin() + n, 0.0);
  std::fill(adjointDot_.begin(), adjointDot_.begin() + n, 0.0);
  std::fill(adjoint_.begin() + tape_.constantBase(), adjoint_.end(), 0.0);
  std::fill(adjointDot_.begin() + tape_.constantBase(), adjointDot_.end(), 0.0);
  return ok;
}

}  // namespace kavro::nl
