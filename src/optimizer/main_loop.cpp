// The main loop: the major iterations around the minor ones, and one minor iteration as the
// algorithm has it.

#include "optimizer/main_loop.hpp"

#include <algorithm>

#include "files/variable_names.hpp"
#include "optimizer/loop_exit.hpp"

namespace kavro {

namespace {

int32_t factorElements(const LoopInput& in) {
  return static_cast<int32_t>(std::min<int64_t>(in.factorElementsAllowed, INT32_MAX - 16));
}

}  // namespace

MainLoop::MainLoop(const LoopInput& in)
    : in_(in),
      p_(in.params),
      prob_(in.prob),
      hs_(in.state.hs),
      x_(in.state.x),
      m_(in.prob.m),
      n_(in.prob.n),
      basis_(in.prob, in.state, in.params, in.out, in.majors ? &in.majors->rhs() : nullptr,
             std::max(1, in.params.superbasicsLimit), factorElements(in), in.automaticStorage),
      feasibility_(in.prob.m + std::max(1, in.params.superbasicsLimit) + 1),
      objective_(in.prob, in.params, in.scaling, in.evaluator, in.majors, in.nJacElements),
      prices_(in.prob.m),
      pricer_(in.prob, in.params),
      direction_(in.prob, in.state, basis_, feasibility_, tolerance_, in.params),
      simplex_(in.prob, in.state, in.params, in.out, basis_, direction_, feasibility_, pricer_),
      newton_(in.prob, in.state, basis_, objective_, in.params),
      subspace_(in.prob, in.state, basis_, in.params, in.out),
      rgStep_(RgStepParts{in.prob, in.state, in.params, in.out, basis_, direction_, subspace_, objective_, prices_,
                          feasibility_, pricer_, in.evaluator, in.majors, outcome_.exitCode, stepPosition_}),
      check_(CheckParts{in.prob, in.state, in.params, in.out, in.scaling, objective_, pricer_, subspace_, prices_,
                        in.evaluator, in.majors, outcome_},
             in.nJacElements),
      log_(in.params, in_.out, in.progress, in.prob.nNonlinCons > 0),
      stall_(in.prob.m) {
  subspace_.useSecondDerivatives(&newton_);
  std::vector<double>& dj = in.state.reducedCost;
  if (dj.size() != static_cast<size_t>(prob_.nb())) dj.assign(prob_.nb(), 0.0);
}

LoopOutcome MainLoop::run() {
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
    subproblem_.ended = false;
    iterate();
    if (!subproblem_.ended || outcome_.exitCode != kOptimal) break;
    previous.status = subproblem_.status;
    previous.minorItn = counts_.minor;
    previous.totalItn = counts_.itn;
    previous.ninf = feasibility_.ninf();
    previous.sinf = feasibility_.sinf();
    previous.ns = in_.state.ns;
    previous.luNonzeros = basis_.luNonzeros();
    previous.basisSwaps = basis_.counters().basisSwaps;
  }
  finish();
  outcome_.majorIterations = counts_.major;
  return outcome_;
}

// Minor iterations until the subproblem, or the run, ends.
void MainLoop::iterate() {
  Next next = Next::kIteration;
  while (next != Next::kEnd) {
    next = beginIteration();
    while (next == Next::kPricing) next = priceAndStep();
  }
}

