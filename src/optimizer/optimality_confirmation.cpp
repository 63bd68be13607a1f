// Before a run with a linear objective ends optimal, the point is checked on the user's
// (unscaled) problem. When the check fails the run goes on from the current basis (on the
// unscaled problem when bounds are violated), pricing first the variables that fail it; when it
// still fails after a number of such rounds the run ends near-optimal, saying why, instead of
// optimal.

#include <algorithm>
#include <cmath>

#include "optimizer/basis_factors.hpp"
#include "optimizer/optimality_check.hpp"

namespace kavro {

namespace {

// Rounds of further iterations after a failed check before the run gives up.
constexpr int32_t kMaxConfirmationRounds = 20;
// The further iterations aim at this fraction of what the check allows, so that the point they
// reach passes it with room to spare (with just the tolerance, pilot and pilot87 ended with
// objectives 3e-6 to 6e-6 from the optimum).
constexpr double kAim = 0.1;

}  // namespace

OptimalityCheck::OptimalityCheck(const CheckParts& parts, int32_t nJacElements)
    : prob_(parts.prob),
      state_(parts.state),
      p_(parts.params),
      out_(parts.out),
      scaling_(parts.scaling),
      objective_(parts.objective),
      pricer_(parts.pricer),
      subspace_(parts.subspace),
      prices_(parts.prices),
      evaluator_(parts.evaluator),
      majors_(parts.majors),
      outcome_(parts.outcome),
      certifier_(parts.prob, nJacElements) {
  rows_.assign(parts.prob.m, 0.0);
}

UnscaledCheckInput OptimalityCheck::unscaledCheckInput() const {
  UnscaledCheckInput in;
  in.prob = &prob_;
  in.scales = scaling_.applied ? &scaling_.factors : nullptr;
  in.x = state_.x.data();
  in.hs = state_.hs.data();
  in.pi = state_.pi.data();
  in.gradient = objective_.nonlinear() && objective_.evaluated() ? objective_.gradient() : nullptr;
  in.infBound = p_.machine.infBound;
  in.feasibilityTolerance = p_.feasibilityTolerance;
  in.optimalityTolerance = p_.optimalityTolerance;
  in.formerScales = formerScales_.empty() ? nullptr : &formerScales_;
  return in;
}

OptimalityCheck::Verdict OptimalityCheck::confirmUnscaled(int32_t itn) {
  const UnscaledCheckResult r = checkUnscaled(unscaledCheckInput(), rows_);
  if (r.passed()) return Verdict::kConfirmed;

  const bool giveUp = ++unscaledRounds_ > kMaxConfirmationRounds;
  out_.both(" Itn %7d -- not optimal for the unscaled problem: %d bound violations (largest %9.2e, variable %d),", itn,
            r.primalCount, r.worstPrimal.amount, r.worstPrimal.j + 1);
  out_.both("              %d reduced costs of the wrong sign (largest %9.2e, variable %d), %d by the scaled test",
            r.dualCount, r.worstDual.amount, r.worstDual.j + 1, r.scaledDualCount);
  if (giveUp) {
    out_.both("%s", " EXIT -- near-optimal solution found");
    out_.both(" XXX WARNING: not optimal for the unscaled problem after %d rounds of further iterations",
              kMaxConfirmationRounds);
    out_.both(" XXX %d bound violations (largest %9.2e), %d reduced costs of the wrong sign (largest %9.2e)",
              r.primalCount, r.worstPrimal.amount, r.dualCount, r.worstDual.amount);
    outcome_.exitCode = kNearOptimal;
    return Verdict::kStop;
  }

  // Go on from the current basis, refactorized: that also recomputes the basic values from the
  // nonbasic ones and so removes residuals that the check counted. Bounds that the scaled
  // problem meets and the user's problem does not can only be met on the user's problem, so
  // then the scaling is removed; reduced costs of the wrong sign are put right by pricing
  // their variables first, which works as well on the scaled problem (a poorly scaled problem
  // may be hard to factorize accurately without its scaling).
  if (r.primalCount > 0 && scaling_.applied && formerScales_.empty()) {
    formerScales_ = scaling_.factors;
    dropScaling(scaling_, prob_, state_, p_.machine.infBound);
    out_.print(" Itn %7d -- scaling removed; the iterations go on with the unscaled problem", itn);
    pricer_.problemChanged(prob_);
    subspace_.control().modelResetPending = true;
  }
  enteredThisRound_.assign(prob_.nb(), 0);
  // Superbasic variables whose reduced gradient is too large: the subspace is optimized further.
  if (state_.ns > 0 && r.dualCount > 0) {
    rgTarget_ = p_.optimalityTolerance;
    subspace_.control().lvltol = 1;
  }
  return Verdict::kRefactorize;
}

// Every variable that fails the check, or comes within kAim of failing it, is a candidate, the
// one whose reduced cost points the wrong way by most (relative to what the check allows) first.
// Each enters at most once per round, so that a step the factors cannot take (a pivot that
// leaves the basis singular, undone by the next factorization) cannot repeat forever; the next
// failed check starts a new round.
PricingResult OptimalityCheck::priceByCheck(bool infeasible, double* reducedCost) {
  PricingResult pr;
  if (unscaledRounds_ == 0 || infeasible) return pr;
  const UnscaledCheckInput in = unscaledCheckInput();
  const double piNorm = formerPiNorm(in);
  const int32_t* hs = state_.hs.data();
  uint8_t* entered = enteredThisRound_.data();
  double best = kAim;
  for (int32_t j = 0; j < prob_.nb(); ++j) {
    const int32_t h = hs[j];
    if (h == kBasic || h == kSuperbasic || h == kFixedNonbasic || entered[j]) continue;
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
  entered[pr.enteringVar] = 1;
  reducedCost[pr.enteringVar] = pr.dj;
  pr.increase = pr.dj < 0.0;
  return pr;
}

}  // namespace kavro
