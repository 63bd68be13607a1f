// Step selection with function values and slopes: the best point always sits at one end of the
// interval of uncertainty (a == 0 or b == 0), the next trial comes from a cubic (or, when the
// values cannot be told apart, a secant on the slopes) through the best and the w point, and
// falls back on extrapolation, geometric bisection of a bracket or plain bisection.

#include <cmath>

#include "optimizer/search_debug.hpp"
#include "optimizer/search_safeguards.hpp"
#include "optimizer/search_state.hpp"

namespace kavro {

namespace {

bool oppositeSigns(double x, double y) { return (x < 0.0 && y > 0.0) || (x > 0.0 && y < 0.0); }

// Judges the trial just evaluated and moves the best point, the w point and the interval.
void recordTrial(LinesearchState& s) {
  const double step = s.alfa - s.alfbst;
  s.closef = std::fabs(s.ftry - s.fbest) <= s.epsaf;
  const bool better = s.closef ? std::fabs(s.gtry) <= std::fabs(s.gbest) : s.ftry < s.fbest;
  if (better) {
    s.alfaw = s.alfbst;
    s.fw = s.fbest;
    s.gw = s.gbest;
    s.haveW = true;
    s.alfbst = s.alfa;
    s.fbest = s.ftry;
    s.gbest = s.gtry;
    s.a -= step;
    s.b -= step;
    s.imprvd = true;
    search::setEnd(s, 0.0, s.gtry > 0.0);  // above it when a minimizer lies below
  } else {
    search::setEnd(s, step, step > 0.0);
    if (!s.haveW || s.ftry < s.fw || !s.braktd) {
      s.alfaw = s.alfa;
      s.fw = s.ftry;
      s.gw = s.gtry;
      s.haveW = true;
    }
  }
  s.braktd = oppositeSigns(s.gbest, s.gw);
}

// Minimizer of the cubic with values and slopes fbest, gbest at 0 and fw, gw at xw.
search::Fit cubicStep(const LinesearchState& s, double xw) {
  const double z = 3.0 * (s.fbest - s.fw) / xw + s.gw + s.gbest;
  const double u = std::sqrt(std::fabs(s.gbest)) * std::sqrt(std::fabs(s.gw));
  double root;  // sqrt(z^2 - gbest gw), formed without squaring
  if (oppositeSigns(s.gbest, s.gw)) {
    root = std::hypot(z, u);
  } else {
    if (std::fabs(z) < u) return {};
    root = std::sqrt(std::fabs(z) - u) * std::sqrt(std::fabs(z) + u);
  }
  if (xw < 0.0) root = -root;
  const double numerator = z + root - s.gbest;
  const double denominator = s.gw - s.gbest + 2.0 * root;
  const double step = xw * (numerator / denominator);
  if (!std::isfinite(step)) return {};
  return {true, step};
}

// Zero of the secant through the slopes at 0 and xw.
search::Fit secantStep(const LinesearchState& s, double xw) {
  const double step = xw * (s.gbest / (s.gbest - s.gw));
  if (!std::isfinite(step)) return {};
  return {true, step};
}

void chooseNextTrial(LinesearchState& s, const ReportChannels* debug) {
  const double xw = s.alfaw - s.alfbst;
  search::Fit fit = s.closef ? secantStep(s, xw) : cubicStep(s, xw);
  if (debug) search::printNote(*debug, s.closef ? "Parabola." : "Cubic.");
  const double towardsInterior = s.a + s.b > 0.0 ? 1.0 : -1.0;
  double fallback;
  if (s.extrap) {
    fallback = -xw * s.factor;
  } else {
    search::pullFitTowardsStuckEnd(s, fit);
    if (s.braktd) {
      fallback = towardsInterior * search::geometricStep(std::fabs(xw), s.b - s.a);
    } else {
      fallback = 0.5 * (s.a + s.b);
    }
  }
  double step = fallback;
  if (search::takeFit(s, fit, fallback)) {
    step = fit.step;
    if (debug) search::printNote(*debug, "Polynomial fit accepted.  xtry", s.alfbst + step);
  } else if (s.extrap) {
    if (s.alfbst + step < s.alfmax) s.factor *= 5.0;
  } else if (debug) {
    if (s.braktd) {
      search::printNote(*debug, "Geo. bisection. xtry,daux,dtry", s.alfbst + step, std::fabs(xw), s.b - s.a);
    } else {
      search::printNote(*debug, "Bisection.              xmidpt", s.alfbst + step);
    }
  }
  search::placeTrial(s, step);
}

}  // namespace

void searchWithDerivatives(LinesearchState& s, const ReportChannels* debug) {
  if (search::firstCall(s, debug, true)) return;
  search::countTrial(s, debug, true);
  recordTrial(s);
  s.found = s.imprvd && std::fabs(s.gbest) <= s.targtg;
  search::testCollapse(s);
  s.done = s.quitI || s.numf >= s.maxf || s.found;
  if (!search::concludeCall(s, debug, true)) chooseNextTrial(s, debug);
  if (debug) search::printEnd(*debug);
}

}  // namespace kavro