// The working tolerance, the infeasibilities and the phase, the functions at a new feasible
// point, and the weight on the objective.
MainLoop::Next MainLoop::beginIteration() {
  // The working feasibility tolerance grows a little every iteration; now and then it returns
  // to its base and the nonbasic variables go back exactly onto their bounds.
  tolerance_.grow();
  if (tolerance_.periodicResetDue(counts_.minor, counts_.itn)) expandReset(false);
  countInfeasibilities();
  justFactorized_ = false;
  if (in_.crashInequalitiesPending && feasibility_.equalityRowsSatisfied(m_, n_, basis_.list(), in_.rowTypes)) {
    crashInequalityRows();
    return outcome_.exitCode != kOptimal ? Next::kEnd : Next::kIteration;
  }
  if (feasibility_.ninf() == 0 && objective_.nonlinear() && objective_.stale()) {
    const Next next = evaluateFunctions();
    if (next != Next::kPricing) return next;
  } else if (feasibility_.ninf() == 0 && in_.majors && !objective_.nonlinear() && !jacobianVerified_) {
    const Next next = verifyJacobianOnly();
    if (next != Next::kPricing) return next;
  }
  if (feasibility_.announcement()) announceFeasible();
  // The first subproblem, without its nonlinear rows, only finds a point that satisfies the
  // linear constraints: optimizing the objective without those rows would take the point where
  // they give no guidance (their gradients vanish, or the objective is unbounded), far from the
  // start the model gave.
  if (feasibility_.ninf() == 0 && in_.majors && in_.majors->rowsRelaxed()) {
    endMajorIteration(kSubproblemOptimal);
    return Next::kEnd;
  }
  if (feasibility_.sumGrew(counts_.itn)) {
    feasibility_.reduceWeight();
    prices_.markStale();
    if (p_.printLevel % 10 > 0 || p_.debugLevel > 0)
      in_.out.print(" Weight on obj reduced to %12.4e", feasibility_.weight());
  }
  feasibility_.rememberSum();
  return Next::kPricing;
}

// The prices (unless the weighted pricing keeps its reduced costs up to date), the reduced
// gradient, pricing except while the current subspace is optimized, and the step: simplex in
// phases 1 and 2, reduced gradient with superbasics.
MainLoop::Next MainLoop::priceAndStep() {
  if (prices_.stale() && !pricer_.reducedCostsKept(pricingSituation())) computePrices(true);
  const int32_t ns = in_.state.ns;
  if (phase_ >= Phase::kNewSuperbasics && ns > 0) {
    subspace_.computeReducedGradient(in_.state.pi.data(), objective_, feasibility_.ninf() > 0, feasibility_.weight());
    if (subspace_.control().tolrg == 0.0) subspace_.control().tolrg = p_.subspaceTolerance * subspace_.rgNorm();
  }
  PricingResult pr;
  if (phase_ != Phase::kSubspace) {
    const Next next = priceAndTest(pr);
    if (next != Next::kStep) return next;
  }
  record_.djOrRg = phase_ == Phase::kSubspace ? subspace_.rgNorm() : pr.dj;
  if (phase_ != Phase::kSubspace) record_.pp = pr.section;
  record_.entered = pr.enteringVar + 1;
  record_.leftSuperbasic = 0;
  record_.hmod1 = record_.hmod2 = 0;
  if (phase_ < Phase::kNewSuperbasics) return simplexIteration(pr);
  if (phase_ == Phase::kSubspace && ns == 0) {
    phase_ = Phase::kNewSuperbasics;
    return Next::kPricing;
  }
  return reducedGradientIteration(pr);
}

MainLoop::Next MainLoop::simplexIteration(const PricingResult& pr) {
  const SimplexMove move = simplex_.take(pr.enteringVar, pr.increase);
  if (move.outcome == SimplexMove::Outcome::kUnbounded) return unboundedRay(false) ? Next::kEnd : Next::kIteration;
  if (move.degenerate) ++counts_.degenerate;
  record_.step = move.step;
  objective_.markStale();
  if (move.outcome == SimplexMove::Outcome::kBoundFlip) {
    record_.pivot = 0.0;
    record_.leftBasis = 0;
    stepPosition_ = -1;
  } else {
    record_.pivot = move.pivot;
    record_.leftBasis = move.left + 1;
    stepPosition_ = move.position;
    prices_.markStale();
  }
  return afterStep(stepPosition_) ? Next::kIteration : Next::kEnd;
}

MainLoop::Next MainLoop::reducedGradientIteration(const PricingResult& pr) {
  pricer_.invalidate();  // the basis may change in ways the weights do not follow
  const RgStatus status = rgStep_.take(pr, phase_, counts_.itn, counts_.major, record_);
  counts_.degenerate += rgStep_.degenerateSteps();
  switch (status) {
    case RgStatus::kPriceAgain: return Next::kPricing;
    case RgStatus::kRestart: return Next::kIteration;
    case RgStatus::kUnbounded: return unboundedRay(in_.majors && counts_.major > 1) ? Next::kEnd : Next::kIteration;
    case RgStatus::kStop:
      // With nonlinear constraints a step that cannot make progress ends the major iteration
      // (after the first); the next linearization may do better.
      if (outcome_.exitCode == kCannotImprove && in_.majors && counts_.major > 1) {
        outcome_.exitCode = kOptimal;
        endMajorIteration(kSubproblemLimit);
      }
      return Next::kEnd;
    case RgStatus::kRefactorize: return factorize(FactorKind::kChooseFirst) ? Next::kIteration : Next::kEnd;
    default: break;
  }
  if (phase_ == Phase::kSubspace)
    record_.djOrRg = subspace_.control().restricted ? subspace_.rgNormR() : subspace_.rgNorm();
  if (!afterStep(stepPosition_)) return Next::kEnd;
  // A converged subspace is priced next; otherwise it is optimized further.
  phase_ = status == RgStatus::kConverged ? Phase::kNewSuperbasics : Phase::kSubspace;
  return Next::kIteration;
}

