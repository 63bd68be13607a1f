#include "nl/nl_problem.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "nl/nl_evaluator.hpp"

namespace kavro::nl {

namespace {

double bounded(double b) { return std::clamp(b, -kInfinity, kInfinity); }

std::string refuseUnsupported(const Model& m, const BuildOptions& o) {
  if (integerVariables(m) > 0 && !o.relaxIntegers)
    return "the model has " + std::to_string(integerVariables(m)) +
           " integer or binary variables; this optimizer solves continuous models (ask for the "
           "integers to be solved as continuous variables explicitly if that is wanted)";
  for (int32_t i = 0; i < m.nCons(); ++i)
    if (m.conType[static_cast<size_t>(i)] == BoundType::kComplement)
      return "constraint " + std::to_string(i) + " is a complementarity condition, which is not supported";
  if (o.objective >= m.nObjs()) return "the model has no objective " + std::to_string(o.objective + 1);
  if (m.nVars() == 0) return "the model has no variables";
  if (m.nCons() == 0 && o.objective < 0) return "the model has neither constraints nor an objective";
  return {};
}

bool usesVariables(const Model& m, int32_t e) { return m.expressionVars.size(e) > 0; }

int32_t lastVariable(const Model& m, int32_t e) { return usesVariables(m, e) ? m.expressionVars.end(e)[-1] : -1; }

// The nonlinear counts of the problem, checked against the order the file promises.
std::string nonlinearLayout(const Model& m, int32_t objective, Problem& p) {
  const Header& h = m.header;
  const int32_t nonlinearRows = std::min(h.nNonlinCons + h.nNetworkNonlinCons, m.nCons());
  int32_t lastRow = -1, lastColumn = -1;
  for (int32_t i = 0; i < m.nCons(); ++i) {
    if (!usesVariables(m, m.conExpression(i))) continue;
    if (i >= nonlinearRows)
      return "constraint " + std::to_string(i) + " is nonlinear but the file declares only " +
             std::to_string(nonlinearRows) + " nonlinear constraints, which come first";
    lastRow = i;
    lastColumn = std::max(lastColumn, lastVariable(m, m.conExpression(i)));
  }
  if (lastColumn >= h.nNonlinVarsCons)
    return "variable " + std::to_string(lastColumn) +
           " occurs nonlinearly in a constraint but the file declares only " + std::to_string(h.nNonlinVarsCons) +
           " such variables, which come first";
  p.nNonlinCons = lastRow < 0 ? 0 : nonlinearRows;
  p.nNonlinJacVars = lastRow < 0 ? 0 : h.nNonlinVarsCons;
  p.nNonlinObjVars = 0;
  if (objective >= 0 && usesVariables(m, m.objExpression(objective))) {
    const int32_t last = lastVariable(m, m.objExpression(objective));
    if (last >= h.nNonlinVarsObjs)
      return "variable " + std::to_string(last) + " occurs nonlinearly in the objective but the file declares only " +
             std::to_string(h.nNonlinVarsObjs) + " such variables, which come first";
    p.nNonlinObjVars = h.nNonlinVarsObjs;
  }
  return {};
}

// The constant value of an expression that uses no variable (0 for "n0", the usual case).
bool constantPart(Evaluator& ev, int32_t e, double& value) { return ev.nonlinearValue(e, value); }

class Builder {
 public:
  Builder(const Model& m, int32_t objective, BuiltProblem& out)
      : m_(m), objective_(objective), out_(out), p_(out.problem), ev_(m) {
    ev_.setPoint(m.x0.data());
  }

  std::string build() {
    p_.n = m_.nVars();
    p_.m = m_.nCons() + (objective_ >= 0 ? 1 : 0);
    p_.objRow = objective_ >= 0 ? m_.nCons() : -1;
    std::string name = m_.name.substr(0, 8);
    name.resize(8, ' ');
    p_.names[0] = name;
    out_.state.resizeFor(p_);
    if (std::string e = objectiveParts(); !e.empty()) return e;
    if (std::string e = bounds(); !e.empty()) return e;
    matrix();
    start();
    return {};
  }

 private:
  std::string bounds() {
    const size_t n = static_cast<size_t>(p_.n);
    p_.lower.assign(static_cast<size_t>(p_.nb()), -kInfinity);
    p_.upper.assign(static_cast<size_t>(p_.nb()), kInfinity);
    for (size_t j = 0; j < n; ++j) {
      p_.lower[j] = bounded(m_.varLower[j]);
      p_.upper[j] = bounded(m_.varUpper[j]);
    }
    for (int32_t i = 0; i < m_.nCons(); ++i) {
      // A linear row's expression is a constant (normally 0): it moves the body's range.
      double shift = 0.0;
      if (i >= p_.nNonlinCons && !constantPart(ev_, m_.conExpression(i), shift))
        return "constraint " + std::to_string(i) + " has a constant part that cannot be evaluated";
      const size_t k = n + static_cast<size_t>(i);
      p_.lower[k] = bounded(-(m_.conUpper[static_cast<size_t>(i)] - shift));
      p_.upper[k] = bounded(-(m_.conLower[static_cast<size_t>(i)] - shift));
    }
    return {};
  }

