// Before a run says "optimal", the point must pass its certificate: every row and bound of the
// user's (unscaled) problem within its tolerance and no wrong-way part of the true Lagrangian's
// reduced gradient, with the functions evaluated afresh at that point. When it fails the
// iterations go on (without the scaling when the scaled problem hid the failure); when it still
// fails after a few rounds the run ends near-optimal, saying what failed.

#include <algorithm>
#include <cmath>

#include "kernels/column_view.hpp"
#include "optimizer/optimality_check.hpp"

namespace kavro {

namespace {

// Rounds of further iterations after a failed certificate before the run gives up. With
// nonlinear constraints a round is a major iteration; one or two bring the rows of a converged
// run from the normalized test to the certificate's (1 + |bound|).
constexpr int32_t kMaxCertificateRounds = 5;
// Each round asks the superbasics' reduced gradient for this fraction of what it reached.
constexpr double kRgTightening = 0.1;

}  // namespace

// Derivatives the user's routines leave out are central differences here, whatever the
// iterations use: a forward difference errs by about sqrt(eps) times the curvature (3e-5 on
// Rosenbrock's function at its minimum), more than the optimality tolerance, so it would judge
// the point by its own error.
Certificate OptimalityCheck::certifyHere(bool withPrices) {
  const std::vector<double>* scales = scaling_.applied && !scaling_.factors.empty() ? &scaling_.factors : nullptr;
  const int32_t iterationsUse = evaluator_ ? evaluator_->differenceChoice() : FunctionEvaluator::kForward;
  if (evaluator_) evaluator_->setDifferenceChoice(FunctionEvaluator::kCentral);
  const Certificate c = certifier_.certify(prob_, scales, state_.x.data(), withPrices ? state_.pi.data() : nullptr,
                                           objective_.sigma(), evaluator_, p_);
  if (evaluator_) evaluator_->setDifferenceChoice(iterationsUse);
  return c;
}

// The rounds after a failed certificate iterate with central differences where forward ones
// were in use: the reduced gradient must get below the tolerance, and forward differences
// cannot show it that small.
void OptimalityCheck::sharpenDifferences() {
  if (!objective_.forwardDifferencesInUse()) return;
  out_.both("%s", " Switch to central differences.");
  evaluator_->setDifferenceChoice(FunctionEvaluator::kCentral);
  centralDifferencesKept_ = true;
  objective_.markStale();
}

// The scaling is given up once, when the functions are not scaled with it (Scale option 2
// scales what the user's routines return, and the major iterations keep scaled copies).
bool OptimalityCheck::dropScalingForCheck(int32_t itn) {
  if (!scaling_.applied || !formerScales_.empty()) return false;
  if (evaluator_ && p_.scaleOption == 2) return false;
  formerScales_ = scaling_.factors;
  dropScaling(scaling_, prob_, state_, p_.machine.infBound);
  if (majors_) majors_->unscaleStartingPoint(formerScales_);
  if (evaluator_) evaluator_->setVariableBounds(prob_.lower.data(), prob_.upper.data());
  out_.print(" Itn %7d -- scaling removed; the iterations go on with the unscaled problem", itn);
  pricer_.problemChanged(prob_);
  subspace_.control().modelResetPending = true;
  return true;
}

// The point returned for a model with nonlinear functions lies in their domain: a nonlinear
// variable that the iterations left beyond a bound by no more than the feasibility tolerance
// (an active-set method allows that; log(x) at -1e-8 is not defined) is put on the bound, and
// the linear rows' slacks follow. The certificate then measures the point that is returned.
void OptimalityCheck::projectNonlinearVariables() {
  const kernels::ColumnView a(prob_.a);
  const double* lower = prob_.lower.data();
  const double* upper = prob_.upper.data();
  double* x = state_.x.data();
  double* slacks = x + prob_.n;
  const int32_t nonlinear = prob_.nNonlinVars();
  for (int32_t j = 0; j < nonlinear; ++j) {
    const double lo = lower[j], up = upper[j], v = x[j];
    const double target = v < lo ? lo : (v > up ? std::max(lo, up) : v);
    if (target == v || std::fabs(v - target) > p_.feasibilityTolerance * (1.0 + std::fabs(target))) continue;
    x[j] = target;
    for (int32_t k = a.start[j]; k < a.start[j + 1]; ++k) {
      const int32_t i = a.row[k];
      if (i >= prob_.nNonlinCons) slacks[i] -= a.value[k] * (target - v);
    }
  }
}

OptimalityCheck::Verdict OptimalityCheck::confirmCertificate(int32_t itn) {
  projectNonlinearVariables();
  const Certificate c = certifyHere(true);
  outcome_.certificate = c;
  certificateCurrent_ = true;
  if (c.passed) return Verdict::kConfirmed;

  out_.both(" Itn %7d -- not optimal for the unscaled problem: primal infeasibility %9.2e (variable %d),", itn,
            c.maxPrimalInfeasRelative, std::max(c.primalWorst + 1, 0));
  out_.both("              dual infeasibility %9.2e (variable %d)%s", c.maxDualInfeasRelative,
            std::max(c.dualWorst + 1, 0), c.evaluated ? "" : "; the functions could not be evaluated there");
  // Without nonlinear constraints a round that took no iteration will not take one next time.
  const bool stalled = !majors_ && certificateRounds_ > 0 && itn == itnAtFailedCertificate_;
  itnAtFailedCertificate_ = itn;
  if (!c.evaluated || stalled || ++certificateRounds_ > kMaxCertificateRounds) {
    out_.both("%s", " EXIT -- near-optimal solution found");
    if (c.evaluated)
      out_.both("%s",
                " XXX WARNING: not optimal for the unscaled problem: further iterations did not reach its tolerances");
    else out_.both("%s", " XXX WARNING: the functions could not be evaluated at the final point");
    outcome_.exitCode = kNearOptimal;
    return Verdict::kStop;
  }
  certificateCurrent_ = false;
  sharpenDifferences();
  const bool unscaled = dropScalingForCheck(itn);
  // The subspace is optimized further: what the scaled test accepted is not enough.
  rgTarget_ = kRgTightening * std::min(rgTarget_, std::max(subspace_.rgNorm(), p_.machine.eps));
  subspace_.control().lvltol = 1;
  // With nonlinear constraints the next major iteration goes on from here; without them the
  // factors are made afresh when the units changed (the basic values from the nonbasic ones).
  prices_.markStale();
  if (majors_ || !unscaled) return Verdict::kContinue;
  return Verdict::kRefactorize;
}

void OptimalityCheck::certifyAtEnd(bool factorized, bool feasible) {
  const ExitCode code = outcome_.exitCode;
  if (!certificateCurrent_) {
    outcome_.certificate = Certificate{};
    if (!factorized || code == kFunctionError || code >= kNoStorageForFactors) return;
    outcome_.certificate = certifyHere(feasible);
  }
  // With nonlinear constraints the reported reduced costs are those of the true Lagrangian at
  // the returned point (the final Jacobian), not of the last subproblem.
  if (majors_ && feasible && outcome_.certificate.evaluated) {
    const std::vector<double>& d = certifier_.reducedGradient();
    std::copy(d.begin(), d.begin() + prob_.nb(), state_.reducedCost.begin());
  }
}

// With nonlinear constraints, a subproblem that stays unbounded (its multipliers given up and
// its penalty raised) shows the problem unbounded only when the point reached satisfies the true
// constraints (to the certificate's tolerances) and the objective there is already beyond
// "Unbounded objective val": a step along a linearization's ray proves nothing about the
// problem. Otherwise says so; true when unboundedness is shown.
bool OptimalityCheck::unboundednessShown() {
  const Certificate c = certifyHere(false);
  double f = 0.0;
  const bool evaluated = c.evaluated &&
                         (prob_.nNonlinObjVars == 0 || evaluator_->objectiveValue(state_.x.data(), f) == 0);
  double objective = prob_.objConstant + f;
  if (objective_.objSlack() >= 0) objective -= state_.x[objective_.objSlack()] * objective_.objScale();
  if (c.passed && evaluated && objective_.sigma() * objective <= -p_.unboundedObjectiveValue) return true;
  if (!evaluated) out_.both("%s", " XXX  The subproblem is unbounded where the functions cannot be evaluated:");
  else if (!c.passed)
    out_.both(" XXX  The subproblem is unbounded where the constraints are violated by %10.2e (relative, variable %d):",
              c.maxPrimalInfeasRelative, c.primalWorst + 1);
  else out_.both(" XXX  The subproblem is unbounded, but the objective at the point reached is %14.6e:", objective);
  out_.both("%s", " XXX  the problem itself is not shown to be unbounded");
  return false;
}

}  // namespace kavro
