// The variables' bounds are the functions' domain: a model's functions are often undefined
// beyond them (log(x) with x >= 0), while an active-set method leaves basic variables up to the
// feasibility tolerance beyond a bound and a trial point may lie further out. So every point the
// routines see is projected onto the bounds first, and differences step inward at a bound.

#include <algorithm>
#include <cmath>

#include "nonlinear/function_evaluator.hpp"

namespace kavro {

void FunctionEvaluator::setVariableBounds(const double* lower, const double* upper) {
  const auto n = static_cast<std::ptrdiff_t>(nVars_);
  boundLower_.assign(lower, lower + n);
  boundUpper_.assign(upper, upper + n);
}

// The bounds in the units of the loaded point: the optimizer's, or the user's at the end of a
// run, when the scaling is off and the point comes unscaled.
void FunctionEvaluator::projectLoadedPoint(int32_t count, bool userUnits) {
  if (boundLower_.empty()) return;
  const bool rescale = userUnits && scalesSet_;
  double* x = xWork_.data();
  for (int32_t j = 0; j < count; ++j) {
    const double s = rescale ? colScale_[j] : 1.0;
    const double lo = boundLower_[j] * s, up = boundUpper_[j] * s;
    if (x[j] < lo) x[j] = lo;
    else if (x[j] > up) x[j] = std::max(lo, up);
  }
}

// The difference step for variable j at the loaded point: h as given when x_j + h (and x_j - h
// for central differences) stays within the bounds; else the same step on the side that has
// room, where central differences become the one-sided formula of the same order (x_j + h and
// x_j + 2h); else a forward step up to the farther bound. Only a fixed variable keeps its step
// whatever the bounds.
FunctionEvaluator::DifferenceStep FunctionEvaluator::differenceStep(int32_t j, double h) const {
  const bool central = differenceChoice_ == kCentral;
  const DifferenceKind wanted = central ? DifferenceKind::kCentral : DifferenceKind::kForward;
  if (boundLower_.empty()) return {h, wanted};
  const double x = xWork_[j];
  const double above = boundUpper_[j] - x, below = x - boundLower_[j];
  if (h <= above && (!central || h <= below)) return {h, wanted};
  const double reach = central ? 2.0 * h : h;  // how far the one-sided formula steps
  const DifferenceKind oneSided = central ? DifferenceKind::kOneSidedSecondOrder : DifferenceKind::kForward;
  if (reach <= above) return {h, oneSided};
  if (reach <= below) return {-h, oneSided};
  if (above <= 0.0 && below <= 0.0) return {h, wanted};
  return above >= below ? DifferenceStep{above, DifferenceKind::kForward}
                        : DifferenceStep{-below, DifferenceKind::kForward};
}

// The derivative from the values at x (f0), x + h (f1) and x - h or x + 2h (f2).
double FunctionEvaluator::DifferenceStep::derivative(double f0, double f1, double f2) const {
  switch (kind) {
    case DifferenceKind::kCentral: return (f1 - f2) / (2.0 * h);
    case DifferenceKind::kOneSidedSecondOrder: return (4.0 * f1 - f2 - 3.0 * f0) / (2.0 * h);
    case DifferenceKind::kForward: break;
  }
  return (f1 - f0) / h;
}

}  // namespace kavro
