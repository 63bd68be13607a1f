#pragma once
// Pricing as the main loop uses it: the rule that chooses the variable to enter, with the state
// each rule keeps between iterations. Partial pricing (the largest reduced cost, section by
// section, pricing.hpp) is the rule wherever pricing chooses superbasic variables; Devex and
// steepest edge (pricing_weights.hpp) price the simplex steps when "Pricing option" asks for
// them. Those keep the reduced costs up to date step by step, and this part decides when the
// kept ones still hold, so that the loop need not compute prices for them.
//
// Rules
//  - The weighted rules apply only without superbasics, with one candidate per pricing, without
//    nonlinear constraints, and in phase 1 or with a linear objective (weightedApplies()).
//  - Kept reduced costs hold until the next factorization, while the costs do not change: once
//    feasible they are fixed; in phase 1 they change with the set of infeasible basics, which
//    most steps leave alone.
//  - A basis change other than a simplex step (a factorization that swaps columns, a crash, a
//    reduced-gradient step) makes the weights invalid; a new reference framework then starts.

#include <cstdint>
#include <vector>

#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "lu/basis_lu.hpp"
#include "optimizer/pricing.hpp"
#include "optimizer/pricing_weights.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// What the choice of a rule and the kept reduced costs depend on, at one pricing.
struct PricingSituation {
  int32_t ns = 0;
  bool infeasible = false;
  bool nonlinearObjective = false;
  int32_t factorizations = 0;          // since the start of the run
  bool afterFailedCheck = false;       // the costs were changed for a check of optimality
  int32_t changedPosition = -1;        // the basis position the last step changed, -1 none
  const double* basicCosts = nullptr;  // c_B now, by position (m)
  const int32_t* basisList = nullptr;  // the variable of each basis position
};

class Pricer {
 public:
  Pricer(const Problem& prob, const Parameters& params);

  bool weightedApplies(const PricingSituation& s) const;
  bool reducedCostsKept(const PricingSituation& s) const;

  // One pricing by the rule that applies. reducedCost (nb) receives the reduced costs priced;
  // wtobj is lowered when partial pricing lowers its thresholds. When the weighted rule found
  // nothing among its kept reduced costs, freshPricesWanted is set: price again with fresh
  // prices (priceAgain) before concluding that nothing prices out.
  PricingResult price(const PricingInput& in, const PricingSituation& s, double& wtobj, double* reducedCost,
                      const ReportChannels& out, bool& freshPricesWanted);
  PricingResult priceAgain(const PricingInput& in, double* reducedCost) {
    return weights_.price(in, reducedCost, false);
  }
  // Candidates above the threshold at the last pricing.
  int32_t lastAbove() const { return lastAbove_; }
  void noteAbove(int32_t nAbove) { lastAbove_ = nAbove; }

  // ---- basis changes
  // A simplex step: q takes position (nMoved: the positions where y = B^-1 a_q is nonzero,
  // ascending, in moved, for a y without a list of its own). Called before the states change.
  void simplexStep(int32_t q, int32_t position, const kernels::SparseVector& y, const int32_t* moved, int32_t nMoved,
                   double leavingCost, const int32_t* hs, const int32_t* basisList, BasisLU& lu);
  void boundFlipped(int32_t q) {
    if (weights_.valid()) weights_.boundFlipped(q);
  }
  void invalidate() { weights_.invalidate(); }
  // Around a factorization, which may replace basic columns or exchange basic and superbasic
  // variables: the weights then describe another basis.
  void rememberBasicSet(const int32_t* basisList, int32_t m);
  void forgetIfBasisChanged(const int32_t* hs);
  // The matrix changed (its scaling was dropped): weights and sections start afresh.
  void problemChanged(const Problem& prob);
  void startMajorIteration() { partial_.resetForMajorIteration(); }

 private:
  bool phaseOneCostsKept(const PricingSituation& s) const;

  const int32_t m_;
  const int32_t nNonlinCons_;
  const int32_t multiplePrice_, superbasicsLimit_;
  PricingState partial_;
  PricingWeights weights_;
  std::vector<int32_t> basicsBeforeFactor_;
  bool feasibleAtLastPricing_ = false;
  int32_t factorizationsAtLastPricing_ = -1;
  std::vector<double> pricedCosts_;  // in phase 1, c_B at the last weighted pricing
  int32_t lastAbove_ = 0;
};

}  // namespace kavro
