#include "link/call_solver.hpp"

#include "link/host_functions.hpp"
#include "link/log_callback.hpp"
#include "link/model_transfer.hpp"
#include "link/solution_return.hpp"

namespace kavro::link {

void callSolver(LinkContext& ctx) {
  // A failed set-up may have left the host half bound or the options half applied.
  if (!ctx.setUpDone || !ctx.optimizer || !ctx.model || !ctx.env) {
    raiseLinkError(ctx, kError, "The solver was called without a successful kavReadyAPI.");
    return;
  }
  TransferredModel model;
  if (!transferModel(ctx, model) || !sendModelOptions(ctx)) return;
  ctx.evaluationErrors = 0;
  HostFunctions functions(ctx, model.problem.n);
  ctx.majorLines = ctx.minorLines = 0;
  SolveOptions options;
  options.start = model.start;
  options.workLength = ctx.workWords;
  options.automaticStorage = ctx.automaticWorkSpace;
  options.controlWord = 1;
  options.progress = [&ctx](const IterationLogEntry& entry) { return logIteration(ctx, entry); };
  if (model.nonlinear) options.functions = &functions;
  const SolveResult result = ctx.optimizer->solve(model.problem, model.state, options);
  returnSolution(ctx, model, result);
}

}  // namespace kavro::link
