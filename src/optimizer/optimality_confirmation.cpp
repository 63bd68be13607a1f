// Before a run ends optimal, the point is checked on the user's (unscaled) problem. When the
// check fails the run goes on from the current basis (on the unscaled problem when bounds are
// violated), pricing first the variables that fail it; when it still fails after a number of
// such rounds the run ends near-optimal, saying why, instead of optimal.

#include <algorithm>
#include <cmath>

#include "setup/scaling.hpp"
#include "optimizer/main_loop.hpp"

namespace kavro {

namespace {

// Rounds of further iterations after a failed check before the run gives up.
constexpr int32_t kMaxConfirmationRounds = 20;
// The further iterations aim at this fraction of what the check allows, so that the point they
// reach passes it with room to spare (with just the tolerance, pilot and pilot87 ended with
// objectives 3e-6 to 6e-6 from the optimum).
constexpr double kAim = 0.1;

}  // namespace

UnscaledCheckInput MainLoop::unscaledCheckInput() const {
  UnscaledCheckInput in;
  in.prob = &prob_;
  in.scales = in_.scaling.applied ? &in_.scaling.factors : nullptr;
  in.x = x_.data();
  in.hs = hs_.data();
  in.pi = pi_.data();
  in.gradient = objective_.nonlinear() && objective_.evaluated() ? objective_.gradient() : nullptr;
  in.infBound = p_.machine.infBound;
  in.feasibilityTolerance = p_.feasibilityTolerance;
  in.optimalityTolerance = p_.optimalityTolerance;
  in.formerScales = formerScales_.empty() ? nullptr : &formerScales_;
  return in;
}

MainLoop::Confirmation MainLoop::confirmOptimal() {
  loadBasicGradient();
  computePrices();
  const UnscaledCheckResult r = checkUnscaled(unscaledCheckInput(), scratch_);
  if (r.passed()) return Confirmation::kConfirmed;

  const bool giveUp = ++confirmationRounds_ > kMaxConfirmationRounds;
  in_.out.both(" Itn %7d -- not optimal for the unscaled problem: %d bound violations (largest %9.2e, variable %d),",
                itn_, r.primalCount, r.worstPrimal.amount, r.worstPrimal.j + 1);
  in_.out.both("              %d reduced costs of the wrong sign (largest %9.2e, variable %d), %d by the scaled test",
                 r.dualCount, r.worstDual.amount, r.worstDual.j + 1, r.scaledDualCount);
  if (giveUp) {
    in_.out.both("%s", " EXIT -- near-optimal solution found");
    in_.out.both(" XXX WARNING: not optimal for the unscaled problem after %d rounds of further iterations", kMaxConfirmationRounds);
    in_.out.both(" XXX %d bound violations (largest %9.2e), %d reduced costs of the wrong sign (largest %9.2e)",
                  r.primalCount, r.worstPrimal.amount, r.dualCount, r.worstDual.amount);
    outcome_.exitCode = kNearOptimal;
    return Confirmation::kStop;
  }

  // Go on from the current basis, refactorized: that also recomputes the basic values from the
  // nonbasic ones and so removes residuals that the check counted. Bounds that the scaled
  // problem meets and the user's problem does not can only be met on the user's problem, so
  // then the scaling is removed; reduced costs of the wrong sign are put right by pricing
  // their variables first, which works as well on the scaled problem (a poorly scaled problem
  // may be hard to factorize accurately without its scaling).
  if (r.primalCount > 0 && in_.scaling.applied && formerScales_.empty()) {
    formerScales_ = in_.scaling.factors;
    dropScaling(in_.scaling, prob_, in_.state, p_.machine.infBound);
    in_.out.print(" Itn %7d -- scaling removed; the iterations go on with the unscaled problem", itn_);
    pricer_.problemChanged(prob_);
    subspace_.control().modelResetPending = true;
  }
  enteredThisRound_.assign(static_cast<size_t>(nb_), 0);
  // Superbasic variables whose reduced gradient is too large: the subspace is optimized further.
  if (in_.state.ns > 0 && r.dualCount > 0) {
    confirmationRgTarget_ = p_.optimalityTolerance;
    subspace_.control().lvltol = 1;
  }
  basis_.request(FactorRequest::kNone);
  if (!factorize()) return Confirmation::kStop;
  prices_.markStale();
  return Confirmation::kContinue;
}

// After a failed check, while the point is feasible: every variable that fails the check, or
// comes within kAim of failing it, is a candidate, the one whose reduced cost points the wrong
// way by most (relative to what the check allows) first. Each enters at most once per round, so that a step the factors cannot
// take (a pivot that leaves the basis singular, undone by the next factorization) cannot repeat
// forever; the next failed check starts a new round.
PricingResult MainLoop::priceByCheck() {
  PricingResult pr;
  if (confirmationRounds_ == 0 || feasibility_.ninf() > 0) return pr;
  const UnscaledCheckInput in = unscaledCheckInput();
  const double piNorm = formerPiNorm(in);
  double best = kAim;
  for (int32_t j = 0; j < nb_; ++j) {
    const int32_t h = hs_[static_cast<size_t>(j)];
    if (h == kBasic || h == kSuperbasic || h == kFixedNonbasic || enteredThisRound_[static_cast<size_t>(j)]) continue;
    const DualViolation v = dualViolation(in, j, piNorm);
    if (!(v.ratio() > kAim)) continue;
    ++pr.nAbove;
    if (v.ratio() > best) {
      best = v.ratio();
      pr.enteringVar = j;
      pr.dj = v.workingReducedCost;
    }
  }
  if (pr.enteringVar < 0) return pr;
  enteredThisRound_[static_cast<size_t>(pr.enteringVar)] = 1;
  dj_[static_cast<size_t>(pr.enteringVar)] = pr.dj;
  pr.increase = pr.dj < 0.0;
  return pr;
}

}  // namespace kavro
