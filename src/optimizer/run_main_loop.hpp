#pragma once
// The main loop as the run driver calls it, once per cycle: everything the loop reads or changes
// is handed over in LoopInput, and what the driver needs afterwards comes back in LoopOutcome.
// The loop keeps nothing of its own between cycles.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "nonlinear/function_evaluator.hpp"
#include "nonlinear/major_iterations.hpp"
#include "setup/scaling.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// Where a run stands, as a saved basis and the reports show it.
struct LoopProgress {
  int32_t itn = 0;
  int32_t ninf = 0;
  double sinf = 0.0;
  double objValue = 0.0;  // the objective of the problem as given (its sense, its constant)
};

// Saves the basis as it stands: status kRunProceeding during the run, runEndStatus(exit) at its
// end (files/variable_names.hpp).
using BasisSave = std::function<void(const LoopProgress& progress, int32_t status)>;

struct LoopInput {
  Parameters& params;
  ReportChannels out;
  Problem& prob;                               // the working problem: scaled while scaling.applied
  ProblemState& state;                         // its states, values and multipliers, in the same units
  RunScaling& scaling;                         // the loop may drop the scaling (the unscaled optimality check)
  const std::vector<int32_t>& rowTypes;        // per row: RowType (setup/problem_statistics.hpp)
  const std::vector<int32_t>& superbasicList;  // the superbasics in state.hs, in order
  // Crash option 3 crashes the linear inequality rows once the equality rows are satisfied; the
  // loop clears this when it has done so.
  bool& crashInequalitiesPending;
  FunctionEvaluator* evaluator = nullptr;  // null without nonlinear functions
  MajorIterations* majors = nullptr;       // null without nonlinear constraints
  int32_t nJacElements = 0;
  int64_t factorElementsAllowed = 0;  // room for the basis factors
  bool automaticStorage = false;      // that room may grow
  const IterationCallback* progress = nullptr;
  BasisSave saveBasis;  // called when "New basis file" is set
};

// The violation of the true nonlinear constraints at a final point, on the unscaled problem.
struct TrueRowsViolation {
  bool withinRowTolerance = true;
  double absolute = 0.0;
  double relative = 0.0;  // relative to 1 + the largest Jacobian variable
};

struct LoopOutcome {
  ExitCode exitCode = kOptimal;
  int64_t majorIterations = 0;
  LoopProgress progress;  // at the end (its itn: the iterations of the cycle)
  double piNorm = 1.0;
  std::optional<TrueRowsViolation> trueRows;  // when the loop measured them
  std::vector<double> objectiveGradient;      // with a nonlinear objective: its gradient, user's units
  Certificate certificate;                    // of the returned point (kavro/solver.hpp)
};

LoopOutcome runMainLoop(const LoopInput& in);

}  // namespace kavro
