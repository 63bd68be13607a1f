#pragma once
// Pricing: chooses the nonbasic variable to release from its bound. Reduced costs are computed
// section by section (partial pricing); the first section with a candidate above the current
// threshold ends the scan. With multiple pricing a short list of further candidates is kept.

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "kavro/problem.hpp"

namespace kavro {

struct ReportChannels;

struct PriceCandidate {
  int32_t j = -1;
  double dj = 0.0;
};

// A candidate as the scan met it: its measure and its place in the scan break ties.
struct ScannedCandidate {
  double measure = 0.0;
  double dj = 0.0;
  int32_t j = -1;
  int32_t seq = 0;
};

struct PricingState {
  int32_t nParts = 1;
  int32_t sectionNo = 0;                    // last section scanned, 1..nParts (0 before the first)
  double priceThreshold[2] = {1e20, 1e20};  // [0] phase 1, [1] phases 2 to 4
  // Multiple pricing: every candidate of one scan, then the best of them, best first. Kept here
  // so that their storage lasts from one pricing to the next.
  std::vector<ScannedCandidate> scanned;
  std::vector<PriceCandidate> best;

  void resetForMajorIteration() {
    sectionNo = 0;
    priceThreshold[0] = priceThreshold[1] = 1e20;
  }
};

struct PricingInput {
  const Problem* prob = nullptr;
  const int32_t* hs = nullptr;
  const double* pi = nullptr;
  const double* gradient = nullptr;  // structural gradient entries (null: all zero)
  double optimalityTolerance = 1e-6;
  double rootEps = 1.4901161193847656e-08;
  double piNorm = 1.0;
  bool feasible = true;
  int32_t multiplePrice = 1;
  int32_t superbasicsLimit = 1;
  int32_t ns = 0;
  int32_t itn = 0;
  int32_t debugLevel = 0;
};

struct PricingResult {
  int32_t enteringVar = -1;  // -1 when no candidate
  double dj = 0.0;
  int32_t section = 0;
  bool increase = true;  // direction of the entering variable
  int32_t nAbove = 0;
  double toldj = 0.0;
  std::span<const PriceCandidate> candidates;  // with multiple pricing, best first (PricingState::best)
  int32_t nCandidates = 1;
  bool superbasicsLimitReached = false;
  // The variable with the largest positive measure among those priced, even below the
  // threshold (-1 when none had one), and its reduced cost: what the optimality test reports.
  int32_t biggestVar = -1;
  double biggestDj = 0.0;
};

// Candidate measure of a nonbasic variable in state hs (0 at lower, 1 at upper, -1 between its
// bounds): how much the objective falls per unit step.
inline double candidateMeasure(int32_t hs, double dj) {
  if (hs == 0) return -dj;
  if (hs == 1) return dj;
  return std::fabs(dj);
}

// Computes the reduced costs of the columns j in [first, last): dj = g_j - pi' a_j.
void priceColumns(const Problem& prob, const double* pi, const double* gradient, int32_t first, int32_t last,
                  double* reducedCost);

// One pricing. reducedCost (nb) receives the reduced costs of the sections scanned; wtobj is
// reduced when the threshold has to be lowered.
PricingResult price(const PricingInput& in, PricingState& state, double& wtobj, double* reducedCost,
                    const ReportChannels& out);

}  // namespace kavro

namespace kavro {
// When the scan finds nothing: the first nonbasic variable strictly between its bounds that
// has a finite bound is chosen to move toward the nearer one. True when one was found.
bool priceBetweenBounds(const PricingInput& in, double* reducedCost, PricingResult& r);
}  // namespace kavro
