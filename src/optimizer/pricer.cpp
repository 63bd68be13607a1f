#include "optimizer/pricer.hpp"

#include <algorithm>

namespace kavro {

Pricer::Pricer(const Problem& prob, const Parameters& params)
    : m_(prob.m),
      nNonlinCons_(prob.nNonlinCons),
      multiplePrice_(params.multiplePrice),
      superbasicsLimit_(params.superbasicsLimit) {
  partial_.nParts = std::max(1, params.partialPrice);
  weights_.size(prob, static_cast<PricingRule>(params.pricingOption));
}

// Where pricing chooses variables to become superbasic (superbasics exist, the objective is
// nonlinear and the point feasible, or the constraints are nonlinear), the largest-reduced-cost
// rule with partial pricing stays.
bool Pricer::weightedApplies(const PricingSituation& s) const {
  return weights_.active() && s.ns == 0 && std::min(multiplePrice_, superbasicsLimit_) <= 1 &&
         (s.infeasible || !s.nonlinearObjective) && nNonlinCons_ == 0;
}

// Meanwhile the prices themselves are not needed, which saves a solve with B' per iteration.
bool Pricer::reducedCostsKept(const PricingSituation& s) const {
  if (!weightedApplies(s) || !weights_.valid() || s.factorizations != factorizationsAtLastPricing_ ||
      s.afterFailedCheck)
    return false;
  if (!s.infeasible) return feasibleAtLastPricing_;
  return !feasibleAtLastPricing_ && phaseOneCostsKept(s);
}

// The phase-1 costs of the basics as at the last pricing: the same at every position but the one
// the last step changed, where the entering variable must cost what it cost as a nonbasic (0).
// The leaving variable's cost as a nonbasic was applied when its reduced cost was updated.
bool Pricer::phaseOneCostsKept(const PricingSituation& s) const {
  if (pricedCosts_.size() != static_cast<size_t>(m_)) return false;
  const double* now = s.basicCosts;
  const double* then = pricedCosts_.data();
  const int32_t changed = s.changedPosition;
  bool same = true;
  for (int32_t k = 0; k < m_; ++k) same &= now[k] == then[k] || k == changed;
  return same && (changed < 0 || now[changed] == 0.0);
}

PricingResult Pricer::price(const PricingInput& in, const PricingSituation& s, double& wtobj, double* reducedCost,
                            const ReportChannels& out, bool& freshPricesWanted) {
  freshPricesWanted = false;
  if (!weightedApplies(s)) return kavro::price(in, partial_, wtobj, reducedCost, out);
  const bool reuse = reducedCostsKept(s);
  if (!weights_.valid()) weights_.reset(in.hs, s.basisList);
  feasibleAtLastPricing_ = !s.infeasible;
  factorizationsAtLastPricing_ = s.factorizations;
  if (s.infeasible) pricedCosts_.assign(s.basicCosts, s.basicCosts + m_);
  const PricingResult r = weights_.price(in, reducedCost, reuse);
  // No candidate by the kept reduced costs: to be confirmed by fresh ones.
  freshPricesWanted = r.enteringVar < 0 && reuse;
  return r;
}

void Pricer::simplexStep(int32_t q, int32_t position, const kernels::SparseVector& y, const int32_t* moved,
                         int32_t nMoved, double leavingCost, const int32_t* hs, const int32_t* basisList, BasisLU& lu) {
  if (!weights_.valid()) return;
  const bool ownList = y.listed();
  const PivotColumn pivot{
      q, position, y.value.data(), ownList ? y.index.data() : moved, ownList ? y.count : nMoved, leavingCost};
  weights_.update(pivot, hs, basisList, lu);
}

void Pricer::rememberBasicSet(const int32_t* basisList, int32_t m) {
  basicsBeforeFactor_.clear();
  if (!weights_.valid()) return;
  basicsBeforeFactor_.assign(basisList, basisList + m);
}

void Pricer::forgetIfBasisChanged(const int32_t* hs) {
  for (int32_t j : basicsBeforeFactor_)
    if (j < 0 || hs[j] != kBasic) {
      weights_.invalidate();
      return;
    }
}

void Pricer::problemChanged(const Problem& prob) {
  weights_.size(prob, weights_.rule());
  partial_.resetForMajorIteration();
}

}  // namespace kavro
