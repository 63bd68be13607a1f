#pragma once
// The solver entry and the run driver it calls.

#include "kavro/problem.hpp"
#include "kavro/solver.hpp"

namespace kavro {

struct Parameters;
class UnitTable;
class Timers;
struct RunContext;

// Checks storage, completes and lists the parameters, opens the units and runs the driver.
SolveResult solverEntry(Parameters& params, UnitTable& units, Timers& timers, const Problem& problem,
                        ProblemState& state, const SolveOptions& options);

// The run driver: start mode, partial-price sizes, statistics, initial basis, the cycles of
// optimization and solution output. Leaves its outcome in ctx.
void runDriver(RunContext& ctx);

// Number of Jacobian elements: entries of the first nNonlinJacVars columns in the first
// nNonlinCons rows.
int32_t countJacobianElements(const Problem& prob);

}  // namespace kavro
