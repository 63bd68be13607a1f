// The loop's side of the function evaluations: the objective at a new feasible point, the check
// of the user's derivatives at the first one, and what an evaluation error makes of the run.

#include "optimizer/main_loop.hpp"

namespace kavro {

// The objective and its gradient at the current point (after x has moved by anything but an
// accepted linesearch step), the user's derivatives checked at the first such point. A point
// where the functions are undefined after the crash of the inequality rows undoes the crash.
MainLoop::Next MainLoop::evaluateFunctions() {
  const bool first = !objective_.evaluated();
  int32_t status = objective_.evaluateAt(x_.data());
  if (status == 0) {
    crashBackup_.hs.clear();
    crashBackup_.x.clear();
    prices_.loadCosts(basis_.list(), basicCostsOf(objective_, feasibility_));
    prices_.markStale();
    if (first) status = in_.evaluator->verifyDerivatives(x_.data(), prob_.lower.data(), prob_.upper.data());
  }
  if (status == kFunctionUndefined && !crashBackup_.hs.empty())
    return undoInequalityCrash() ? Next::kIteration : Next::kEnd;
  return afterEvaluation(status);
}

// With nonlinear constraints and a subproblem objective that is linear (a linear objective and
// "Lagrangian No") nothing is evaluated at the first feasible point: the Jacobian the major
// iterations linearize with is checked there all the same.
MainLoop::Next MainLoop::verifyJacobianOnly() {
  jacobianVerified_ = true;
  return afterEvaluation(in_.evaluator->verifyJacobian(x_.data(), prob_.lower.data(), prob_.upper.data()));
}

// An evaluation or a check that failed ends the run with its exit.
MainLoop::Next MainLoop::afterEvaluation(int32_t status) {
  if (status == 0) return Next::kPricing;
  if (status == kFunctionUndefined) in_.out.both("%s", " EXIT -- function not defined (mode = -1) prior to linesearch");
  outcome_.exitCode = exitForEvaluation(status);
  return Next::kEnd;
}

}  // namespace kavro
