#pragma once
// The solve strategy: one solve as every front end makes it, so that a problem solves as well
// through the host link, the C++ library or a model API as through the kavro command.
//
// "Solve strategy 0" (kSingleSolve) is the specified solve: one run of the solver entry with
// the options as they are. "Solve strategy 1" (kStrategySolve):
//
//   1. sizes the options the caller left unset from the problem's shape (the superbasics limit,
//      Hessian dimension and memory, multiple pricing, the iteration limits; steepest-edge
//      pricing for a linear program: strategy_settings.hpp), and storage the solver sizes
//      itself (automaticStorage) from the solver's estimate for that shape;
//   2. runs the solver entry once;
//   3. for a problem with nonlinear constraints whose run ended without a solution, runs it
//      again from the caller's starting point with a larger penalty or the all-slack basis
//      (strategy_repeats.hpp), announcing each repeat on the print and summary files:
//        " Solved again from the model's starting point with Penalty parameter 10 (the last
//          run ended with exit 1)"
//      Every run that a repeat may follow is watched for running away (divergence_watch.hpp)
//      and stopped early for the repeat (exit 18, then the line " The solve strategy stopped
//      the run at major iteration ..."); the last possible run is never stopped so.
//
// Rules:
//   - an option the caller set is never changed (a caller's iteration limit is shared among the
//     runs, run_budget.hpp);
//   - the caller's "Time limit", "Iterations limit" and "Major iterations limit" bound all runs
//     together; no repeat starts once one is used up, nor when the caller's progress callback
//     answers a kBetweenRuns entry with a stop (the host's resource limit and interrupts);
//   - the result is the last run's, with SolveResult::runs counting the runs; the state is the
//     last run's point;
//   - the strategy is "Solve strategy" when an option set it, else options.defaultStrategy; it is
//     written into the parameter block, so the parameter listing shows it.

#include "kavro/problem.hpp"
#include "kavro/solver.hpp"

namespace kavro {

struct Parameters;
class UnitTable;
class Timers;

// The solve of Optimizer::solve: the same arguments as solverEntry (solver_entry.hpp), which it
// calls once per run.
SolveResult solveWithStrategy(Parameters& params, UnitTable& units, Timers& timers, const Problem& problem,
                              ProblemState& state, const SolveOptions& options);

}  // namespace kavro
