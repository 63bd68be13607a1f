#include "link/call_solver.hpp"

#include "driver/optimizer_impl.hpp"
#include "driver/run_files.hpp"
#include "link/host_functions.hpp"
#include "link/log_callback.hpp"
#include "link/model_transfer.hpp"
#include "link/solution_return.hpp"

namespace kavro::link {

namespace {

// Files of the run that would overwrite each other are an IO error before the solve.
bool refuseFileClashes(LinkContext& ctx) {
  Optimizer::Impl& s = internalsOf(*ctx.optimizer);
  const std::vector<FileClash> clashes = runFileClashes(s.params, s.units);
  if (clashes.empty()) return false;
  raiseLinkError(ctx, kIoError, "%s", clashes.front().text.c_str());
  return true;
}

// Files that could not be written leave the solution as it is; each is a warning in the log.
void warnAboutFailedOutputs(LinkContext& ctx) {
  UnitTable& units = internalsOf(*ctx.optimizer).units;
  units.flushAll();
  for (const UnitFailure& f : units.failures()) logWarning(ctx, "KAVRO could not write %s", f.text.c_str());
}

// The host's single run is what its callers rely on, so the host's second derivatives (and
// with them the automatic "Hessian option") come with the solve strategy or with a "Hessian
// option" the user set.
bool secondDerivativesWanted(const LinkContext& ctx) {
  return ctx.userHessianOption || internalsOf(*ctx.optimizer).params.solveStrategy == kStrategySolve;
}

}  // namespace

void callSolver(LinkContext& ctx) {
  // A failed set-up may have left the host half bound or the options half applied.
  if (!ctx.setUpDone || !ctx.optimizer || !ctx.model || !ctx.env) {
    raiseLinkError(ctx, kError, "The solver was called without a successful kavReadyAPI.");
    return;
  }
  TransferredModel model;
  if (!transferModel(ctx, model) || !sendModelOptions(ctx) || refuseFileClashes(ctx)) return;
  ctx.evaluationErrors = 0;
  HostFunctions functions(ctx, model.problem.n, model.hostRows, secondDerivativesWanted(ctx));
  ctx.majorLines = ctx.minorLines = 0;
  SolveOptions options;
  options.start = model.start;
  options.workLength = ctx.workWords;
  options.automaticStorage = ctx.automaticWorkSpace;
  options.progress = [&ctx](const IterationLogEntry& entry) { return logIteration(ctx, entry); };
  if (model.nonlinear) options.functions = &functions;
  options.nonlinearEntries = ctx.qmo().qmoNLN(ctx.model);
  const SolveResult result = ctx.optimizer->solve(model.problem, model.state, options);
  returnSolution(ctx, model, result);
  warnAboutFailedOutputs(ctx);
}

}  // namespace kavro::link
