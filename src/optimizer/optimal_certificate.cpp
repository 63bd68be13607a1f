// Before a run says "optimal", the point must pass its certificate: every row and bound of the
// user's (unscaled) problem within its tolerance and no wrong-way part of the true Lagrangian's
// reduced gradient, with the functions evaluated afresh at that point. When it fails the
// iterations go on (without the scaling when the scaled problem hid the failure); when it still
// fails after a few rounds the run ends near-optimal, saying what failed.

#include <algorithm>
#include <cmath>

#include "setup/scaling.hpp"
#include "optimizer/main_loop.hpp"

namespace kavro {

namespace {

// Rounds of further iterations after a failed certificate before the run gives up. With
// nonlinear constraints a round is a major iteration; one or two bring the rows of a converged
// run from the normalized test to the certificate's (1 + |bound|).
constexpr int32_t kMaxCertificateRounds = 5;
// Each round asks the superbasics' reduced gradient for this fraction of what it reached.
constexpr double kRgTightening = 0.1;

}  // namespace

Certificate MainLoop::certifyHere(bool withPrices) {
  const std::vector<double>* scales = in_.scaling.applied && !in_.scaling.factors.empty() ? &in_.scaling.factors : nullptr;
  return certifier_.certify(prob_, scales, x_.data(), withPrices ? pi_.data() : nullptr, objective_.sigma(),
                            in_.evaluator, p_);
}

// The scaling is given up once, when the functions are not scaled with it (Scale option 2
// scales what the user's routines return, and the major iterations keep scaled copies).
bool MainLoop::dropScalingForCheck() {
  if (!in_.scaling.applied || !formerScales_.empty()) return false;
  if (in_.evaluator && p_.scaleOption == 2) return false;
  formerScales_ = in_.scaling.factors;
  dropScaling(in_.scaling, prob_, in_.state, p_.machine.infBound);
  if (majors_) majors_->unscaleStartingPoint(formerScales_);
  if (in_.evaluator) in_.evaluator->setVariableBounds(prob_.lower.data(), prob_.upper.data());
  in_.out.print(" Itn %7d -- scaling removed; the iterations go on with the unscaled problem", itn_);
  pricer_.problemChanged(prob_);
  subspace_.control().modelResetPending = true;
  return true;
}

// The point returned for a model with nonlinear functions lies in their domain: a nonlinear
// variable that the iterations left beyond a bound by no more than the feasibility tolerance
// (an active-set method allows that; log(x) at -1e-8 is not defined) is put on the bound, and
// the linear rows' slacks follow. The certificate then measures the point that is returned.
void MainLoop::projectNonlinearVariables() {
  const int32_t nonlinear = prob_.nNonlinVars();
  for (int32_t j = 0; j < nonlinear; ++j) {
    const size_t uj = static_cast<size_t>(j);
    const double lo = prob_.lower[uj], up = prob_.upper[uj], v = x_[uj];
    const double target = v < lo ? lo : (v > up ? std::max(lo, up) : v);
    if (target == v || std::fabs(v - target) > p_.feasibilityTolerance * (1.0 + std::fabs(target))) continue;
    x_[uj] = target;
    for (int32_t k = prob_.a.colStart[uj]; k < prob_.a.colStart[uj + 1]; ++k) {
      const int32_t i = prob_.a.row[static_cast<size_t>(k)];
      if (i >= prob_.nNonlinCons) x_[static_cast<size_t>(n_ + i)] -= prob_.a.value[static_cast<size_t>(k)] * (target - v);
    }
  }
}

MainLoop::Confirmation MainLoop::confirmCertificate() {
  projectNonlinearVariables();
  const Certificate c = certifyHere(true);
  outcome_.certificate = c;
  certificateCurrent_ = true;
  if (c.passed) return Confirmation::kConfirmed;

  in_.out.both(" Itn %7d -- not optimal for the unscaled problem: primal infeasibility %9.2e (variable %d),", itn_,
                c.maxPrimalInfeasRelative, std::max(c.primalWorst + 1, 0));
  in_.out.both("              dual infeasibility %9.2e (variable %d)%s", c.maxDualInfeasRelative,
                std::max(c.dualWorst + 1, 0), c.evaluated ? "" : "; the functions could not be evaluated there");
  // Without nonlinear constraints a round that took no iteration will not take one next time.
  const bool stalled = !majors_ && certificateRounds_ > 0 && itn_ == itnAtFailedCertificate_;
  itnAtFailedCertificate_ = itn_;
  if (!c.evaluated || stalled || ++certificateRounds_ > kMaxCertificateRounds) {
    in_.out.both("%s", " EXIT -- near-optimal solution found");
    if (c.evaluated)
      in_.out.both("%s", " XXX WARNING: not optimal for the unscaled problem: further iterations did not reach its tolerances");
    else
      in_.out.both("%s", " XXX WARNING: the functions could not be evaluated at the final point");
    outcome_.exitCode = kNearOptimal;
    return Confirmation::kStop;
  }
  certificateCurrent_ = false;
  const bool unscaled = dropScalingForCheck();
  // The subspace is optimized further: what the scaled test accepted is not enough.
  confirmationRgTarget_ = kRgTightening * std::min(confirmationRgTarget_, std::max(subspace_.rgNorm(), p_.machine.eps));
  subspace_.control().lvltol = 1;
  // With nonlinear constraints the next major iteration goes on from here; without them the
  // factors are made afresh when the units changed (the basic values from the nonbasic ones).
  prices_.markStale();
  if (majors_ || !unscaled) return Confirmation::kContinue;
  basis_.request(FactorRequest::kNone);
  return factorize() ? Confirmation::kContinue : Confirmation::kStop;
}

}  // namespace kavro
