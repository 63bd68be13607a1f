// The objective that the feasible phases minimize: sigma * (f(x) + linear objective row), with
// f the user's nonlinear function. Its values along a search direction are what the linesearch
// sees; its gradient drives the prices and the reduced gradient.

#include <algorithm>
#include <cmath>

#include "optimizer/along_line.hpp"

namespace kavro {

// Interim: the user's routine is called directly, with mode 2.
int32_t MainLoop::evaluateObjectiveAt(const double* x, bool wantGradient, double& f, double* g) {
  NonlinearFunctions* fun = ctx_.options.functions;
  if (!fun) return 6;
  int mode = wantGradient ? 2 : 0;
  fun->objective(mode, prob_.nNonlinObjVars, x, f, g, functionsEvaluated_ ? 0 : 1);
  if (mode == -1) return -1;
  if (mode < -1) return 6;
  return 0;
}

bool MainLoop::forwardDifferencesInUse() const { return false; }

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
  if (first) ctx_.out.both(" Itn %7d -- feasible solution.  Objective = %16.8e", itn_, trueObjective());
  return true;
}

}  // namespace kavro
