// Steps of a run that only nonlinear problems need: the checks of the initial multipliers, the
// set-up of the nonlinear constraints and the final calls of the user's functions. Linear runs
// (the only ones the library accepts so far) pass through them unchanged; the cycle hook has no
// model changes to make between cycles.

#include "driver/run_context.hpp"
#include "driver/run_hooks.hpp"

namespace kavro {

void checkInitialMultipliers(RunContext&) {}

void setupNonlinearConstraints(RunContext&) {}

bool callFunctionsAtEnd(RunContext&, int) { return false; }

bool matmod(RunContext&, int) { return false; }

}  // namespace kavro
