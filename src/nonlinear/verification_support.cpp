// Shared parts of derivative verification: the test point in the user's units, steps kept
// within the bounds, the fixed test directions, and the driver that runs both checks.

#include <cmath>

#include "nonlinear/function_evaluator.hpp"
#include "nonlinear/verification_support.hpp"

namespace kavro {

namespace verification {

void objectiveDirections(int32_t n, double* p1, double* p2) {
  const double a = 1.0 / n;
  const double b = n > 1 ? 1.0 / (n - 1) : 1.0;
  for (int32_t j = 0; j < n; ++j) {
    p1[j] = (j % 2 == 0 ? 1.0 : -1.0) * (1.0 + j * a);
    p2[j] = (j % 3 == 2 ? -1.0 : 1.0) * (1.0 + (n - 1 - j) * b);
  }
}

void jacobianDirection(int32_t n, double* p) {
  if (n <= 0) return;
  p[0] = 1.0 / n;
  for (int32_t j = 1; j < n; ++j) p[j] = -0.99999 * p[j - 1];
}

}  // namespace verification

// The checks see x and the bounds in the user's units; this is the last moment the scales can
// be used, before "Scale option" is switched off.
void FunctionEvaluator::loadVerificationPoint(const double* x, const double* lower, const double* upper,
                                              int32_t count) {
  const bool scaled = scalingInForce();
  const double infinite = 0.9 * p_.machine.infBound;
  for (int32_t j = 0; j < count; ++j) {
    const size_t s = static_cast<size_t>(j);
    const double c = scaled ? colScale_[s] : 1.0;
    xBase_[s] = x[j] * c;
    lowerV_[s] = lower[j] <= -infinite ? lower[j] : lower[j] * c;
    upperV_[s] = upper[j] >= infinite ? upper[j] : upper[j] * c;
  }
}

// A step that would carry a variable with distinct bounds beyond its upper bound is taken
// downwards instead, so the functions are not asked for values outside the box.
double FunctionEvaluator::stepWithinBounds(int32_t j, double h) const {
  const size_t s = static_cast<size_t>(j);
  return lowerV_[s] < upperV_[s] && xBase_[s] + h > upperV_[s] ? -h : h;
}

// Turns each component of p so that x + h p stays within the bounds; a component becomes 0
// for a fixed variable or when neither sign fits. Returns the number of non-zero components.
int32_t FunctionEvaluator::turnIntoBounds(int32_t count, double h, double* p) const {
  int32_t nonzero = 0;
  for (int32_t j = 0; j < count; ++j) {
    const size_t s = static_cast<size_t>(j);
    const double lo = lowerV_[s], up = upperV_[s], x = xBase_[s];
    const double step = h * p[j];
    if (step == 0.0) continue;
    if (lo >= up) p[j] = 0.0;
    else if (x + step > up || x + step < lo) p[j] = (x - step > up || x - step < lo) ? 0.0 : -p[j];
    if (p[j] != 0.0) ++nonzero;
  }
  return nonzero;
}

int32_t FunctionEvaluator::verifyDerivatives(const double* x, const double* lower, const double* upper) {
  const int32_t result = verifyObjectiveGradients(x, lower, upper);
  return result != 0 ? result : verifyJacobian(x, lower, upper);
}

}  // namespace kavro
