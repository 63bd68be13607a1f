// Step selection with function values only. Once a better point than alfa = 0 is known it lies
// inside the interval of uncertainty, whose ends are worse points (or, above, the free end near
// alfmax). Besides the best point the search keeps two more points, w (the nearer) and v, for
// parabolic fits: while only two points are known, one of them alfa = 0, a parabola through
// them with the slope g0 at 0; afterwards one through the best, the w and the v point, which
// are the ends of the interval once the best point is bracketed.

#include <cmath>
#include <utility>

#include "optimizer/search_debug.hpp"
#include "optimizer/search_safeguards.hpp"
#include "optimizer/search_state.hpp"

namespace kavro {

namespace {

bool onSide(double x, double step) { return (x > 0.0) == (step > 0.0); }

void setW(LinesearchState& s, double alfa, double f) {
  s.alfaw = alfa;
  s.fw = f;
  s.haveW = true;
}

void setV(LinesearchState& s, double alfa, double f) {
  s.alfav = alfa;
  s.fv = f;
  s.haveV = true;
}

// Keeps w the nearer of the two points to the best point.
void orderWV(LinesearchState& s) {
  if (s.haveV && std::fabs(s.alfav - s.alfbst) < std::fabs(s.alfaw - s.alfbst)) {
    std::swap(s.alfaw, s.alfav);
    std::swap(s.fw, s.fv);
  }
}

// The w and v points are the two ends of the interval once a better point is bracketed, and the
// two nearest points on the one side known so far otherwise. A better trial makes the old best
// point an end and keeps the point beyond the trial; a worse trial replaces the point on its side.
void updateWV(LinesearchState& s, bool better, double oldBest, double oldFbest) {
  const double step = s.alfa - oldBest;
  const bool wOnSide = s.haveW && onSide(s.alfaw - oldBest, step);
  const bool vOnSide = s.haveV && onSide(s.alfav - oldBest, step);
  if (better) {
    if (s.haveW) {
      const bool keepV = !wOnSide && vOnSide;
      setV(s, keepV ? s.alfav : s.alfaw, keepV ? s.fv : s.fw);
    }
    setW(s, oldBest, oldFbest);
  } else if (wOnSide) {
    if (vOnSide || !s.haveV) setV(s, s.alfaw, s.fw);
    setW(s, s.alfa, s.ftry);
  } else if (s.haveW) {
    setV(s, s.alfa, s.ftry);
  } else {
    setW(s, s.alfa, s.ftry);
  }
  orderWV(s);
}

// Judges the trial just evaluated and moves the best point, the w and v points and the interval.
void recordTrial(LinesearchState& s) {
  const double step = s.alfa - s.alfbst;
  const double oldBest = s.alfbst, oldFbest = s.fbest;
  s.closef = std::fabs(s.ftry - s.fbest) <= s.epsaf;
  // In a cramped search a trial that is not better by a margin above the noise ends it.
  s.quitFZ = s.crampd && !(s.ftry < s.fbest - s.epsaf);
  const bool better = s.ftry < s.fbest;
  if (better) {
    s.alfbst = s.alfa;
    s.fbest = s.ftry;
    s.a -= step;
    s.b -= step;
    s.imprvd = true;
    // The old best point is worse, so it bounds the interval on its side.
    search::setEnd(s, -step, step < 0.0);
  } else {
    search::setEnd(s, step, step > 0.0);
  }
  updateWV(s, better, oldBest, oldFbest);
  s.braktd = s.imprvd && s.haveV && !onSide(s.alfaw - s.alfbst, s.alfav - s.alfbst);
}

// Minimizer of the parabola q(t) = fbest + c1 t + c2 t^2 when c2 > 0.
search::Fit parabolaMinimizer(double c1, double c2) {
  if (!(c2 > 0.0)) return {};
  const double step = -c1 / (2.0 * c2);
  if (!std::isfinite(step)) return {};
  return {true, step};
}

// Through the best point and the w point, one of them alfa = 0 with its slope g0.
search::Fit twoPointFit(const LinesearchState& s, double xw) {
  if (!s.imprvd) {  // the best point is alfa = 0
    const double c2 = (s.fw - s.fbest - s.g0 * xw) / (xw * xw);
    return parabolaMinimizer(s.g0, c2);
  }
  const double c2 = (s.g0 * xw - (s.fw - s.fbest)) / (xw * xw);
  return parabolaMinimizer(s.g0 - 2.0 * c2 * xw, c2);
}

// Through the best point, the w point at xw and the v point at xv (divided differences).
search::Fit threePointFit(const LinesearchState& s, double xw, double xv) {
  const double dw = (s.fw - s.fbest) / xw;
  const double dv = (s.fv - s.fbest) / xv;
  const double c2 = (dw - dv) / (xw - xv);
  return parabolaMinimizer(dw - c2 * xw, c2);
}

// The parabola through the points known so far, with the debug label of its kind.
search::Fit fitParabola(const LinesearchState& s, const char*& label) {
  const double xw = s.alfaw - s.alfbst;
  label = nullptr;
  if (s.haveV && s.imprvd) {
    label = "Parabolic fit,  three points.";
    return threePointFit(s, xw, s.alfav - s.alfbst);
  }
  if (s.haveW && (!s.imprvd || s.alfaw == 0.0)) {
    label = "Parabolic fit,    two points.";
    return twoPointFit(s, xw);
  }
  return {};
}

// After an improvement at an end of the interval that leaves no room for a trial (such as
// alfmax), a parabola that has no minimizer, or has it beyond that end, means the function
// still falls there: the best point is as good as the search can do.
bool fitBeyondClosedEnd(const LinesearchState& s, const search::Fit& fit) {
  if (!s.imprvd) return false;
  const bool upperClosed = s.b <= 2.0 * s.tol, lowerClosed = -s.a <= 2.0 * s.tol;
  if (!fit.have) return upperClosed || lowerClosed;
  if (fit.step > 0.0) return upperClosed && fit.step > s.b;
  return lowerClosed && fit.step < s.a;
}

void chooseNextTrial(LinesearchState& s, search::Fit fit, const char* fitLabel, const ReportChannels* debug) {
  const double xw = s.alfaw - s.alfbst;
  if (debug && fitLabel) search::printNote(*debug, fitLabel);
  double fallback;
  bool taken;
  if (s.extrap) {
    fallback = -xw * s.factor;
    taken = search::takeFit(s, fit, fallback);
    if (!taken && s.alfbst + fallback < s.alfmax) s.factor *= 5.0;
  } else if (!s.imprvd) {
    // Stepping back towards alfa = 0: the fit keeps at most half of the step and cuts it to no
    // less than a tenth, since far from 0 a parabola through psi(0), g0 and one high value
    // tends to undershoot badly.
    search::pullFitTowardsStuckEnd(s, fit);
    fallback = 0.1 * s.b;
    taken = search::takeFit(s, fit, 0.5 * s.b) && fit.step >= fallback;
    if (!taken && debug) search::printNote(*debug, "Exponent reduced.  Trial point", s.alfbst + fallback);
  } else {
    // Into the longer part of the interval, which lies away from the (nearer) w point when the
    // best point is bracketed; a plain bisection of the one part otherwise.
    search::pullFitTowardsStuckEnd(s, fit);
    const double direction = s.a + s.b > 0.0 ? 1.0 : -1.0;
    const double width = direction > 0.0 ? s.b : -s.a;
    fallback = s.braktd ? direction * search::geometricStep(std::fabs(xw), width) : 0.5 * direction * width;
    taken = search::takeFit(s, fit, fallback);
    if (!taken && debug) {
      if (s.braktd) {
        search::printNote(*debug, "Geo. bisection. xtry,daux,dtry", s.alfbst + fallback, std::fabs(xw), width);
      } else {
        search::printNote(*debug, "Bisection.              xmidpt", s.alfbst + fallback);
      }
    }
  }
  if (taken && debug) search::printNote(*debug, "Polynomial fit accepted.  xtry", s.alfbst + fit.step);
  search::placeTrial(s, taken ? fit.step : fallback);
}

}  // namespace

void searchWithoutDerivatives(LinesearchState& s, const ReportChannels* debug) {
  if (search::firstCall(s, debug, false)) return;
  search::countTrial(s, debug, false);
  recordTrial(s);
  s.found = s.imprvd && s.haveW && std::fabs(s.fw - s.fbest) <= std::fabs(s.alfaw - s.alfbst) * s.targtg;
  search::testCollapse(s);
  const char* fitLabel = nullptr;
  const search::Fit fit = fitParabola(s, fitLabel);
  if (fitBeyondClosedEnd(s, fit)) s.quitI = true;
  s.quitS = s.alfbst + s.b <= s.alfsml;
  s.done = s.quitI || s.quitFZ || s.quitS || s.numf >= s.maxf || s.found;
  if (!search::concludeCall(s, debug, false)) chooseNextTrial(s, fit, fitLabel, debug);
  if (debug) search::printEnd(*debug);
}

}  // namespace kavro
