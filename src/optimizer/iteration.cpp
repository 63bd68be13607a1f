// One iteration of the main loop, in order: working tolerance, infeasibilities, prices,
// pricing, the simplex step, the log, the termination tests and the factor update.

#include <algorithm>
#include <cmath>

#include "files/variable_names.hpp"
#include "optimizer/main_loop.hpp"
#include "setup/crash.hpp"
#include "setup/problem_statistics.hpp"

namespace kavro {

namespace {
// Infeasible minor iterations a linearized subproblem may make, as a multiple of the
// "Minor iterations limit" (or m, when that is more).
constexpr int32_t kInfeasibleMinorFactor = 10;
}

void MainLoop::iterate() {
  PricingResult pr;
  bool atPricing = false;  // restart at the prices instead of at the top
  for (;;) {
    if (!atPricing) {
      // 1. The working feasibility tolerance grows a little every iteration; now and then it
      //    returns to its base and the nonbasic variables go back exactly onto their bounds.
      tolerance_.grow();
      if (tolerance_.periodicResetDue(minorItn_, itn_)) expandReset(false);

      // 2. Infeasibilities and the phase.
      countInfeasibilities();
      justFactorized_ = false;
      if (in_.crashInequalitiesPending && equalityRowsSatisfied()) {
        crashInequalityRows();
        if (outcome_.exitCode != kOptimal) return;
        continue;
      }

      // 3. A feasible point needs the nonlinear objective and its gradient where it stands.
      if (feasibility_.ninf() == 0 && objective_.nonlinear() && objective_.stale()) {
        const int32_t status = evaluateAndVerify();
        if (status == kFunctionUndefined && !statesBeforeCrash_.empty()) {
          if (!undoInequalityCrash()) return;
          continue;
        }
        if (!acceptEvaluation(status)) return;
      }
      if (announceFeasible_) {
        in_.out.both(" Itn %7d -- feasible solution.  Objective = %16.8e", itn_, objective_.trueObjective(x_.data()));
        announceFeasible_ = false;
      }
      // The first subproblem, without its nonlinear rows, only finds a point that satisfies the
      // linear constraints: optimizing the objective without those rows would take the point
      // where they give no guidance (their gradients vanish, or the objective is unbounded), far
      // from the start the model gave.
      if (feasibility_.ninf() == 0 && majors_ && majors_->rowsRelaxed()) {
        endMajorIteration(kSubproblemOptimal);
        return;
      }

      // 4. Weight on the objective falls when the sum of infeasibilities grows.
      if (feasibility_.sumGrew(itn_)) {
        feasibility_.reduceWeight();
        prices_.markStale();
        if (p_.printLevel % 10 > 0 || p_.debugLevel > 0) in_.out.print(" Weight on obj reduced to %12.4e", feasibility_.weight());
      }
      feasibility_.rememberSum();
    }
    atPricing = false;

    // 5. Prices (unless the weighted pricing keeps its reduced costs up to date), and 6. the
    //    reduced gradient of the superbasics.
    if (prices_.stale() && !pricer_.reducedCostsKept(pricingSituation())) {
      loadBasicGradient();
      computePrices();
    }
    const int32_t ns = in_.state.ns;
    if (ph_ >= Phase::kNewSuperbasics && ns > 0) {
      subspace_.computeReducedGradient(pi_.data(), objective_, feasibility_.ninf() > 0, feasibility_.weight());
      if (subspace_.control().tolrg == 0.0) subspace_.control().tolrg = p_.subspaceTolerance * subspace_.rgNorm();
    }

    // 7. Pricing, except while the current subspace is being optimized.
    pr = PricingResult{};
    if (ph_ != Phase::kSubspace) {
      const PricingOutcome outcome = priceAndTest(pr);
      if (outcome == PricingOutcome::kStop) return;
      if (outcome == PricingOutcome::kRestart) continue;
    }

    // 9. The step: simplex in phases 1 and 2, reduced gradient with superbasics.
    record_.djOrRg = ph_ == Phase::kSubspace ? subspace_.rgNorm() : pr.dj;
    record_.pp = pr.section;
    record_.entered = pr.enteringVar + 1;
    record_.leftSuperbasic = 0;
    record_.hmod1 = record_.hmod2 = 0;
    if (ph_ < Phase::kNewSuperbasics) {
      const StepOutcome outcome = simplexStep(pr.enteringVar, pr.increase);
      if (outcome == StepOutcome::kUnbounded) {
        if (unboundedRay()) return;
        continue;
      }
      if (!afterStep(outcome == StepOutcome::kBasisChange, stepPosition_)) return;
      continue;
    }
    if (ph_ == Phase::kSubspace && ns == 0) {
      ph_ = Phase::kNewSuperbasics;
      atPricing = true;
      continue;
    }
    pricer_.invalidate();  // the basis may change in ways the weights do not follow
    const RgStatus status = rgStep_.take(pr, ph_, stepFrame(), itn_, majorItn_, record_);
    nDegenerate_ += rgStep_.degenerateSteps();
    switch (status) {
      case RgStatus::kPriceAgain: atPricing = true; continue;
      case RgStatus::kRestart: continue;
      case RgStatus::kUnbounded:
        if (unboundedRay()) return;
        continue;
      case RgStatus::kStop:
        // With nonlinear constraints a step that cannot make progress ends the major iteration
        // (after the first); the next linearization may do better.
        if (outcome_.exitCode == kCannotImprove && majors_ && majorItn_ > 1) {
          outcome_.exitCode = kOptimal;
          endMajorIteration(kSubproblemLimit);
        }
        return;
      case RgStatus::kRefactorize:
        if (!factorize(FactorKind::kChooseFirst)) return;
        continue;
      default: break;
    }
    if (ph_ == Phase::kSubspace) record_.djOrRg = subspace_.control().restricted ? subspace_.rgNormR() : subspace_.rgNorm();
    if (!afterStep(stepPosition_ >= 0, stepPosition_)) return;
    // A converged subspace is priced next; otherwise it is optimized further.
    ph_ = status == RgStatus::kConverged ? Phase::kNewSuperbasics : Phase::kSubspace;
  }
}

StepFrame MainLoop::stepFrame() const {
  return StepFrame{prob_.lower.data(), prob_.upper.data(), x_.data(), basis_.list(), feasibility_.marks(),
                   tolerance_.value(), tolerance_.step(), p_.machine.infBound};
}

MainLoop::StepOutcome MainLoop::simplexStep(int32_t q, bool increase) {
  const SimplexMove move = simplex_.take(q, increase, stepFrame());
  if (move.outcome == SimplexMove::Outcome::kUnbounded) return StepOutcome::kUnbounded;
  if (move.degenerate) ++nDegenerate_;
  record_.step = move.step;
  objective_.markStale();
  if (move.outcome == SimplexMove::Outcome::kBoundFlip) {
    record_.pivot = 0.0;
    record_.leftBasis = 0;
    stepPosition_ = -1;
    return StepOutcome::kBoundFlip;
  }
  record_.pivot = move.pivot;
  record_.leftBasis = move.left + 1;
  stepPosition_ = move.position;
  prices_.markStale();
  return StepOutcome::kBasisChange;
}

PricingSituation MainLoop::pricingSituation() const {
  PricingSituation s;
  s.ns = in_.state.ns;
  s.infeasible = feasibility_.ninf() > 0;
  s.nonlinearObjective = objective_.nonlinear();
  s.factorizations = basis_.counters().factorizations;
  s.afterFailedCheck = confirmationRounds_ != 0;
  s.changedPosition = stepPosition_;
  s.basicCosts = prices_.costs();
  s.basisList = basis_.list();
  return s;
}

// 7 and 8: pricing and what follows from its answer.
MainLoop::PricingOutcome MainLoop::priceAndTest(PricingResult& pr) {
  PricingInput in;
  in.prob = &prob_;
  in.hs = hs_.data();
  in.pi = pi_.data();
  in.gradient = (feasibility_.ninf() == 0 && objective_.nonlinear()) ? objective_.gradient() : nullptr;
  in.optimalityTolerance = p_.optimalityTolerance;
  in.rootEps = p_.machine.eps2;
  in.piNorm = prices_.norm();
  in.feasible = feasibility_.ninf() == 0;
  in.multiplePrice = p_.multiplePrice;
  in.superbasicsLimit = p_.superbasicsLimit;
  in.ns = in_.state.ns;
  in.itn = itn_;
  in.debugLevel = p_.debugLevel;
  pr = priceByCheck();
  if (pr.enteringVar < 0) {
    bool freshPricesWanted = false;
    pr = pricer_.price(in, pricingSituation(), feasibility_.weight(), dj_.data(), in_.out, freshPricesWanted);
    if (freshPricesWanted) {
      loadBasicGradient();
      computePrices();
      in.piNorm = prices_.norm();
      pr = pricer_.priceAgain(in, dj_.data());
    }
  }
  pricer_.noteAbove(pr.nAbove);
  if (pr.superbasicsLimitReached) {
    in_.out.both(" EXIT -- the superbasics limit is too small: %7d", p_.superbasicsLimit);
    outcome_.exitCode = kSuperbasicsLimit;
    return PricingOutcome::kStop;
  }
  if (pr.enteringVar < 0) {
    bool between = false;
    for (int32_t j = 0; j < nb_ && !between; ++j) between = hs_[static_cast<size_t>(j)] == kBetweenBounds;
    const bool allowed = feasibility_.ninf() > 0 || (!objective_.nonlinear() && in_.state.ns == 0);
    if (!(between && allowed && priceBetweenBounds(in, dj_.data(), pr))) {
      // 8. No candidate: optimal, or infeasible.
      if (feasibility_.ninf() == 0 ? optimalityTest(pr) : infeasibleTest()) return PricingOutcome::kStop;
      return PricingOutcome::kRestart;
    }
  }
  // A candidate joins the superbasics when the objective is nonlinear, superbasics exist or
  // several candidates were kept; otherwise it enters the basis by a simplex step.
  if (pr.nCandidates > 1 || in_.state.ns > 0 || (feasibility_.ninf() == 0 && objective_.nonlinear())) ph_ = Phase::kNewSuperbasics;
  subspace_.control().lvltol = 1;
  if (itn_ >= p_.iterationLimit) {
    setExit(kTooManyIterations);
    return PricingOutcome::kStop;
  }
  if (feasibleMinorItn_ >= p_.minorIterationsLimit) {
    if (majors_) endMajorIteration(kSubproblemLimit);
    else setExit(kTooManyIterations);
    return PricingOutcome::kStop;
  }
  // Infeasible iterations are not bounded by the minor-iterations limit; in a linearized
  // subproblem a phase 1 with superbasics can wander around the same sum of infeasibilities
  // without end, so after a generous allowance the subproblem counts as infeasible.
  const int32_t infeasibleItns = minorItn_ - feasibleMinorItn_ - infeasibleItnsAllowed_;
  if (majors_ && majorItn_ > 1 && feasibility_.ninf() > 0 &&
      infeasibleItns >= std::max(kInfeasibleMinorFactor * p_.minorIterationsLimit, m_)) {
    infeasibleItnsAllowed_ += infeasibleItns;
    return subproblemInfeasible() ? PricingOutcome::kStop : PricingOutcome::kRestart;
  }
  return PricingOutcome::kProceed;
}

bool MainLoop::equalityRowsSatisfied() const {
  for (int32_t k = 0; k < m_; ++k) {
    const int32_t j = basis_.at(k);
    if (j >= n_ && in_.rowTypes[static_cast<size_t>(j - n_)] == kEqualityRow && feasibility_.marks()[k] != 0)
      return false;
  }
  return true;
}

void MainLoop::crash(int mode) {
  CrashSettings settings;
  settings.crashTolerance = p_.crashTolerance;
  settings.tinyValue = p_.machine.eps0;
  crashBasis(mode, prob_, in_.rowTypes, settings, hs_, x_, in_.out);
}

// With the equality rows satisfied, the crash looks again at the inequality rows whose slacks
// sit near a bound, and the new basis is factorized.
void MainLoop::crashInequalityRows() {
  in_.crashInequalitiesPending = false;
  in_.out.both(" Itn %7d -- linear E rows feasible.   Obj = %16.8e", itn_, objective_.trueObjective(x_.data()));
  // The crash counts only basic variables: superbasics become nonbasic where they stand, so
  // that the new basis has exactly m members; pricing brings back what is needed.
  subspace_.makeNonbasic();
  if (objective_.nonlinear()) {
    statesBeforeCrash_ = hs_;
    valuesBeforeCrash_ = x_;
  }
  crash(4);
  basis_.toInternalStates();
  basis_.request(FactorRequest::kNone);
  factorize();
}

// The crash puts inequality slacks on their bounds, and a model whose functions are undefined
// on such a boundary (log(x - y) with x - y >= 0) would end before its first step although they
// were defined where the crash began: there the crash is undone and the run goes on from the
// basis it had. False when the run must end.
bool MainLoop::undoInequalityCrash() {
  in_.out.both(" Itn %7d -- functions undefined at the crashed point: the crash of the LG rows is undone", itn_);
  hs_ = std::move(statesBeforeCrash_);
  x_ = std::move(valuesBeforeCrash_);
  statesBeforeCrash_.clear();
  valuesBeforeCrash_.clear();
  basis_.request(FactorRequest::kNone);
  return factorize();
}

// Counts the iteration, writes the log and applies the termination tests and the factor
// update. Returns false when the run ends.
bool MainLoop::afterStep(bool basisChanged, int32_t position) {
  ++itn_;
  basis_.countIteration();
  ++minorItn_;
  if (feasibility_.ninf() == 0) ++feasibleMinorItn_;
  logIteration();
  if (outcome_.exitCode != kOptimal) return false;

  // 11. Unchanged objective.
  const double f = feasibility_.ninf() == 0 ? objective_.trueObjective(x_.data()) : feasibility_.sinf();
  if (havePrevious_ && std::fabs(previousObjective_ - f) <= (std::fabs(f) + 1.0) * p_.machine.eps1) {
    if (++unchangedCount_ >= unchangedLimit_) {
      in_.out.both(" EXIT -- the objective has not changed for the last %8d iterations", unchangedCount_);
      outcome_.exitCode = kObjectiveUnchanged;
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
    in_.saveBasis(outcome_.progress, kRunProceeding);
  }

  // 13. Factor update or refactorization.
  return updateFactors(basisChanged ? position : -1);
}

}  // namespace kavro
