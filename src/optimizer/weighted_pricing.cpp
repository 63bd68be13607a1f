// The main loop's side of the weighted pricing rules (Devex and steepest edge): when they
// apply, the weights they keep, and how a basis change outside the simplex step makes them
// invalid.

#include <algorithm>

#include "optimizer/main_loop.hpp"

namespace kavro {

// The weighted rules choose variables for simplex steps: phases 1 and 2 without superbasic
// variables and with one candidate per pricing. Where pricing chooses variables to become
// superbasic (superbasics exist, the objective is nonlinear and the point feasible, or the
// constraints are nonlinear), the largest-reduced-cost rule with partial pricing stays.
bool MainLoop::weightedPricingApplies() const {
  return weights_.active() && in_.state.ns == 0 && std::min(p_.multiplePrice, p_.superbasicsLimit) <= 1 &&
         (feasibility_.ninf() > 0 || !objective_.nonlinear()) && prob_.nNonlinCons == 0;
}

// Reduced costs updated by the simplex steps stay exact while the costs do not change, and until
// the next factorization, which refreshes them against rounding. Meanwhile the prices themselves
// are not needed, which saves a solve with B' per iteration. Once feasible the costs are fixed;
// in phase 1 they change with the set of infeasible basics, which most steps leave alone.
bool MainLoop::reducedCostsKept() const {
  if (!weightedPricingApplies() || !weights_.valid() || basis_.counters().factorizations != factorizationsAtLastPricing_ ||
      confirmationRounds_ != 0)
    return false;
  if (feasibility_.ninf() == 0) return feasibleAtLastPricing_;
  return !feasibleAtLastPricing_ && phaseOneCostsKept();
}

// The phase-1 costs of the basics as at the last pricing: the same at every position but the one
// the last step changed, where the entering variable must cost what it cost as a nonbasic (0).
// The leaving variable's cost as a nonbasic was applied when its reduced cost was updated.
bool MainLoop::phaseOneCostsKept() const {
  if (pricedGB_.size() != static_cast<size_t>(m_)) return false;
  const double* now = prices_.costs();
  const double* then = pricedGB_.data();
  bool same = true;
  for (int32_t k = 0; k < m_; ++k) same &= now[k] == then[k] || k == stepPosition_;
  return same && (stepPosition_ < 0 || now[stepPosition_] == 0.0);
}

PricingResult MainLoop::priceByWeights(const PricingInput& given) {
  const bool reuse = reducedCostsKept();
  if (!weights_.valid()) weights_.reset(hs_.data(), basis_.list());
  feasibleAtLastPricing_ = feasibility_.ninf() == 0;
  factorizationsAtLastPricing_ = basis_.counters().factorizations;
  if (feasibility_.ninf() > 0) pricedGB_.assign(prices_.costs(), prices_.costs() + m_);
  PricingResult r = weights_.price(given, dj_.data(), reuse);
  if (r.enteringVar >= 0 || !reuse) return r;
  // No candidate by the kept reduced costs: confirmed by fresh ones.
  loadBasicGradient();
  computePrices();
  PricingInput in = given;
  in.piNorm = prices_.norm();
  return weights_.price(in, dj_.data(), false);
}

// Called by the simplex step once the ratio test has chosen the basis position that q takes,
// before the states change.
// nMoved: the positions where y_ is nonzero, ascending, in movedPositions_ (the dense order, for
// a y_ without a list of its own).
void MainLoop::updateWeights(int32_t q, int32_t position, int32_t nMoved) {
  if (!weights_.valid()) return;
  // In phase 1 the leaving variable cost its infeasibility as a basic, nothing as a nonbasic.
  const double leavingCost = feasibility_.ninf() > 0 ? feasibility_.marks()[position] / 2 : 0.0;
  const bool ownList = y_.listed();
  const PivotColumn pivot{q, position, y_.value.data(), ownList ? y_.index.data() : movedPositions_.data(),
                          ownList ? y_.count : nMoved, leavingCost};
  weights_.update(pivot, hs_.data(), basis_.list(), basis_.lu());
}

// A factorization may replace dependent basic columns by slacks or exchange basic and
// superbasic variables; the weights then describe another basis.
void MainLoop::rememberBasicSet() {
  basicsBeforeFactor_.clear();
  if (!weights_.valid()) return;
  basicsBeforeFactor_.assign(basis_.list(), basis_.list() + m_);
}

void MainLoop::forgetWeightsIfBasisChanged() {
  for (int32_t j : basicsBeforeFactor_)
    if (j < 0 || hs_[static_cast<size_t>(j)] != kBasic) {
      weights_.invalidate();
      return;
    }
}

}  // namespace kavro
