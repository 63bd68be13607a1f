#pragma once
// The linesearch m6srch: finds a step alfa in (0, alfmax] along a search direction p that
// lowers the objective enough (and, with derivatives, flattens its slope enough). It drives one
// of the two step-selection routines (search_state.hpp) and evaluates the functions through a
// LineFunction that the caller implements.

#include <cstdint>

#include "io/units.hpp"
#include "optimizer/search_state.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// The caller's view of the objective along the line.
class LineFunction {
 public:
  // Evaluates at x + alfa p: f is the full current objective there (the caller forms it: the
  // nonlinear and the linear objective with the sign of the sense, and any augmented-Lagrangian
  // terms); with wantGradient also gtp = g(x + alfa p)'p (differenced by the caller as needed).
  // Returns 0 when the point was evaluated, -1 when the functions are undefined there (the
  // search backs off), any other value to stop the search (passed up unchanged).
  virtual int evaluate(double alfa, bool wantGradient, double& f, double& gtp) = 0;

 protected:
  ~LineFunction() = default;
};

struct LinesearchSettings {
  double alfmax = 0.0;       // step to the nearest bound (the ratio test)
  double initialStep = 1.0;  // first trial
  double f0 = 0.0;           // f(x)
  double gtp0 = 0.0;         // g(x)'p
  double differenceInterval = 0.0;
  double functionPrecision = 0.0;
  double linesearchTolerance = 0.1;
  MachineConstants machine;
  double gnorm = 0.0;  // norm of the reduced gradient, for the reports
  double pNorm = 0.0;
  double xNorm = 0.0;
  // max_i |p_i| / (eps^0.8 (1 + |x_i|)) over the basic and superbasic positions: 1/t is the
  // step below which no variable moves by a meaningful amount.
  double tinyStepRatio = 0.0;
  bool derivatives = true;          // every gradient is available: slopes are used
  bool forwardDifferences = false;  // some gradients come from forward differences
  bool debug = false;               // print the debug output
  int32_t itn = 0;
  ReportChannels out;  // print file for the debug and summary lines
};

struct LinesearchResult {
  SearchResult searchResult = SearchResult::kNotDone;
  double alfa = 0.0;        // the accepted step: alfbst for results 1 to 7, else 0
  double alfmax = 0.0;      // the maximum step at the end (cut after undefined points)
  int32_t numf = 0;         // trial points of the last (restarted) search
  int32_t evaluations = 0;  // calls of evaluate, all searches and the final call included
  int evaluationCode = 0;   // the failing code of evaluate when searchResult is kEvaluationFailed
  // The caller's last evaluated point is x + alfa p, with its gradient, whenever alfa > 0.
  // When alfa == 0 and evaluations > 0 the caller restores its values at x itself.
};

// Searches along p. For results 1 to 7 the step is alfbst (possibly 0); when it is positive and
// the last evaluation was not there with a gradient (always so without derivatives), evaluate
// is called once more at it with wantGradient. An undefined point cuts alfmax to a tenth of
// that trial and restarts the search; a NaN or infinite value from evaluate counts as
// undefined. Prints the debug output when settings.debug, otherwise the summary line for a
// result of 7 or more.
LinesearchResult m6srch(const LinesearchSettings& settings, LineFunction& fn);

// The state of a new search with the quantities derived from the settings, for the given
// maximum and initial steps. m6srch starts every search with it.
LinesearchState startLinesearch(const LinesearchSettings& settings, double alfmax, double initialStep);

}  // namespace kavro
