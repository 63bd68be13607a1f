// The phase that the infeasibilities decide, the messages of the transitions, and the prices.

#include "optimizer/main_loop.hpp"

namespace kavro {

// Infeasibilities of the basic variables against bounds relaxed by the working tolerance, the
// phase-1 costs, and the phase that follows from them.
void MainLoop::countInfeasibilities() {
  feasibility_.count(m_, basis_.list(), x_.data(), prob_.lower.data(), prob_.upper.data(), tolerance_.value());
  const bool feasible = feasibility_.ninf() == 0;
  const bool wasFeasible = feasibility_.wasFeasible();
  const Phase previous = phase_;
  const int32_t ns = in_.state.ns;
  const int32_t itn = counts_.itn;
  if (!feasible) {
    if (justFactorized_ || phase_ == Phase::kSimplex) phase_ = ns > 0 ? Phase::kSubspace : Phase::kInfeasible;
    if (justFactorized_ && p_.printLevel % 10 > 0)
      in_.out.print(" Itn %7d -- infeasible.  Num = %5d   Sum = %14.7e", itn, feasibility_.ninf(), feasibility_.sinf());
  } else {
    if (justFactorized_ || !wasFeasible)
      phase_ = ns > 0 ? Phase::kSubspace : (objective_.nonlinear() ? Phase::kNewSuperbasics : Phase::kSimplex);
    // With a nonlinear objective the message waits until the functions have been evaluated.
    if (!feasibility_.everFeasible() && !objective_.nonlinear())
      in_.out.both(" Itn %7d -- linear constraints satisfied.", itn);
    else if (!wasFeasible && objective_.nonlinear()) feasibility_.announceLater();
    else if (!wasFeasible)
      in_.out.both(" Itn %7d -- feasible solution.  Objective = %16.8e", itn, objective_.trueObjective(x_.data()));
  }
  // Phase 1 compares the basic costs step by step; a feasible linear program reads them only for
  // new prices, which most iterations of the weighted pricing rules do not need.
  if (feasible && !objective_.nonlinear()) prices_.deferCosts();
  else prices_.loadCosts(basis_.list(), basicCostsOf(objective_, feasibility_));
  if (phase_ != previous || !feasible || feasible != wasFeasible) prices_.markStale();
  feasibility_.rememberFeasibility();
}

// pi for the current basis and phase; loadCosts: with the basic costs loaded afresh first.
void MainLoop::computePrices(bool loadCosts) {
  const BasicCosts costs = basicCostsOf(objective_, feasibility_);
  if (loadCosts) prices_.loadCosts(basis_.list(), costs);
  prices_.compute(basis_.lu(), basis_.list(), costs, in_.state.pi.data());
}

PricingSituation MainLoop::pricingSituation() const {
  PricingSituation s;
  s.ns = in_.state.ns;
  s.infeasible = feasibility_.ninf() > 0;
  s.nonlinearObjective = objective_.nonlinear();
  s.factorizations = basis_.counters().factorizations;
  s.afterFailedCheck = check_.afterFailedCheck();
  s.changedPosition = stepPosition_;
  s.basicCosts = prices_.costs();
  s.basisList = basis_.list();
  return s;
}

}  // namespace kavro
