#include "optimizer/prices.hpp"

#include <algorithm>
#include <cmath>

#include "optimizer/feasibility.hpp"
#include "optimizer/subproblem_objective.hpp"

namespace kavro {

BasicCosts basicCostsOf(const SubproblemObjective& objective, const Feasibility& feasibility) {
  const bool infeasible = feasibility.ninf() > 0;
  const int32_t objSlack = objective.objSlack();
  BasicCosts c;
  c.objSlack = objSlack;
  c.objSlackCost = objSlack >= 0 ? objective.phaseGradient(objSlack, infeasible, feasibility.weight()) : 0.0;
  c.gradient = !infeasible && objective.nonlinear() ? objective.gradient() : nullptr;
  c.n = objective.columns();
  c.marks = infeasible ? feasibility.marks() : nullptr;
  return c;
}

Prices::Prices(int32_t m) : m_(m) {
  costs_.assign(m, 0.0);
  work_.assign(m, 0.0);
  rhs_.resize(m);
  solution_.resize(m);
}

void Prices::loadCosts(const int32_t* basic, const BasicCosts& c) {
  costsStale_ = false;
  double* cB = costs_.data();
  if (c.marks) {
    for (int32_t k = 0; k < m_; ++k) cB[k] = (basic[k] == c.objSlack ? c.objSlackCost : 0.0) + c.marks[k] / 2;
    return;
  }
  for (int32_t k = 0; k < m_; ++k) {
    const int32_t j = basic[k];
    cB[k] = j == c.objSlack ? c.objSlackCost : (c.gradient && j < c.n ? c.gradient[j] : 0.0);
  }
}

void Prices::compute(BasisLU& lu, const int32_t* basic, const BasicCosts& c, double* pi) {
  if (costsStale_) loadCosts(basic, c);
  // In phase 2 c_B is a multiple of a unit vector (the objective row's slack), in phase 1 it has
  // entries only at the infeasible basics: the sparse solve's case. Successive prices are much
  // alike, so when the last ones were dense the dense solve is taken at once (the results are
  // the same bit for bit); it skips the marking of the sparse solve's first steps.
  const double* cB = costs_.data();
  if (dense_) {
    std::copy(cB, cB + m_, work_.data());
    lu.solveBt(work_.data(), pi);
  } else {
    rhs_.clear();
    for (int32_t k = 0; k < m_; ++k)
      if (cB[k] != 0.0) rhs_.add(k, cB[k]);
    lu.solveBtSparse(rhs_, solution_);
    const double* value = solution_.value.data();
    if (solution_.listed()) {
      std::fill(pi, pi + m_, 0.0);
      const int32_t* index = solution_.index.data();
      for (int32_t k = 0; k < solution_.count; ++k) pi[index[k]] = value[index[k]];
    } else {
      std::copy(value, value + m_, pi);
    }
  }
  double biggest = 0.0;
  int32_t nonzeros = 0;
  for (int32_t i = 0; i < m_; ++i) {
    biggest = std::max(biggest, std::fabs(pi[i]));
    nonzeros += pi[i] != 0.0;
  }
  dense_ = nonzeros > m_ / 10;
  piNorm_ = std::max(1.0, biggest);
  stale_ = false;
}

}  // namespace kavro
