// The loop's side of the function evaluations: the objective at the current point, the check of
// the user's derivatives at the first one, and what an evaluation error makes of the run.

#include "optimizer/main_loop.hpp"

namespace kavro {

// The objective and its gradient at the current point (after x has moved by anything but an
// accepted linesearch step), the user's derivatives checked at the first such point. Returns 0,
// kFunctionUndefined or the exit the error asks for; nothing is printed.
int32_t MainLoop::evaluateAndVerify() {
  const bool first = !objective_.evaluated();
  const int32_t status = objective_.evaluateAt(x_.data());
  if (status != 0) return status;
  statesBeforeCrash_.clear();
  valuesBeforeCrash_.clear();
  loadBasicGradient();
  prices_.markStale();
  if (!first) return 0;
  return in_.evaluator->verifyDerivatives(x_.data(), prob_.lower.data(), prob_.upper.data());
}

// False when the run must end: an evaluation or verification error ends it with its exit.
bool MainLoop::acceptEvaluation(int32_t status) {
  if (status == 0) return true;
  if (status == kFunctionUndefined)
    in_.out.both("%s", " EXIT -- function not defined (mode = -1) prior to linesearch");
  outcome_.exitCode = exitForEvaluation(status);
  return false;
}

}  // namespace kavro
