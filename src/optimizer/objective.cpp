// The objective that the feasible phases minimize: sigma (f(x) + linear objective row), with f
// the user's nonlinear function, and during major iterations the augmented-Lagrangian terms of
// the nonlinear constraints. Its values along a search direction are what the linesearch sees;
// its gradient drives the prices and the reduced gradient.

#include <algorithm>
#include <cmath>

#include "optimizer/along_line.hpp"

namespace kavro {

// The subproblem objective at x (the nonlinear variables): the user's f, and the minimized
// subproblem value and gradient (over the nonlinear variables). Constraints are evaluated
// first, as the user's routines expect.
int32_t MainLoop::evaluateSubproblem(const double* x, bool wantGradient, double& fUser, double& fSub, double* gSub) {
  FunctionEvaluator* fe = in_.evaluator;
  if (!fe) return kFunctionError;
  const bool lagrangian = majors_ && majors_->lagrangianOn();
  if (lagrangian) {
    const int32_t status =
        wantGradient ? fe->constraintsAndJacobian(x, conValues_.data(), conJacobian_.data()) : fe->constraintValues(x, conValues_.data());
    if (status != 0) return status;
  }
  fUser = 0.0;
  const int32_t nObj = prob_.nNonlinObjVars;
  if (nObj > 0) {
    const int32_t status = wantGradient ? fe->objectiveAndGradient(x, fUser, gUserTrial_.data()) : fe->objectiveValue(x, fUser);
    if (status != 0) return status;
  }
  fSub = sigma_ * fUser;
  if (wantGradient) {
    std::fill(gSub, gSub + prob_.nNonlinVars(), 0.0);
    for (int32_t j = 0; j < nObj; ++j) gSub[j] = sigma_ * gUserTrial_[static_cast<size_t>(j)];
  }
  if (lagrangian) fSub += majors_->lagrangianTerms(x, conValues_.data(), wantGradient ? conJacobian_.data() : nullptr,
                                                   wantGradient ? gSub : nullptr);
  return 0;
}

// Whether some gradient of the current objective comes from differences: the objective's when
// "Derivative level" is 0 or 2, the constraints' (inside the Lagrangian) when it is 0 or 1.
bool MainLoop::gradientsDifferenced() const {
  const int32_t level = p_.derivativeLevel;
  const bool objective = prob_.nNonlinObjVars > 0 && (level == 0 || level == 2);
  const bool constraints = majors_ && majors_->lagrangianOn() && (level == 0 || level == 1);
  return objective || constraints;
}

bool MainLoop::forwardDifferencesInUse() const {
  return gradientsDifferenced() && in_.evaluator &&
         in_.evaluator->differenceChoice() == FunctionEvaluator::kForward;
}

// The point of the latest evaluation becomes the current one's: values and gradients.
void MainLoop::takeTrialValues() {
  fUser_ = fUserTrial_;
  fNonlinear_ = fTrial_;
  const int32_t nNonlin = prob_.nNonlinVars();
  std::copy(gTrial_.begin(), gTrial_.begin() + nNonlin, gradient_.begin());
  std::copy(gUserTrial_.begin(), gUserTrial_.end(), gUser_.begin());
  functionsStale_ = false;
}

// The objective and its gradient at the current point (after x has moved by anything but an
// accepted linesearch step), the user's derivatives checked at the first such point. Returns 0,
// kFunctionUndefined or the exit the error asks for; nothing is printed.
int32_t MainLoop::evaluateAndVerify() {
  const int32_t status = evaluateSubproblem(x_.data(), true, fUserTrial_, fTrial_, gTrial_.data());
  if (status != 0) return status == kFunctionUndefined ? status : kFunctionError;
  takeTrialValues();
  const bool first = !functionsEvaluated_;
  functionsEvaluated_ = true;
  statesBeforeCrash_.clear();
  valuesBeforeCrash_.clear();
  loadBasicGradient();
  pricesStale_ = true;
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