// Counts the iteration, writes the log and applies the termination tests and the factor
// update. Returns false when the run ends.
bool MainLoop::afterStep(int32_t position) {
  ++counts_.itn;
  basis_.countIteration();
  ++counts_.minor;
  if (feasibility_.ninf() == 0) ++counts_.feasibleMinor;
  logIteration();
  if (outcome_.exitCode != kOptimal) return false;
  const double f = feasibility_.ninf() == 0 ? objective_.trueObjective(x_.data()) : feasibility_.sinf();
  if (stall_.stalled(f, p_.machine.eps1)) {
    in_.out.both(" EXIT -- the objective has not changed for the last %8d iterations", stall_.count());
    outcome_.exitCode = kObjectiveUnchanged;
    return false;
  }
  if (p_.newBasisFile > 0 && counts_.itn % std::max(1, p_.saveNewBasisMap) == 0 && counts_.itn < p_.iterationLimit)
    in_.saveBasis(progress(), kRunProceeding);
  if (basis_.update(position, counts_.itn) == FactorRequest::kNone) return true;
  return factorize();
}

// The record of the iteration, which its step has filled in part, completed and logged; the
// exchange across the model's boundary is shown once.
// The first feasible point of the run, or during major iterations of the subproblem: its
// augmented-Lagrangian value, with the true objective beside it when there is a nonlinear one.
void MainLoop::announceFeasible() {
  const double trueObjective = objective_.trueObjective(x_.data());
  if (!in_.majors || counts_.major <= 1) {
    in_.out.both(" Itn %7d -- feasible solution.  Objective = %16.8e", counts_.itn, trueObjective);
    return;
  }
  const double auglag = objective_.minimized(x_.data());
  if (prob_.nNonlinObjVars > 0)
    in_.out.both(" Itn %7d -- feasible subproblem.  True obj = %16.8e  Auglag obj = %16.8e", counts_.itn, trueObjective,
                 auglag);
  else in_.out.both(" Itn %7d -- feasible subproblem.  Auglag obj = %16.8e", counts_.itn, auglag);
}

void MainLoop::logIteration() {
  IterationRecord& r = record_;
  r.itn = counts_.itn;
  r.ph = static_cast<int32_t>(phase_);
  r.ninf = feasibility_.ninf();
  r.sinf = feasibility_.sinf();
  r.objective = objective_.minimized(x_.data());
  lu::LuParams& lp = basis_.lu().params();
  r.lenL = lp.lenL();
  r.lenU = lp.lenU();
  r.compressions = lp.compressions();
  r.majorItn = counts_.major;
  r.minorItn = counts_.minor;
  r.restricted = subspace_.control().restricted;
  r.exactHessian = subspace_.control().exact;
  if (in_.evaluator) {
    r.nobj = static_cast<int32_t>(in_.evaluator->objectiveCounts().calls);
    r.ncon = static_cast<int32_t>(in_.evaluator->constraintCounts().calls);
  }
  r.ns = in_.state.ns;
  r.condH = subspace_.model().estimateCondition(in_.state.ns).condR;
  r.conv = subspace_.control().conv;
  const int stop = log_.record(r);
  if (p_.debugLevel == 100) basis_.printBasicAndSuperbasics();
  r.exchangeRgIn = r.exchangeRgMin = 0.0;
  r.exchangeOut = 0;
  if (stop == kStopForLimit) declareExit(outcome_.exitCode, kTimeLimit, in_.out);
  else if (stop == kStopForInterrupt) declareExit(outcome_.exitCode, kInterrupted, in_.out);
}

}  // namespace kavro
