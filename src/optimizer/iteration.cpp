// One iteration of the main loop, in order: working tolerance, infeasibilities, prices,
// pricing, the simplex step, the log, the termination tests and the factor update.

#include <algorithm>
#include <cmath>

#include "driver/run_hooks.hpp"
#include "driver/crash.hpp"
#include "optimizer/main_loop.hpp"

namespace kavro {

namespace {
constexpr int32_t kNever = 99999999;
}

void MainLoop::iterate() {
  PricingResult pr;
  for (;;) {
    // 1. The working feasibility tolerance grows a little every iteration; now and then it
    //    returns to its base and the nonbasic variables go back exactly onto their bounds.
    expandTol_ += expandStep_;
    if (p_.expandFrequency < kNever && minorItn_ > 0 && minorItn_ % p_.expandFrequency == 0 &&
        lastResetItn_ != itn_)
      expandReset(false);

    // 2. Infeasibilities and the phase.
    countInfeasibilities();
    justFactorized_ = false;
    if (ctx_.crashInequalitiesPending && equalityRowsSatisfied()) {
      crashInequalityRows();
      if (ctx_.exitCode != 0) return;
      continue;
    }

    // 4. Weight on the objective falls when the sum of infeasibilities grows.
    if (ninf_ > 0 && wtobj_ > 0.0 && itn_ > 0 && sinf_ > 1.1 * previousSinf_) {
      ++weightReductions_;
      wtobj_ = weightReductions_ >= 6 ? 0.0 : 0.1 * wtobj_;
      pricesStale_ = true;
      if (p_.printLevel % 10 > 0 || p_.debugLevel > 0) ctx_.out.print(" Weight on obj reduced to %12.4e", wtobj_);
    }
    previousSinf_ = sinf_;

    // 5. Prices.
    if (pricesStale_) computePrices();

    // 7. Pricing.
    PricingInput in;
    in.prob = &prob_;
    in.hs = hs_.data();
    in.pi = pi_.data();
    in.optimalityTolerance = p_.optimalityTolerance;
    in.rootEps = p_.machine.eps2;
    in.piNorm = piNorm_;
    in.feasible = ninf_ == 0;
    in.multiplePrice = p_.multiplePrice;
    in.superbasicsLimit = p_.superbasicsLimit;
    in.ns = ctx_.state.ns;
    in.itn = itn_;
    in.debugLevel = p_.debugLevel;
    pr = price(in, pricing_, wtobj_, dj_.data(), ctx_.out);
    if (pr.superbasicsLimitReached) {
      ctx_.out.both(" EXIT -- the superbasics limit is too small: %7d", p_.superbasicsLimit);
      ctx_.exitCode = 5;
      return;
    }
    if (pr.enteringVar < 0) {
      bool between = false;
      for (int32_t j = 0; j < nb_ && !between; ++j) between = hs_[static_cast<size_t>(j)] == kBetweenBounds;
      if (!(between && priceBetweenBounds(in, dj_.data(), pr))) {
        // 8. No candidate: optimal, or infeasible.
        if (ninf_ == 0 ? optimalityTest(pr) : infeasibleTest()) return;
        continue;
      }
    }
    if (itn_ >= p_.iterationLimit) {
      setExit(3);
      return;
    }

    // 9. The simplex step.
    logDj_ = pr.dj;
    logSection_ = pr.section;
    logEntered_ = pr.enteringVar + 1;
    const int32_t position = [&] {
      const StepOutcome outcome = simplexStep(pr.enteringVar, pr.increase);
      if (outcome == StepOutcome::kUnbounded) return -2;
      return outcome == StepOutcome::kBoundFlip ? -1 : 0;
    }();
    if (position == -2) {
      if (unboundedRay()) return;
      continue;
    }
    if (!afterStep(position == 0, stepPosition_)) return;
  }
}

bool MainLoop::equalityRowsSatisfied() const {
  for (int32_t k = 0; k < m_; ++k) {
    const int32_t j = basisList_[static_cast<size_t>(k)];
    if (j >= n_ && ctx_.rowTypes[static_cast<size_t>(j - n_)] == 0 && infMark_[static_cast<size_t>(k)] != 0)
      return false;
  }
  return true;
}

// With the equality rows satisfied, the crash looks again at the inequality rows whose slacks
// sit near a bound, and the new basis is factorized.
void MainLoop::crashInequalityRows() {
  ctx_.crashInequalitiesPending = false;
  ctx_.out.both(" Itn %7d -- linear E rows feasible.   Obj = %16.8e", itn_, trueObjective());
  crashBasis(ctx_, 4);
  toInternalStates();
  fc_.factorRequest = 0;
  factorize();
}

// Counts the iteration, writes the log and applies the termination tests and the factor
// update. Returns false when the run ends.
bool MainLoop::afterStep(bool basisChanged, int32_t position) {
  ++itn_;
  ++itnSinceFactor_;
  ++minorItn_;
  if (ninf_ == 0) ++feasibleMinorItn_;
  logIteration();
  if (ctx_.exitCode != 0) return false;

  // 11. Unchanged objective.
  const double f = ninf_ == 0 ? trueObjective() : sinf_;
  if (havePrevious_ && std::fabs(previousObjective_ - f) <= (std::fabs(f) + 1.0) * p_.machine.eps1) {
    if (++unchangedCount_ >= unchangedLimit_) {
      ctx_.out.both(" EXIT -- the objective has not changed for the last %8d iterations", unchangedCount_);
      ctx_.exitCode = 4;
      return false;
    }
  } else {
    unchangedCount_ = 0;
  }
  previousObjective_ = f;
  havePrevious_ = true;

  // 12. Periodic save of the basis.
  if (p_.newBasisFile > 0 && itn_ % std::max(1, p_.saveNewBasisMap) == 0 && itn_ < p_.iterationLimit) {
    publishProgress();
    saveBasisFiles(ctx_, itn_, 0);
  }

  // 13. Factor update or refactorization.
  return updateFactors(basisChanged ? position : -1);
}

}  // namespace kavro
