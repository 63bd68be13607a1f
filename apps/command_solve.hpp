#pragma once
// One solve as the kavro command makes it, for MPS and .nl problems alike: the command's
// iteration limit, work storage sized from the problem unless "Workspace (total)" is given, and
// one more attempt with the least storage the problem needs when that was too small.

#include <cstdint>

#include "divergence_watch.hpp"
#include "kavro/solver.hpp"
#include "progress.hpp"

namespace kavro::app {

// nonlinearEntries: the variables occurring nonlinearly, summed over the functions (they size
// the work storage of a nonlinear problem). With a watch, the run stops (exit 18) once the watch
// finds it has run away.
SolveResult solveProblem(Optimizer& opt, const Problem& problem, ProblemState& state, Progress& progress,
                         NonlinearFunctions* functions = nullptr, int64_t nonlinearEntries = 0,
                         DivergenceWatch* watch = nullptr);

}  // namespace kavro::app
