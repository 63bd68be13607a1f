#include "optimizer/pricing.hpp"

#include <algorithm>
#include <cmath>

#include "io/units.hpp"

namespace kavro {

void priceColumns(const Problem& prob, const double* pi, const double* gradient, int32_t first, int32_t last,
                  double* reducedCost) {
  const int32_t* colStart = prob.a.colStart.data();
  const int32_t* row = prob.a.row.data();
  const double* value = prob.a.value.data();
  for (int32_t j = first; j < last; ++j) {
    double sum = 0.0;
    for (int32_t k = colStart[j]; k < colStart[j + 1]; ++k) sum += pi[row[k]] * value[k];
    reducedCost[j] = (gradient ? gradient[j] : 0.0) - sum;
  }
}

namespace {

struct SectionRange {
  int32_t colFirst, colLast, slackFirst, slackLast;
};

SectionRange sectionRange(int32_t k, int32_t nParts, int32_t n, int32_t m) {
  const int32_t colSize = n / nParts, rowSize = m / nParts;
  SectionRange s;
  s.colFirst = colSize * (k - 1);
  s.colLast = k == nParts ? n : colSize * k;
  s.slackFirst = n + rowSize * (k - 1);
  s.slackLast = k == nParts ? n + m : n + rowSize * k;
  return s;
}

// The best maxCandidates of the scanned candidates in decreasing measure, ties in the order the
// scan met them (so a later candidate goes behind all earlier ones at least as large). Selection
// then sorting of the few kept: linear in the candidates, however many price out.
void keepBestCandidates(PricingState& state, int32_t maxCandidates) {
  std::vector<ScannedCandidate>& all = state.scanned;
  auto better = [](const ScannedCandidate& a, const ScannedCandidate& b) {
    return a.measure > b.measure || (a.measure == b.measure && a.seq < b.seq);
  };
  const size_t keep = std::min(all.size(), static_cast<size_t>(maxCandidates));
  if (keep < all.size())
    std::nth_element(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(keep), all.end(), better);
  std::sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(keep), better);
  state.best.clear();
  for (size_t k = 0; k < keep; ++k) state.best.push_back(PriceCandidate{all[k].j, all[k].dj});
}

// Fallback when nothing prices out: a nonbasic variable strictly between its bounds with a
// finite bound is moved toward it.
bool chooseBetweenBounds(const PricingInput& in, double* reducedCost, PricingResult& r) {
  const Problem& prob = *in.prob;
  for (int32_t j = 0; j < prob.nb(); ++j) {
    if (in.hs[j] != -1) continue;
    const double lo = prob.lower[j], up = prob.upper[j];
    if (!(lo > -1.0e20 || up < 1.0e20)) continue;
    if (j < prob.n) priceColumns(prob, in.pi, in.gradient, j, j + 1, reducedCost);
    else reducedCost[j] = -in.pi[j - prob.n];
    r.enteringVar = j;
    r.dj = reducedCost[j];
    r.nAbove = 1;
    r.increase = std::fabs(up) <= std::fabs(lo);
    return true;
  }
  return false;
}

}  // namespace

PricingResult price(const PricingInput& in, PricingState& state, double& wtobj, double* reducedCost,
                    const ReportChannels& out) {
  const Problem& prob = *in.prob;
  const int32_t n = prob.n, m = prob.m;
  PricingResult r;
  if (in.ns >= in.superbasicsLimit) {
    r.superbasicsLimitReached = true;
    return r;
  }
  const int32_t maxCandidates = std::min(in.multiplePrice, in.superbasicsLimit - in.ns);
  const bool multiple = maxCandidates >= 2;
  if (n / state.nParts == 0 && m / state.nParts == 0) state.nParts = 1;
  const int32_t nParts = state.nParts;
  r.toldj = (in.feasible ? in.optimalityTolerance : std::min(in.optimalityTolerance, in.rootEps)) * in.piNorm;
  const int phaseIndex = in.feasible ? 1 : 0;
  const double threshold = nParts == 1 ? r.toldj : state.priceThreshold[phaseIndex];

  double best = 0.0;
  int32_t bestSection = 0;
  state.scanned.clear();
  for (int32_t scanned = 0; scanned < nParts;) {
    state.sectionNo = state.sectionNo % nParts + 1;
    ++scanned;
    const SectionRange s = sectionRange(state.sectionNo, nParts, n, m);
    priceColumns(prob, in.pi, in.gradient, s.colFirst, s.colLast, reducedCost);
    for (int32_t j = s.slackFirst; j < s.slackLast; ++j) reducedCost[j] = -in.pi[j - n];
    auto scan = [&](int32_t first, int32_t last) {
      for (int32_t j = first; j < last; ++j) {
        const int32_t h = in.hs[j];
        if (h >= 2) continue;
        const double d = candidateMeasure(h, reducedCost[j]);
        if (d > threshold) ++r.nAbove;
        if (d > best) {
          best = d;
          r.enteringVar = j;
          r.dj = reducedCost[j];
          bestSection = state.sectionNo;
        }
        if (multiple && d > r.toldj)
          state.scanned.push_back(ScannedCandidate{d, reducedCost[j], j, static_cast<int32_t>(state.scanned.size())});
      }
    };
    scan(s.colFirst, s.colLast);
    scan(s.slackFirst, s.slackLast);
    if (r.nAbove > 0 || nParts == 1) break;
    if (scanned == nParts) {
      if (best > r.toldj) {
        state.priceThreshold[phaseIndex] = std::max(0.2 * best, r.toldj);
        r.nAbove = 1;
        state.sectionNo = bestSection;
        if (in.itn > 0) wtobj *= 0.2;
        if (in.debugLevel > 0)
          out.both(" Itn %7d -- toldj = %10.2e    Norm pi = %10.2e    wtobj = %10.2e", in.itn,
                   state.priceThreshold[phaseIndex], in.piNorm, wtobj);
      }
    }
  }
  r.section = bestSection;
  r.biggestVar = r.enteringVar;
  r.biggestDj = r.dj;
  if (r.nAbove == 0) {
    r.enteringVar = -1;
    return r;
  }
  r.increase = r.dj < 0.0;
  if (multiple) {
    keepBestCandidates(state, maxCandidates);
    r.candidates = state.best;
    r.nCandidates = 1;
    for (size_t k = 1; k < r.candidates.size(); ++k)
      if (std::fabs(r.candidates[k].dj) >= 0.2 * best) ++r.nCandidates;
  }
  return r;
}

// Exposed for the main loop: the between-bounds fallback.
bool priceBetweenBounds(const PricingInput& in, double* reducedCost, PricingResult& r) {
  return chooseBetweenBounds(in, reducedCost, r);
}

}  // namespace kavro
