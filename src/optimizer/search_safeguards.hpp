#pragma once
// The parts of the two step-selection routines that do not depend on derivatives: the first
// call, the bookkeeping of each trial, the collapse test, the choice between a fitted step and
// a safeguarded fallback, and the placement of the next trial inside the interval.

#include "optimizer/search_state.hpp"

namespace kavro {
struct ReportChannels;
}

namespace kavro::search {

// Interpolated step measured from alfbst; have is false when the fit has no minimizer.
struct Fit {
  bool have = false;
  double step = 0.0;
};

// When s.first: result 8 when g0 >= 0 or alfmax <= toltny, else the interval, the flags and the
// first trial (the given alfa, safeguarded); the debug output of the call. Returns whether this
// was the first call.
bool firstCall(LinesearchState& s, const ReportChannels* debug, bool withDerivatives);

// Later calls, before the trial is judged: numf and the nsame counters advance, and while the
// upper end is free it follows tolabs and alfmax. Prints the trial.
void countTrial(LinesearchState& s, const ReportChannels* debug, bool withDerivatives);

// After the tests of a later call: prints the state and, when done, sets the result. Returns
// done.
bool concludeCall(LinesearchState& s, const ReportChannels* debug, bool withDerivatives);

// Makes the point at offset `at` from alfbst the upper end of the interval (which is then fixed
// by a trial) or the lower end, and restarts that end's nsame counter.
void setEnd(LinesearchState& s, double at, bool upper);

// tol for the new best point; when neither side of the best point leaves room for a trial
// (each at most 2 tol long) the search quits after an improvement, and otherwise shrinks tolabs
// tenfold and quits only when the w value cannot be told from psi(0) or tolabs has reached
// toltny.
void testCollapse(LinesearchState& s);

// Once the upper end is fixed: while neither end has stayed put for three trials the factor is
// 1; otherwise it shrinks fivefold and the fitted step is pulled towards the end that has not
// moved, so that end is approached faster.
void pullFitTowardsStuckEnd(LinesearchState& s, Fit& fit);

// Whether a fit is taken instead of the fallback step. A fit shorter than tol becomes 0 and is
// taken (the trial then lands tol from the best point); otherwise it is taken when it lies on
// the fallback's side no farther than the fallback, or on the other side within half of the
// interval there.
bool takeFit(const LinesearchState& s, Fit& fit, double fallback);

// Step of the geometric bisection of a bracket: d is the distance to the w point and width the
// length of the interval the step goes into.
double geometricStep(double d, double width);

// Sets alfa = alfbst + step with the safeguards: while the upper end is free a trial reaching
// alfmax - tolmax becomes a trial at alfmax (after which the upper end counts as fixed); a step
// within tol of an end of the interval or of the best point becomes tol towards the middle of
// the interval. The trial always lies in (0, alfmax].
void placeTrial(LinesearchState& s, double step);

// The result code of a finished search (see search_state.hpp).
SearchResult resultCode(const LinesearchState& s);

}  // namespace kavro::search
