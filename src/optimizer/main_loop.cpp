// The main loop: one iteration is pricing followed by a simplex step, framed by the
// infeasibility count, the prices, the log and the refactorization schedule.

#include "optimizer/main_loop.hpp"

#include "optimizer/loop_exit.hpp"

#include <algorithm>
#include <cmath>


namespace kavro {

namespace {

int32_t lenaFor(const LoopInput& in) {
  return static_cast<int32_t>(std::min<int64_t>(in.factorElementsAllowed, INT32_MAX - 16));
}


}  // namespace

MainLoop::MainLoop(const LoopInput& in)
    : in_(in),
      p_(in.params),
      prob_(in.prob),
      hs_(in.state.hs),
      x_(in.state.x),
      pi_(in.state.pi),
      dj_(in.state.reducedCost),
      m_(in.prob.m),
      n_(in.prob.n),
      nb_(in.prob.nb()),
      basis_(in.prob, in.state, in.params, in.out, std::max(1, in.params.superbasicsLimit), lenaFor(in),
             in.automaticStorage),
      feasibility_(in.prob.m + std::max(1, in.params.superbasicsLimit) + 1),
      objective_(in.prob, in.params, in.scaling, in.evaluator, in.majors, in.nJacElements),
      prices_(in.prob.m),
      pricer_(in.prob, in.params),
      direction_(in.prob.m + std::max(1, in.params.superbasicsLimit) + 1),
      simplex_(in.prob, in.state, in.params, in.out, basis_, direction_, feasibility_, pricer_),
      subspace_(in.prob, in.state, basis_, in.params, in.out),
      rgStep_(RgStepParts{in.prob, in.state, in.params, in.out, basis_, direction_, subspace_, objective_, prices_,
                          feasibility_, pricer_, in.evaluator, in.majors, outcome_.exitCode, stepPosition_}),
      log_(in.params, in_.out, in.progress, in.prob.nNonlinCons > 0),
      certifier_(in.prob, in.nJacElements),
      majors_(in.majors) {
  const int32_t L = m_ + std::max(1, p_.superbasicsLimit);
  scratch_.assign(static_cast<size_t>(L) + 1, 0.0);
  if (dj_.size() != static_cast<size_t>(nb_)) dj_.assign(static_cast<size_t>(nb_), 0.0);
  log_.setReducedGradientForm(objective_.nonlinear());
}

void MainLoop::startMajorIteration() {
  ++majorItn_;
  outcome_.exitCode = kOptimal;
  pricer_.startMajorIteration();
  tolerance_.start(p_.feasibilityTolerance, p_.expandFrequency);
  nDegenerate_ = 0;
  subspace_.control().lvltol = 1;
  subspace_.control().tolrg = 0.0;
  subspace_.control().replaceFailures = 0;
  if (in_.evaluator) in_.evaluator->setDifferenceChoice(FunctionEvaluator::kForward);
}

void MainLoop::setExit(ExitCode code) { declareExit(outcome_.exitCode, code, in_.out); }

// Infeasibilities of the basic variables against bounds relaxed by the working tolerance, the
// phase-1 gradient, and the phase that follows from them.
void MainLoop::countInfeasibilities() {
  feasibility_.count(m_, basis_.list(), x_.data(), prob_.lower.data(), prob_.upper.data(), tolerance_.value());
  const bool feasible = feasibility_.ninf() == 0;
  const Phase previousPh = ph_;
  const int32_t ns = in_.state.ns;
  if (!feasible) {
    if (justFactorized_ || ph_ == Phase::kSimplex) ph_ = ns > 0 ? Phase::kSubspace : Phase::kInfeasible;
    if (justFactorized_ && p_.printLevel % 10 > 0)
      in_.out.print(" Itn %7d -- infeasible.  Num = %5d   Sum = %14.7e", itn_, feasibility_.ninf(), feasibility_.sinf());
  } else {
    if (justFactorized_ || !wasFeasible_)
      ph_ = ns > 0 ? Phase::kSubspace : (objective_.nonlinear() ? Phase::kNewSuperbasics : Phase::kSimplex);
    // With a nonlinear objective the message waits until the functions have been evaluated.
    if (!firstFeasibleSeen_ && !objective_.nonlinear()) in_.out.both(" Itn %7d -- linear constraints satisfied.", itn_);
    else if (!wasFeasible_ && objective_.nonlinear()) announceFeasible_ = true;
    else if (!wasFeasible_) in_.out.both(" Itn %7d -- feasible solution.  Objective = %16.8e", itn_, objective_.trueObjective(x_.data()));
    firstFeasibleSeen_ = true;
  }
  // Phase 1 compares the basic costs step by step; a feasible linear program reads them only for
  // new prices, which most iterations of the weighted pricing rules do not need.
  if (feasible && !objective_.nonlinear()) prices_.deferCosts();
  else loadBasicGradient();
  if (ph_ != previousPh || !feasible || feasible != wasFeasible_) prices_.markStale();
  wasFeasible_ = feasible;
}

void MainLoop::loadBasicGradient() { prices_.loadCosts(basis_.list(), basicCostsOf(objective_, feasibility_)); }

void MainLoop::computePrices() { prices_.compute(basis_.lu(), basis_.list(), basicCostsOf(objective_, feasibility_), pi_.data()); }

// Pricing found nothing at a feasible point. With superbasics the subspace may first need
// optimizing further; otherwise the point is optimal once the row check agrees.
bool MainLoop::optimalityTest(const PricingResult& pr) {
  const int32_t ns = in_.state.ns;
  if (ns > 0) {
    const bool partial = p_.completion == 0 && prob_.nNonlinCons > 0;
    const double tolTarget = std::min((partial ? 0.01 : p_.optimalityTolerance) * prices_.norm(), confirmationRgTarget_);
    const bool searchStuck = subspace_.control().searchFailures > 0 && subspace_.control().restrictedRun < 2;
    if (!(subspace_.rgNorm() <= tolTarget || subspace_.control().lvltol == 2 || searchStuck)) {
      subspace_.control().tolrg = 0.1 * std::min(subspace_.control().tolrg, subspace_.rgNorm());
      ph_ = Phase::kSubspace;
      if (subspace_.control().tolrg <= tolTarget) {
        subspace_.control().lvltol = 2;
        subspace_.control().tolrg = tolTarget;
      }
      if (p_.printLevel % 10 > 0) in_.out.print(" tolrg  reduced to %10.3e   lvltol = %2d", subspace_.control().tolrg, subspace_.control().lvltol);
      return false;
    }
  }
  if (expandReset(false)) return false;
  if (p_.printLevel % 10 > 0)
    in_.out.print(" Biggest dj = %11.3e (variable %7d)    norm rg = %11.3e   norm pi = %11.3e", pr.dj,
                   pr.enteringVar + 1, subspace_.rgNorm(), prices_.norm());
  if (basis_.itnSinceFactor() > 0 && !basis_.rowCheck(false, linearizedRhs(), itn_)) {
    basis_.request(FactorRequest::kRowError);
    if (!factorize()) return true;
    return false;
  }
  // With nonlinear constraints an optimal subproblem ends the major iteration. With a linear
  // objective the point is checked on the user's (unscaled) problem before the run may end
  // optimal, and the iterations go on when it fails. (A nonlinear objective converges to its
  // own test on the reduced gradient, which allows for the precision of the functions; the
  // reduced-cost test of the check would be met there only by chance.) A reduced gradient that
  // is still large makes it near-optimal only.
  if (majors_) {
    endMajorIteration(kSubproblemOptimal);
    return true;
  }
  if (subspace_.rgNorm() / prices_.norm() < kSinglePrecisionTenth) {
    if (!objective_.nonlinear()) {
      switch (confirmOptimal()) {
        case Confirmation::kContinue: return false;
        case Confirmation::kStop: return true;
        case Confirmation::kConfirmed: break;
      }
    }
    switch (confirmCertificate()) {
      case Confirmation::kContinue: return false;
      case Confirmation::kStop: return true;
      case Confirmation::kConfirmed: break;
    }
  }
  setOptimalExit();
  return true;
}

bool MainLoop::infeasibleTest() {
  if (feasibility_.weight() != 0.0) {
    feasibility_.reduceWeight();
    if (p_.printLevel % 10 > 0 || p_.debugLevel > 0) in_.out.print(" Weight on obj reduced to %12.4e", feasibility_.weight());
    prices_.markStale();
    return false;
  }
  if (expandReset(true)) return false;
  const int32_t ns = in_.state.ns;
  if (ns > 0 && subspace_.control().lvltol == 1) {
    // The superbasics may still reduce the infeasibilities: optimize their subspace harder.
    subspace_.control().lvltol = 2;
    subspace_.control().tolrg = std::min(p_.optimalityTolerance, p_.machine.eps2) * prices_.norm();
    if (subspace_.rgNorm() > subspace_.control().tolrg) {
      ph_ = Phase::kSubspace;
      if (p_.printLevel % 10 > 0) in_.out.print(" tolrg  reduced to %10.3e   lvltol = %2d", subspace_.control().tolrg, subspace_.control().lvltol);
      return false;
    }
  }
  return subproblemInfeasible();
}

// A linearized subproblem (after the first, or once the first has its nonlinear rows back) may
// be infeasible where the problem is not: its least infeasible point is taken as a step toward
// feasibility while such steps help, its nonlinear rows are relaxed a little (a few times), and
// only then does the run give up, saying what was shown infeasible.
bool MainLoop::subproblemInfeasible() {
  const bool linearized = majors_ && (majorItn_ > 1 || !majors_->rowsRelaxed());
  if (linearized && majors_->restorationProgressing()) {
    endMajorIteration(kSubproblemInfeasible);
    return true;
  }
  if (linearized) {
    majors_->countInfeasibleRetry();
    if (majors_->infeasibleRetries() <= 5) {
      if (majors_->perturbRowBounds(prob_, feasibility_.sinf())) {
        basis_.placeWithinBounds();
        expandReset(false);
        prices_.markStale();
        return false;
      }
      endMajorIteration(kSubproblemInfeasible);
      return true;
    }
  }
  setExit(kInfeasible);
  if (linearized)
    in_.out.both("%s", " XXX  The linearized constraints cannot be satisfied near this point: the nonlinear"
                        " constraints may still be feasible from another starting point.");
  return true;
}

bool MainLoop::unboundedRay() {
  if (feasibility_.ninf() > 0 && feasibility_.weight() > 0.0) {
    feasibility_.dropWeight();
    prices_.markStale();
    return false;
  }
  if (expandReset(true)) return false;
  // With nonlinear constraints the first subproblem is bounded only by its linear rows: the
  // nonlinear rows get their bounds back before a larger penalty is tried.
  if (majors_ && majors_->giveRowsTheirBounds(prob_)) {
    basis_.placeWithinBounds();
    expandReset(false);
    objective_.markStale();
    prices_.markStale();
    return false;
  }
  // A linearized subproblem can be unbounded where the problem is not: multiplier estimates of
  // the wrong size make its Lagrangian terms fall faster than a small penalty rises (a concave
  // row whose multiplier is large). They are given up first, then the penalty is raised.
  if (majors_ && (majors_->forgetMultipliers() || majors_->raisePenalty())) {
    objective_.markStale();
    prices_.markStale();
    return false;
  }
  if (majors_ && !unboundednessShown()) return true;
  // After the optimality check removed the scaling, a ray comes from the unscaled problem's
  // poor scaling (pivots too small beside the rest of their column are passed over), not from
  // the problem, which the scaled iterations had solved but for the check: that point's
  // successor is reported near-optimal, not "unbounded".
  if (!formerScales_.empty()) {
    in_.out.both(" Itn %7d -- a ray of the unscaled problem after its scaling was removed", itn_);
    in_.out.both("%s", " EXIT -- near-optimal solution found");
    in_.out.both("%s", " XXX WARNING: the problem is scaled too badly to meet its tolerances without its scaling");
    outcome_.exitCode = kNearOptimal;
    return true;
  }
  setExit(kUnbounded);
  return true;
}

// The record of the iteration, which its step has filled in part, completed and logged; the
// exchange across the model's boundary is shown once.
void MainLoop::logIteration() {
  IterationRecord& r = record_;
  r.itn = itn_;
  r.ph = static_cast<int32_t>(ph_);
  r.ninf = feasibility_.ninf();
  r.sinf = feasibility_.sinf();
  r.objective = objective_.minimized(x_.data());
  r.lenL = basis_.lu().params().lenL();
  r.lenU = basis_.lu().params().lenU();
  r.compressions = basis_.lu().params().compressions();
  r.majorItn = majorItn_;
  r.minorItn = minorItn_;
  r.restricted = subspace_.control().restricted;
  r.ns = in_.state.ns;
  r.condH = subspace_.model().estimateCondition(in_.state.ns).condR;
  r.conv = subspace_.control().conv;
  const int stop = log_.record(r);
  r.exchangeRgIn = r.exchangeRgMin = 0.0;
  r.exchangeOut = 0;
  if (stop == kStopForLimit) setExit(kTimeLimit);
  else if (stop == kStopForInterrupt) setExit(kInterrupted);
}

// With nonlinear constraints, a subproblem that stays unbounded (its multipliers given up and
// its penalty raised) shows the problem unbounded only when the point reached satisfies the true
// constraints (to the certificate's tolerances) and the objective there is already beyond
// "Unbounded objective val": a step along a linearization's ray proves nothing about the
// problem. Otherwise the run ends with exit 9, saying so; true when unboundedness is shown.
bool MainLoop::unboundednessShown() {
  const Certificate c = certifyHere(false);
  double f = 0.0;
  const bool evaluated = c.evaluated && (prob_.nNonlinObjVars == 0 || in_.evaluator->objectiveValue(x_.data(), f) == 0);
  double objective = prob_.objConstant + f;
  if (objective_.objSlack() >= 0) objective -= x_[static_cast<size_t>(objective_.objSlack())] * objective_.objScale();
  if (c.passed && evaluated && objective_.sigma() * objective <= -p_.unboundedObjectiveValue) return true;
  if (!evaluated)
    in_.out.both("%s", " XXX  The subproblem is unbounded where the functions cannot be evaluated:");
  else if (!c.passed)
    in_.out.both(" XXX  The subproblem is unbounded where the constraints are violated by %10.2e (relative, variable %d):",
                  c.maxPrimalInfeasRelative, c.primalWorst + 1);
  else
    in_.out.both(" XXX  The subproblem is unbounded, but the objective at the point reached is %14.6e:", objective);
  in_.out.both("%s", " XXX  the problem itself is not shown to be unbounded");
  in_.out.both("%s", " EXIT -- the current point cannot be improved upon");
  outcome_.exitCode = kCannotImprove;
  return false;
}

LoopOutcome MainLoop::run() {
  itn_ = majorItn_ = minorItn_ = 0;
  ph_ = Phase::kInfeasible;
  prices_.resetNorm();
  unchangedLimit_ = std::min(std::max(1000, m_), 10000);
  outcome_.exitCode = kOptimal;
  basis_.toInternalStates();
  feasibility_.startWeight(p_.weightOnObjective);
  subspace_.load(in_.superbasicList);
  log_.setReducedGradientForm(objective_.nonlinear() || in_.state.ns > 0);
  // Basic values computed by the factors may lie within the feasibility tolerance beyond a
  // bound, where a model's functions need not be defined.
  if (in_.evaluator) in_.evaluator->setVariableBounds(prob_.lower.data(), prob_.upper.data());
  SubproblemSummary previous;
  while (beginMajorIteration(previous)) {
    majorEnded_ = false;
    iterate();
    if (!majorEnded_ || outcome_.exitCode != kOptimal) break;
    previous = subproblemSummary();
  }
  finish();
  outcome_.majorIterations = majorItn_;
  return outcome_;
}

}  // namespace kavro
