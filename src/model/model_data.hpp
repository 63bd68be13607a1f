#pragma once
// What a kavro::Model holds: the caller's problem in the caller's numbering, exactly as it was
// given. model_layout turns it into the solver entry's problem.

#include <cstdint>
#include <vector>

#include "kavro/model.hpp"

namespace kavro::model {

// One linear-constraint coefficient: constraint (in the order added), variable, value.
struct LinearEntry {
  int32_t constraint = 0;
  int32_t variable = 0;
  double value = 0.0;
};

// The Lagrangian's second derivatives, in the form the caller chose (at most one is set).
struct HessianSpec {
  std::vector<HessianEntry> pattern;  // with values: the lower triangle, repeats allowed
  ModelHessian values;
  ModelHessianProduct product;
  bool given() const { return static_cast<bool>(values) || static_cast<bool>(product); }
};

struct ModelData {
  std::vector<double> lower, upper, start;      // per variable
  std::vector<double> conLower, conUpper;       // per constraint, in the order added
  std::vector<int32_t> conBlock;                // per constraint: its nonlinear block, or -1
  std::vector<LinearEntry> linear;              // the linear constraints' coefficients
  std::vector<NonlinearConstraintSpec> blocks;  // patterns already expanded (never empty)
  std::vector<int32_t> blockFirst;              // per block: its first constraint
  ObjectiveSpec objective;                      // no function: no nonlinear part
  std::vector<LinearTerm> linearObjective;
  double objectiveConstant = 0.0;
  Sense sense = Sense::kMinimize;
  HessianSpec hessian;

  int32_t variables() const { return static_cast<int32_t>(lower.size()); }
  int32_t constraints() const { return static_cast<int32_t>(conLower.size()); }
  bool nonlinearObjective() const { return static_cast<bool>(objective.function); }
};

}  // namespace kavro::model
