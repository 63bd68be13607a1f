#include "optimizer/linesearch.hpp"

#include <algorithm>
#include <cmath>

#include "optimizer/search_debug.hpp"

namespace kavro {

namespace {

// Shift that makes a step of sufficient decrease lower the searched function.
constexpr double kDecrease = 1.0e-4;

}  // namespace

LinesearchState startLinesearch(const LinesearchSettings& st, double alfmax, double initialStep) {
  const MachineConstants& mc = st.machine;
  LinesearchState s;
  s.alfmax = alfmax;
  s.alfa = initialStep;
  s.maxf = st.derivatives ? 10 : 15;
  s.epsaf = std::max(st.functionPrecision, mc.eps) * (1.0 + std::fabs(st.f0));
  s.tolrel = std::max(mc.eps0, mc.eps);
  s.tolabs = std::min(alfmax, mc.eps0 * (1.0 + st.xNorm) / st.pNorm);
  s.toltny = st.tinyStepRatio > 0.0 ? std::min(s.tolabs, 1.0 / st.tinyStepRatio) : s.tolabs;
  s.alfsml = !st.derivatives && st.forwardDifferences ? (1.0 + st.xNorm) * st.differenceInterval / st.pNorm : 0.0;
  s.g0 = (1.0 - kDecrease) * st.gtp0;
  s.targtg = (kDecrease - st.linesearchTolerance) * st.gtp0;
  s.first = true;
  return s;
}

namespace {

// Where the caller's functions were last evaluated.
struct LastEvaluation {
  double alfa = -1.0;
  bool withGradient = false;
};

// One search, from the first call of the step-selection routine until it is done (returns 0) or
// an evaluation does not succeed (returns its code; a NaN or infinite value counts as -1).
int runSearch(const LinesearchSettings& st, LinesearchState& s, LineFunction& fn, LinesearchResult& r,
              LastEvaluation& last) {
  const ReportChannels* debug = st.debug ? &st.out : nullptr;
  for (;;) {
    if (st.derivatives) {
      searchWithDerivatives(s, debug);
    } else {
      searchWithoutDerivatives(s, debug);
    }
    if (s.done) return 0;
    double f = 0.0, gtp = 0.0;
    ++r.evaluations;
    int code = fn.evaluate(s.alfa, st.derivatives, f, gtp);
    if (code == 0 && (!std::isfinite(f) || (st.derivatives && !std::isfinite(gtp)))) code = -1;
    if (code != 0) return code;
    last = {s.alfa, st.derivatives};
    s.ftry = f - st.f0 - s.alfa * st.gtp0 * kDecrease;
    s.gtry = gtp - kDecrease * st.gtp0;
  }
}

// Leaves the caller's functions and gradient evaluated at the accepted step.
int evaluateAtBest(const LinesearchState& s, const LastEvaluation& last, LineFunction& fn, LinesearchResult& r) {
  if (!(s.alfbst > 0.0) || (last.alfa == s.alfbst && last.withGradient)) return 0;
  double f = 0.0, gtp = 0.0;
  ++r.evaluations;
  const int code = fn.evaluate(s.alfbst, true, f, gtp);
  if (code == 0 && (!std::isfinite(f) || !std::isfinite(gtp))) return -1;
  return code;
}

}  // namespace

LinesearchResult m6srch(const LinesearchSettings& st, LineFunction& fn) {
  LinesearchResult r;
  double alfmax = st.alfmax;
  double initial = st.initialStep;
  LinesearchState s;
  LastEvaluation last;
  int code = 0;
  for (;;) {
    s = startLinesearch(st, alfmax, initial);
    if (st.debug) search::printStart(st.out, st.itn, st.pNorm, st.gnorm);
    last = {};
    code = runSearch(st, s, fn, r, last);
    if (code != -1) break;
    // Undefined at this trial: search again below a tenth of it.
    alfmax = 0.1 * s.alfa;
    initial = alfmax;
  }
  r.alfmax = alfmax;
  r.numf = s.numf;
  const bool stepFound = s.searchResult <= SearchResult::kTooManyFunctions;
  if (code == 0 && stepFound) code = evaluateAtBest(s, last, fn, r);
  if (code != 0) {
    r.searchResult = SearchResult::kEvaluationFailed;
    r.evaluationCode = code;
    return r;
  }
  r.searchResult = s.searchResult;
  if (stepFound) r.alfa = s.alfbst;
  if (s.searchResult >= SearchResult::kTooManyFunctions && !st.debug)
    search::printSummary(st.out, alfmax, st.pNorm, st.gnorm, st.gtp0, s.numf);
  return r;
}

}  // namespace kavro
