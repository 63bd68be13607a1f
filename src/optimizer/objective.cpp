// The objective that the feasible phases minimize: sigma * (f(x) + linear objective row), with
// f the user's nonlinear function. Its values along a search direction are what the linesearch
// sees; its gradient drives the prices and the reduced gradient.

#include <algorithm>
#include <cmath>

#include "optimizer/along_line.hpp"

namespace kavro {

int32_t MainLoop::evaluateObjectiveAt(const double* x, bool wantGradient, double& f, double* g) {
  FunctionEvaluator* fe = ctx_.evaluator.get();
  if (!fe) return 6;
  return wantGradient ? fe->objectiveAndGradient(x, f, g) : fe->objectiveValue(x, f);
}

// Whether some gradient of the current objective comes from differences: the objective's
// when "Derivative level" is 0 or 2.
bool MainLoop::gradientsDifferenced() const {
  const int32_t level = p_.derivativeLevel;
  return nonlinearObjective_ && (level == 0 || level == 2);
}

bool MainLoop::forwardDifferencesInUse() const {
  return gradientsDifferenced() && ctx_.evaluator &&
         ctx_.evaluator->differenceChoice() == FunctionEvaluator::kForward;
}

// The objective and its gradient at the current point (after x has moved by anything but an
// accepted linesearch step). False when the run must end.
bool MainLoop::evaluateAtCurrentPoint() {
  const int32_t nObj = prob_.nNonlinObjVars;
  const int32_t status = evaluateObjectiveAt(x_.data(), true, fTrial_, gTrial_.data());
  if (status != 0) {
    if (status == -1) ctx_.out.both("%s", " EXIT -- function not defined (mode = -1) prior to linesearch");
    ctx_.exitCode = 6;
    return false;
  }
  fNonlinear_ = fTrial_;
  for (int32_t j = 0; j < nObj; ++j) gradient_[static_cast<size_t>(j)] = sigma_ * gTrial_[static_cast<size_t>(j)];
  const bool first = !functionsEvaluated_;
  functionsEvaluated_ = true;
  functionsStale_ = false;
  loadBasicGradient();
  pricesStale_ = true;
  // The user's derivatives are checked once, at the first feasible point.
  if (first) {
    const int32_t verified = ctx_.evaluator->verifyDerivatives(x_.data(), prob_.lower.data(), prob_.upper.data());
    if (verified != 0) {
      if (verified == kFunctionUndefined)
        ctx_.out.both("%s", " EXIT -- function not defined (mode = -1) prior to linesearch");
      ctx_.exitCode = verified == kFunctionUndefined ? 6 : verified;
      return false;
    }
  }
  return true;
}

}  // namespace kavro
