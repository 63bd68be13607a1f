// Evaluation of the user's functions at points slightly beyond the variables' bounds: such a
// point is pulled back onto the bounds when the functions are undefined where it stands.

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "nonlinear/function_evaluator.hpp"

namespace kavro {

void FunctionEvaluator::setVariableBounds(const double* lower, const double* upper, double slack) {
  if (!(slack >= 0.0)) throw std::invalid_argument("FunctionEvaluator::setVariableBounds: negative slack");
  const auto n = static_cast<std::ptrdiff_t>(nVars_);
  boundLower_.assign(lower, lower + n);
  boundUpper_.assign(upper, upper + n);
  boundSlack_ = slack;
}

// Moves every loaded variable that lies beyond a bound by no more than the slack onto that
// bound. True when some variable moved and none lies further out (a point far outside its
// bounds is not the optimizer's tolerance at work, and its failure stands).
bool FunctionEvaluator::pullOntoBounds(int32_t count) {
  if (boundLower_.empty()) return false;
  bool moved = false;
  for (int32_t j = 0; j < count; ++j) {
    const size_t uj = static_cast<size_t>(j);
    const double v = xWork_[uj], lo = boundLower_[uj], up = boundUpper_[uj];
    const double target = std::clamp(v, lo, std::max(lo, up));
    if (target == v) continue;
    if (std::fabs(v - target) > boundSlack_ * (1.0 + std::fabs(target))) return false;
    setVariable(j, target);
    moved = true;
  }
  return moved;
}

// The routines at the loaded point, and once more on the bounds when they are undefined just
// beyond them.
int32_t FunctionEvaluator::callObjectiveNearBounds(int32_t mode, double& f, double* g) {
  const int32_t result = callObjective(mode, f, g);
  if (result != kFunctionUndefined || !pullOntoBounds(nObj_)) return result;
  return callObjective(mode, f, g);
}

int32_t FunctionEvaluator::callConstraintsNearBounds(int32_t mode, double* f, double* g) {
  const int32_t result = callConstraints(mode, f, g);
  if (result != kFunctionUndefined || !pullOntoBounds(nJacVars_)) return result;
  return callConstraints(mode, f, g);
}

}  // namespace kavro
