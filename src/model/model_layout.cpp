#include "model/model_layout.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kavro::model {

namespace {

double bounded(double b) { return std::clamp(b, -kInfinity, kInfinity); }

std::string checkLimits(const char* what, int32_t k, double lower, double upper) {
  if (std::isnan(lower) || std::isnan(upper)) return std::string(what) + " " + std::to_string(k) + " has a NaN limit";
  if (lower > upper) return std::string(what) + " " + std::to_string(k) + " has its lower limit above its upper limit";
  return {};
}

std::string checkData(const ModelData& d) {
  if (d.variables() == 0) return "the model has no variables";
  for (int32_t j = 0; j < d.variables(); ++j) {
    if (std::string e = checkLimits("variable", j, d.lower[j], d.upper[j]); !e.empty()) return e;
    if (!std::isfinite(d.start[j])) return "variable " + std::to_string(j) + " has a starting value that is not finite";
  }
  for (int32_t i = 0; i < d.constraints(); ++i)
    if (std::string e = checkLimits("constraint", i, d.conLower[i], d.conUpper[i]); !e.empty()) return e;
  for (const LinearEntry& e : d.linear)
    if (!std::isfinite(e.value))
      return "constraint " + std::to_string(e.constraint) + " has a coefficient that is not finite";
  for (const LinearTerm& t : d.linearObjective)
    if (!std::isfinite(t.coefficient)) return "the objective has a coefficient that is not finite";
  if (!std::isfinite(d.objectiveConstant)) return "the objective constant is not finite";
  return {};
}

// Marks of the variables a set of functions depends on.
struct Dependence {
  std::vector<char> objective, jacobian;
};

Dependence dependence(const ModelData& d, const std::vector<std::vector<JacobianEntry>>& patterns) {
  const size_t n = static_cast<size_t>(d.variables());
  Dependence dep{std::vector<char>(n, 0), std::vector<char>(n, 0)};
  if (d.nonlinearObjective()) {
    if (d.objective.variables.empty()) std::fill(dep.objective.begin(), dep.objective.end(), 1);
    for (int32_t v : d.objective.variables) dep.objective[static_cast<size_t>(v)] = 1;
  }
  for (const auto& pattern : patterns)
    for (const JacobianEntry& e : pattern) dep.jacobian[static_cast<size_t>(e.variable)] = 1;
  return dep;
}

// The column order of the header comment; sets the nonlinear counts.
void orderColumns(const Dependence& dep, Layout& out) {
  const int32_t n = static_cast<int32_t>(dep.objective.size());
  auto group = [&](bool inObjective, bool inJacobian) {
    for (int32_t v = 0; v < n; ++v)
      if ((dep.objective[v] != 0) == inObjective && (dep.jacobian[v] != 0) == inJacobian) out.variableOf.push_back(v);
    return static_cast<int32_t>(out.variableOf.size());
  };
  const int32_t both = group(true, true);
  const int32_t jacobianVars = group(false, true);
  const int32_t objectiveVars = group(true, false);
  group(false, false);
  out.columnOf.assign(static_cast<size_t>(n), 0);
  for (int32_t c = 0; c < n; ++c) out.columnOf[out.variableOf[c]] = c;
  Problem& p = out.problem;
  p.nNonlinJacVars = jacobianVars;
  // When every variable of the objective is also one of the constraints', they are the first
  // group; otherwise the objective's prefix reaches to the end of the third.
  p.nNonlinObjVars = objectiveVars > jacobianVars ? objectiveVars : both;
}

void orderRows(const ModelData& d, Layout& out) {
  out.rowOf.assign(static_cast<size_t>(d.constraints()), 0);
  int32_t row = 0;
  for (size_t b = 0; b < d.blocks.size(); ++b) {
    out.blockRow.push_back(row);
    for (int32_t k = 0; k < d.blocks[b].count; ++k) out.rowOf[d.blockFirst[b] + k] = row++;
  }
  out.problem.nNonlinCons = row;
  for (int32_t i = 0; i < d.constraints(); ++i)
    if (d.conBlock[i] < 0) out.rowOf[i] = row++;
  out.problem.m = row + 1;
  out.problem.objRow = row;
}

struct Element {
  int32_t row, column;
  double value;
  int32_t jacobianOf;  // 1 for a Jacobian entry (block, entry of its pattern), 0 for a coefficient
  int32_t block, entry;
};

std::vector<Element> elements(const ModelData& d, const std::vector<std::vector<JacobianEntry>>& patterns,
                              Layout& out) {
  std::vector<Element> list;
  for (size_t b = 0; b < patterns.size(); ++b)
    for (size_t k = 0; k < patterns[b].size(); ++k) {
      const JacobianEntry& e = patterns[b][k];
      list.push_back({out.blockRow[b] + e.constraint, out.columnOf[e.variable], 0.0, 1, static_cast<int32_t>(b),
                      static_cast<int32_t>(k)});
    }
  for (const LinearEntry& e : d.linear)
    list.push_back({out.rowOf[e.constraint], out.columnOf[e.variable], e.value, 0, -1, -1});
  const int32_t nObj = out.problem.nNonlinObjVars;
  out.objectiveInF.assign(static_cast<size_t>(nObj), 0.0);
  for (const LinearTerm& t : d.linearObjective) {
    const int32_t c = out.columnOf[t.variable];
    if (c < nObj) out.objectiveInF[c] += t.coefficient;
    else list.push_back({out.problem.objRow, c, t.coefficient, 0, -1, -1});
  }
  std::stable_sort(list.begin(), list.end(), [](const Element& a, const Element& b) {
    return a.column != b.column ? a.column < b.column : a.row < b.row;
  });
  return list;
}

// Compressed columns from the sorted elements; repeated linear coefficients are summed, a
// repeated Jacobian entry is refused.
std::string compress(const std::vector<Element>& list, Layout& out) {
  Problem& p = out.problem;
  SparseMatrix& a = p.a;
  a.colStart.assign(static_cast<size_t>(p.n) + 1, 0);
  for (size_t k = 0; k < list.size(); ++k) {
    const Element& e = list[k];
    const bool repeat = k > 0 && list[k - 1].row == e.row && list[k - 1].column == e.column;
    if (repeat && (e.jacobianOf != 0 || list[k - 1].jacobianOf != 0))
      return "nonlinear constraint block " + std::to_string(e.block >= 0 ? e.block : list[k - 1].block) +
             " names a Jacobian entry twice (variable " + std::to_string(out.variableOf[e.column]) + ")";
    if (repeat) {
      a.value.back() += e.value;
      continue;
    }
    a.row.push_back(e.row);
    a.value.push_back(e.value);
    ++a.colStart[static_cast<size_t>(e.column) + 1];
    if (e.jacobianOf != 0) {
      out.jacobianPlace[e.block][e.entry] = static_cast<int32_t>(out.jacobianElement.size());
      out.jacobianElement.push_back(static_cast<int32_t>(a.row.size()) - 1);
    }
  }
  std::partial_sum(a.colStart.begin(), a.colStart.end(), a.colStart.begin());
  return {};
}

void bounds(const ModelData& d, Layout& out) {
  Problem& p = out.problem;
  p.lower.assign(static_cast<size_t>(p.nb()), -kInfinity);
  p.upper.assign(static_cast<size_t>(p.nb()), kInfinity);
  for (int32_t v = 0; v < d.variables(); ++v) {
    p.lower[out.columnOf[v]] = bounded(d.lower[v]);
    p.upper[out.columnOf[v]] = bounded(d.upper[v]);
  }
  for (int32_t i = 0; i < d.constraints(); ++i) {
    const size_t k = static_cast<size_t>(p.n + out.rowOf[i]);
    p.lower[k] = bounded(-d.conUpper[i]);
    p.upper[k] = bounded(-d.conLower[i]);
  }
}

// A Hessian entry joining a variable that no nonlinear function depends on contradicts the
// declared dependence; its column lies beyond the nonlinear ones the solver hands over.
std::string hessianColumns(const ModelData& d, Layout& out) {
  const int32_t nonlinear = out.problem.nNonlinVars();
  for (const HessianEntry& e : d.hessian.pattern) {
    for (int32_t v : {e.row, e.column})
      if (out.columnOf[v] >= nonlinear)
        return "the Hessian's pattern names variable " + std::to_string(v) +
               ", on which neither the objective nor a nonlinear constraint depends";
    out.hessianRow.push_back(out.columnOf[e.row]);
    out.hessianColumn.push_back(out.columnOf[e.column]);
  }
  return {};
}

}  // namespace

