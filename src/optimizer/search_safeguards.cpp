#include "optimizer/search_safeguards.hpp"

#include <algorithm>
#include <cmath>

#include "optimizer/search_debug.hpp"

namespace kavro::search {

namespace {

// Returns true when the search is already done.
bool begin(LinesearchState& s) {
  const double initial = s.alfa;
  s.first = false;
  s.done = false;
  s.searchResult = SearchResult::kNotDone;
  s.numf = 0;
  s.alfbst = s.fbest = 0.0;
  s.gbest = s.g0;
  s.alfaw = s.fw = s.gw = s.alfav = s.fv = 0.0;
  s.haveW = s.haveV = false;
  s.braktd = s.closef = s.imprvd = s.found = s.quitI = s.quitFZ = s.quitS = false;
  s.extrap = true;
  s.crampd = s.alfmax <= s.tolabs;
  s.tolmax = s.tolabs + s.tolrel * s.alfmax;
  s.tol = s.tolabs;
  s.a = 0.0;
  s.b = s.alfmax + s.tolmax;
  s.factor = 5.0;
  s.nsamea = s.nsameb = 0;
  // Written so that a NaN slope or maximum step ends the search here too.
  if (!(s.g0 < 0.0) || !(s.alfmax > s.toltny)) {
    s.done = true;
    s.searchResult = SearchResult::kUphill;
    return true;
  }
  placeTrial(s, initial > 0.0 && std::isfinite(initial) ? initial : s.alfmax);
  return false;
}

}  // namespace

bool firstCall(LinesearchState& s, const ReportChannels* debug, bool withDerivatives) {
  if (!s.first) return false;
  begin(s);
  if (debug) {
    printFirstCall(*debug, s);
    printState(*debug, s, withDerivatives);
    printEnd(*debug);
  }
  return true;
}

bool concludeCall(LinesearchState& s, const ReportChannels* debug, bool withDerivatives) {
  if (debug) printState(*debug, s, withDerivatives);
  if (s.done) s.searchResult = resultCode(s);
  return s.done;
}

void countTrial(LinesearchState& s, const ReportChannels* debug, bool withDerivatives) {
  if (debug) printTrial(*debug, s, withDerivatives);
  ++s.numf;
  ++s.nsamea;
  ++s.nsameb;
  if (s.extrap) {
    s.tolmax = s.tolabs + s.tolrel * s.alfmax;
    s.b = s.alfmax + s.tolmax - s.alfbst;
  }
}

void setEnd(LinesearchState& s, double at, bool upper) {
  if (upper) {
    s.b = at;
    s.nsameb = 0;
    s.extrap = false;
  } else {
    s.a = at;
    s.nsamea = 0;
  }
}

void testCollapse(LinesearchState& s) {
  s.tol = s.tolabs + s.tolrel * s.alfbst;
  s.quitI = false;
  // A new trial needs tol from the best point and from the end on its side. With slopes the
  // best point is an end of the interval and this is b - a <= 2 tol.
  if (std::max(s.b, -s.a) > 2.0 * s.tol) return;
  if (s.imprvd) {
    s.quitI = true;
    return;
  }
  // No better point yet: look closer to 0 unless nothing there can be told apart.
  s.tolabs = 0.1 * s.tol;
  s.tol = s.tolabs + s.tolrel * s.alfbst;
  s.quitI = std::fabs(s.fw) <= s.epsaf || s.tolabs <= s.toltny;
}

void pullFitTowardsStuckEnd(LinesearchState& s, Fit& fit) {
  if (s.nsamea < 3 && s.nsameb < 3) {
    s.factor = 1.0;
    return;
  }
  s.factor *= 0.2;
  if (!fit.have) return;
  const double end = s.nsamea >= 3 ? s.a : s.b;
  fit.step = end + (fit.step - end) * s.factor;
}

bool takeFit(const LinesearchState& s, Fit& fit, double fallback) {
  if (!fit.have || !std::isfinite(fit.step)) return false;
  if (std::fabs(fit.step) < s.tol) fit.step = 0.0;
  if (fit.step == 0.0) return true;
  if ((fit.step > 0.0) == (fallback > 0.0)) return std::fabs(fit.step) <= std::fabs(fallback);
  const double otherSide = fit.step > 0.0 ? s.b : -s.a;
  return std::fabs(fit.step) <= 0.5 * otherSide;
}

double geometricStep(double d, double width) {
  if (d < width) return 0.5 * std::sqrt(d) * std::sqrt(width);
  return 5.0 * width * (width / d + 0.1) / 11.0;
}

void placeTrial(LinesearchState& s, double step) {
  if (s.extrap && s.alfbst + step >= s.alfmax - s.tolmax) {
    s.alfa = s.alfmax;
    s.extrap = false;
    return;
  }
  // Also catches a NaN step.
  const bool inside = step > s.a + s.tol && step < s.b - s.tol && std::fabs(step) >= s.tol;
  if (!inside) step = s.a + s.b > 0.0 ? s.tol : -s.tol;
  s.alfa = std::min(s.alfbst + step, s.alfmax);
  if (!(s.alfa > 0.0)) s.alfa = std::min(s.tol, s.alfmax);
}

SearchResult resultCode(const LinesearchState& s) {
  if (s.found) return s.alfbst < s.alfmax ? SearchResult::kCurvature : SearchResult::kCurvatureAtMax;
  if (s.quitS) return SearchResult::kStepTooSmall;
  if (s.imprvd) return SearchResult::kBetterPoint;
  if (s.numf >= s.maxf) return SearchResult::kTooManyFunctions;
  if (s.crampd) return SearchResult::kMaxStepTooSmall;
  return SearchResult::kNoMinimizer;
}

}  // namespace kavro::search
