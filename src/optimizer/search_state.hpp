#pragma once
// The two step-selection routines of the linesearch and the state they share. They work by
// reverse communication and evaluate nothing: the caller sets up the state, calls a routine,
// evaluates the shifted function at state.alfa when it is not done, stores the values in ftry
// (and gtry) and calls again, until done is set with searchResult.
//
// All steps are measured along the search direction from the current point; the function
// searched is the shifted objective psi(alfa) = f(x + alfa p) - f(x) - 1e-4 alfa g'p, whose
// value at 0 is 0 and whose slope there is g0 = 0.9999 g'p.
//
// searchResult: how the search ended (the numbers are those of the "Search exit" line).

#include <cstdint>

namespace kavro {

enum class SearchResult : int32_t {
  kEvaluationFailed = -1,  // (the linesearch's own result) an evaluation failed or asked to stop
  kNotDone = 0,
  kCurvature = 1,         // the curvature test holds at alfbst < alfmax
  kCurvatureAtMax = 2,    // it holds at alfbst = alfmax
  kBetterPoint = 3,       // a better point was found without the curvature test
  kMaxStepTooSmall = 4,   // no better point, and alfmax was at most the minimal spacing tolabs (crampd)
  kStepTooSmall = 5,      // (without derivatives) the interval lies below alfsml
  kNoMinimizer = 6,       // no better point
  kTooManyFunctions = 7,  // maxf trials without a better point
  kUphill = 8,            // an uphill direction, or alfmax <= toltny, found before any trial
};

struct ReportChannels;

struct LinesearchState {
  // ---- Set by the caller before the first call (startLinesearch fills them).
  double alfmax = 0.0;  // largest step allowed
  double alfa = 0.0;    // in: the initial trial on the first call; out: the next trial
  double g0 = 0.0;      // slope of psi at 0
  double targtg = 0.0;  // curvature test: |psi'| at the best point at most this
  double epsaf = 0.0;   // absolute precision of function values
  double tolrel = 0.0;  // relative spacing of trial points
  double tolabs = 0.0;  // absolute spacing of trial points (reduced when a search collapses)
  double toltny = 0.0;  // smallest meaningful step
  double alfsml = 0.0;  // smallest step with meaningful forward differences (0: none)
  int32_t maxf = 10;    // trial limit
  bool first = true;    // the next call is the first of a search

  // ---- Set by the caller after evaluating at alfa.
  double ftry = 0.0;  // psi(alfa)
  double gtry = 0.0;  // psi'(alfa) (with derivatives only)

  // ---- Results.
  bool done = false;
  SearchResult searchResult = SearchResult::kNotDone;
  int32_t numf = 0;     // trial points evaluated
  double alfbst = 0.0;  // best step so far, with its shifted value and slope
  double fbest = 0.0;
  double gbest = 0.0;

  // ---- Working state, shown by the debug output.
  double alfaw = 0.0, fw = 0.0, gw = 0.0;  // the second point kept for interpolation
  double alfav = 0.0, fv = 0.0;            // without derivatives: the third point
  double a = 0.0, b = 0.0;                 // interval of uncertainty, measured from alfbst
  double tol = 0.0;                        // tolabs + tolrel alfbst: least spacing of trials
  double tolmax = 0.0;                     // tolabs + tolrel alfmax
  double factor = 5.0;                     // extrapolation factor, later the fit-pull factor
  int32_t nsamea = 0, nsameb = 0;          // trials since a, respectively b, last moved
  bool haveW = false, haveV = false;
  bool braktd = false;  // a minimizer lies between the best point and the w point
  bool extrap = true;   // the upper end of the interval is not yet fixed by a trial
  bool closef = false;  // the last trial's value is within epsaf of the best value
  bool imprvd = false;  // a point better than alfa = 0 has been found
  bool found = false;   // the curvature test holds at the best point
  bool quitI = false;   // the interval has collapsed
  bool quitFZ = false;  // without derivatives: a cramped search made no clear progress
  bool quitS = false;   // without derivatives: the interval lies below alfsml
  bool crampd = false;  // alfmax <= tolabs: every trial lies within the minimal spacing of 0
};

// One call per trial point. debug (may be null) receives the state after every call.
void searchWithDerivatives(LinesearchState& s, const ReportChannels* debug);
void searchWithoutDerivatives(LinesearchState& s, const ReportChannels* debug);

}  // namespace kavro