std::vector<JacobianEntry> expandedPattern(const NonlinearConstraintSpec& block, int32_t variables) {
  if (!block.pattern.empty()) return block.pattern;
  std::vector<JacobianEntry> dense;
  dense.reserve(static_cast<size_t>(block.count) * static_cast<size_t>(variables));
  for (int32_t i = 0; i < block.count; ++i)
    for (int32_t v = 0; v < variables; ++v) dense.push_back({i, v});
  return dense;
}

std::string buildLayout(const ModelData& d, Layout& out) {
  out = Layout{};
  if (std::string e = checkData(d); !e.empty()) return e;
  std::vector<std::vector<JacobianEntry>> patterns;
  for (const NonlinearConstraintSpec& b : d.blocks) {
    patterns.push_back(expandedPattern(b, d.variables()));
    out.jacobianPlace.emplace_back(patterns.back().size(), -1);
    out.nonlinearEntries += static_cast<int64_t>(patterns.back().size());
  }
  const Dependence dep = dependence(d, patterns);
  out.problem.n = d.variables();
  orderColumns(dep, out);
  orderRows(d, out);
  if (d.hessian.values)
    if (std::string e = hessianColumns(d, out); !e.empty()) return e;
  if (std::string e = compress(elements(d, patterns, out), out); !e.empty()) return e;
  bounds(d, out);
  if (d.nonlinearObjective()) {
    out.constantInF = d.objectiveConstant;
    out.nonlinearEntries += std::count(dep.objective.begin(), dep.objective.end(), 1);
  } else {
    out.problem.objConstant = d.objectiveConstant;
  }
  return {};
}

}  // namespace kavro::model
