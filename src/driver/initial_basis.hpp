#pragma once
// The initial basis: states and values for every variable before a cycle's optimization, and
// the check that makes any state vector usable.

namespace kavro {

struct RunContext;

// cycle 0: loads a basis file when the caller supplied no states and moves the nonlinear
// variables into their bounds. cycle >= 1: multipliers, objective-row multiplier, scaling and
// (once per run) the crash. May set ctx.exitCode when a basis file does not fit the problem.
void setupInitialBasis(RunContext& ctx, int cycle);

// Normalises the states, makes the objective slack basic and free, keeps at most m basic and
// "Superbasics limit" superbasic variables (with warnings), and puts every nonbasic variable
// on or inside its bounds.
void checkBasisCounts(RunContext& ctx);

}  // namespace kavro
