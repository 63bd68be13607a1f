// Steps of a run that only nonlinear problems need: the checks of the initial multipliers, the
// set-up of the nonlinear constraints and the final calls of the user's functions. Linear runs
// (the only ones the library accepts so far) pass through them unchanged; the cycle hook has no
// model changes to make between cycles.

#include "driver/run_context.hpp"
#include "driver/run_hooks.hpp"

namespace kavro {

// The caller's multipliers of the nonlinear rows become the first estimates (sign of the
// minimization, checked for size).
void checkInitialMultipliers(RunContext& ctx) {
  if (ctx.majors) ctx.majors->setInitialMultipliers(ctx.state.pi, ctx.params.objectiveSense >= 1 ? 1.0 : -1.0);
}

// The major iterations' state lives for the whole run: made once, used by every cycle.
void setupNonlinearConstraints(RunContext& ctx) {
  if (ctx.majors || !ctx.evaluator || ctx.prob.nNonlinCons <= 0) return;
  ctx.majors = std::make_unique<MajorIterations>(ctx.params, ctx.out, *ctx.evaluator, &ctx.options.progress, ctx.m(),
                                                 ctx.n());
}

// The final calls see the unscaled point (the run has unscaled it) with scaling off.
bool callFunctionsAtEnd(RunContext& ctx, int nstate) {
  if (!ctx.evaluator) return false;
  return ctx.evaluator->callAtEnd(ctx.state.x.data(), nstate - 2) != 0;
}

bool matmod(RunContext&, int) { return false; }

}  // namespace kavro