  std::string objectiveParts() {
    if (objective_ < 0) return {};
    out_.maximize = m_.objSense[static_cast<size_t>(objective_)] == 1;
    if (p_.nNonlinObjVars == 0 && !constantPart(ev_, m_.objExpression(objective_), p_.objConstant))
      return "the objective's constant part cannot be evaluated";
    if (p_.nNonlinObjVars > 0) out_.nonlinearEntries += m_.expressionVars.size(m_.objExpression(objective_));
    return {};
  }

  bool inJacobian(int32_t i, int32_t j) const { return i < p_.nNonlinCons && j < p_.nNonlinJacVars; }

  // Column-wise matrix from the row-wise J segments: rows stay increasing within each column,
  // the objective row last.
  void matrix() {
    const LinearParts& J = m_.conLinear;
    std::vector<int32_t> count(static_cast<size_t>(p_.n) + 1, 0);
    for (const LinearTerm& t : J.terms) ++count[static_cast<size_t>(t.var) + 1];
    if (objective_ >= 0)
      for (const LinearTerm* t = m_.objLinear.begin(objective_); t != m_.objLinear.end(objective_); ++t)
        if (t->var >= p_.nNonlinObjVars) ++count[static_cast<size_t>(t->var) + 1];
    for (size_t j = 0; j + 1 < count.size(); ++j) count[j + 1] += count[j];
    p_.a.colStart = count;
    p_.a.row.assign(static_cast<size_t>(count.back()), 0);
    p_.a.value.assign(static_cast<size_t>(count.back()), 0.0);
    std::vector<int32_t> next(count.begin(), count.end() - 1);
    auto append = [&](int32_t column, int32_t row, double value) {
      const size_t k = static_cast<size_t>(next[static_cast<size_t>(column)]++);
      p_.a.row[k] = row;
      p_.a.value[k] = value;
    };
    std::vector<double> derivative(std::max(J.terms.size(), size_t{1}));
    for (int32_t i = 0; i < m_.nCons(); ++i) {
      const LinearTerm* t = J.begin(i);
      const int32_t terms = J.size(i);
      double unused = 0.0;
      // The Jacobian at the starting point, where it can be evaluated; the coefficients otherwise.
      const bool evaluated = i < p_.nNonlinCons && ev_.gradient(m_.conExpression(i), unused, derivative.data());
      if (i < p_.nNonlinCons) out_.nonlinearEntries += m_.expressionVars.size(m_.conExpression(i));
      for (int32_t k = 0; k < terms; ++k) {
        const double value = evaluated && inJacobian(i, t[k].var) ? derivative[static_cast<size_t>(k)] : t[k].coef;
        append(t[k].var, i, value);
      }
    }
    if (objective_ >= 0)
      for (const LinearTerm* t = m_.objLinear.begin(objective_); t != m_.objLinear.end(objective_); ++t)
        if (t->var >= p_.nNonlinObjVars) append(t->var, p_.objRow, t->coef);
  }

  // The starting point, the slacks at minus the row bodies there (0 where a body cannot be
  // evaluated) and the initial multipliers.
  void start() {
    ProblemState& s = out_.state;
    const size_t n = static_cast<size_t>(p_.n);
    std::copy(m_.x0.begin(), m_.x0.end(), s.x.begin());
    for (int32_t i = 0; i < m_.nCons(); ++i) {
      double body = 0.0;
      if (!ev_.value(m_.conExpression(i), body)) body = 0.0;
      s.x[n + static_cast<size_t>(i)] = -body;
      // The optimizer's multipliers belong to the problem it minimizes (the objective negated for
      // maximization); AMPL's duals are changes of the objective as given.
      s.pi[static_cast<size_t>(i)] = out_.maximize ? -m_.dual0[static_cast<size_t>(i)]
                                                   : m_.dual0[static_cast<size_t>(i)];
    }
    if (objective_ < 0) return;
    double linear = 0.0;
    for (const LinearTerm* t = m_.objLinear.begin(objective_); t != m_.objLinear.end(objective_); ++t)
      if (t->var >= p_.nNonlinObjVars) linear += t->coef * m_.x0[static_cast<size_t>(t->var)];
    s.x[n + static_cast<size_t>(p_.objRow)] = -linear;
  }

  const Model& m_;
  int32_t objective_;
  BuiltProblem& out_;
  Problem& p_;
  Evaluator ev_;
};

}  // namespace

std::string buildProblem(const Model& model, const BuildOptions& options, BuiltProblem& out) {
  out = BuiltProblem{};
  BuildOptions o = options;
  if (o.objective == 0 && model.nObjs() == 0) o.objective = -1;
  if (std::string e = refuseUnsupported(model, o); !e.empty()) return e;
  const int32_t objective = o.objective;
  out.objective = objective;
  if (std::string e = nonlinearLayout(model, objective, out.problem); !e.empty()) return e;
  Builder builder(model, objective, out);
  if (std::string e = builder.build(); !e.empty()) {
    out = BuiltProblem{};
    return e;
  }
  return {};
}

}  // namespace kavro::nl
