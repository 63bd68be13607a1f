// Forward and central differences for the derivatives the user's routines do not provide, and
// the entry points that return complete derivatives. The step for variable j is
// h = (|x_j| + 1) d, with d the "Difference interval" (forward) or the "Central difference
// int." (central); central differences cost two calls per element or column.

#include <cmath>

#include "nonlinear/function_evaluator.hpp"

namespace kavro {

namespace {

// A quotient of two finite values can still overflow; such a derivative is as unusable as a
// value the routine could not compute.
bool storeDerivative(double value, double& element) {
  element = value;
  return std::isfinite(value);
}

}  // namespace

double FunctionEvaluator::differenceInterval() const {
  return differenceChoice_ == kCentral ? p_.centralDifferenceInterval : p_.differenceInterval;
}

int32_t FunctionEvaluator::differenceObjective(const double* x, double f, double* g) {
  loadPoint(x, nObj_);
  return differenceObjectiveHere(f, g);
}

int32_t FunctionEvaluator::differenceJacobian(const double* x, const double* f, double* g) {
  loadPoint(x, nJacVars_);
  return differenceJacobianHere(f, g);
}

int32_t FunctionEvaluator::objectiveAndGradient(const double* x, double& f, double* g) {
  loadPoint(x, nObj_);
  const int32_t result = objectiveForOptimizer(2, f, g);
  return result != 0 ? result : differenceObjectiveHere(f, g);
}

int32_t FunctionEvaluator::constraintsAndJacobian(const double* x, double* f, double* g) {
  loadPoint(x, nJacVars_);
  const int32_t result = constraintsForOptimizer(2, f, g);
  return result != 0 ? result : differenceJacobianHere(f, g);
}

// The values at x_j + h into at1 and, for two-point formulas, at the second point into at2; x_j
// is restored either way. Each call counts as a difference call of its routine.
int32_t FunctionEvaluator::evaluateAround(bool objective, int32_t j, DifferenceStep step, double* at1, double* at2) {
  FunctionCallCounts& counts = objective ? obj_.counts : con_.counts;
  int64_t& counter = differenceChoice_ == kCentral ? counts.central : counts.forward;
  const auto evaluate = [&](double* out) {
    ++counter;
    return objective ? callObjective(0, *out, nullptr) : callConstraints(0, out, nullptr);
  };
  const double xj = xWork_[j];
  setVariable(j, xj + step.h);
  int32_t result = evaluate(at1);
  if (result == 0 && step.twoPoints()) {
    setVariable(j, xj + step.secondOffset());
    result = evaluate(at2);
  }
  setVariable(j, xj);
  return result;
}

int32_t FunctionEvaluator::differenceObjectiveHere(double f, double* g) {
  const double d = differenceInterval();
  for (int32_t j = 0; j < nObj_; ++j) {
    if (g[j] != kUnsetDerivative) continue;
    const DifferenceStep step = differenceStep(j, (std::fabs(xWork_[j]) + 1.0) * d);
    double f1 = 0.0, f2 = 0.0;
    const int32_t result = evaluateAround(true, j, step, &f1, &f2);
    if (result != 0) return result;
    const double gj = step.derivative(f, f1, f2);
    if (!storeDerivative(gj, g[j])) return kFunctionUndefined;
  }
  return 0;
}

bool FunctionEvaluator::columnHasUnset(int32_t j, const double* g) const {
  const JacobianStructure& jac = shape_.jacobian;
  for (int32_t k = jac.colStart[j]; k < jac.colStart[j + 1]; ++k)
    if (g[k] == kUnsetDerivative) return true;
  return false;
}

int32_t FunctionEvaluator::differenceJacobianHere(const double* f, double* g) {
  const JacobianStructure& jac = shape_.jacobian;
  const double d = differenceInterval();
  const double* f1 = fScratch1_.data();
  const double* f2 = fScratch2_.data();
  for (int32_t j = 0; j < nJacVars_; ++j) {
    if (!columnHasUnset(j, g)) continue;
    const DifferenceStep step = differenceStep(j, (std::fabs(xWork_[j]) + 1.0) * d);
    const int32_t result = evaluateAround(false, j, step, fScratch1_.data(), fScratch2_.data());
    if (result != 0) return result;
    for (int32_t k = jac.colStart[j]; k < jac.colStart[j + 1]; ++k) {
      if (g[k] != kUnsetDerivative) continue;
      const int32_t i = jac.row[k];
      const double gk = step.derivative(f[i], f1[i], f2[i]);
      if (!storeDerivative(gk, g[k])) return kFunctionUndefined;
    }
  }
  return 0;
}

}  // namespace kavro
