#pragma once
// Steps of a run that the driver calls: the solution output, the nonlinear-constraint set-up,
// the final function calls, the cycle hook between cycles and the basis files.

#include <cstdint>

namespace kavro {

struct RunContext;
struct LoopProgress;

// Solution output after a cycle: stage 1 (infeasibility summary and files), stage 2 (listing).
void solutionOutput(RunContext& ctx, int stage);

// Set-up of the nonlinear constraints before the first and every later cycle.
void setupNonlinearConstraints(RunContext& ctx);

// Last calls of the user's functions at the final point; true when they ask to stop.
bool callFunctionsAtEnd(RunContext& ctx, int nstate);

// Called between cycles; true asks the driver to stop. This library has no model changes to
// make between cycles, so it never asks to stop.
bool matmod(RunContext& ctx, int ncycle);

// Starts a new page of the print file.
void pageHeading(const RunContext& ctx);

}  // namespace kavro

namespace kavro {

// Reads the first basis file that is set (Old basis, else Insert, else Load) into the state.
// Returns true when a file was read; sets ctx.exitCode 30 when an Old basis file does not fit.
bool loadBasisFile(RunContext& ctx);

// With nonlinear constraints: checks the caller's multipliers and takes them as the initial
// multiplier estimates.
void checkInitialMultipliers(RunContext& ctx);

}  // namespace kavro

namespace kavro {
// Saves the basis on the New basis file (and the Backup basis file while the run goes on), with
// the run's progress in its first line; status kRunProceeding, or runEndStatus(exit) at the end
// of a run.
void saveBasisFiles(RunContext& ctx, const LoopProgress& progress, int32_t status);
}  // namespace kavro
