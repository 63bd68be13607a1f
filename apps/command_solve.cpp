#include "command_solve.hpp"

#include <algorithm>

#include "driver/optimizer_impl.hpp"
#include "driver/work_estimate.hpp"

namespace kavro::app {

namespace {

// The library's default iteration limit (3 x rows) suits a caller that restarts often; a user
// of the command wants the problem solved (degenerate problems can need many times more simplex
// iterations than rows: dfl001 takes 2.1 million with 18,301 rows and columns), so without an
// "Iterations limit" option the command allows 10,000,000 iterations, as the host library does,
// or 10 x (rows + columns) when that is more. Ctrl-C still ends a run early with its report.
void setCommandIterationLimit(Parameters& p, const Problem& problem) {
  if (p.iterationLimit != kUndefinedInt) return;
  const int64_t limit = std::max<int64_t>(10000000, 10 * (static_cast<int64_t>(problem.m) + problem.n));
  p.iterationLimit = static_cast<int32_t>(std::min<int64_t>(limit, 99999999));
}

}  // namespace

SolveResult solveProblem(Optimizer& opt, const Problem& problem, ProblemState& state, Progress& progress,
                         NonlinearFunctions* functions, int64_t nonlinearEntries, DivergenceWatch* watch) {
  setCommandIterationLimit(opt.impl().params, problem);
  SolveOptions options;
  // Without "Workspace (total)" the storage is the solver's to size, and to grow when the
  // basis factors need more; a length the user gave is a limit.
  const int64_t given = opt.impl().params.workspaceTotal;
  options.automaticStorage = given <= 0;
  options.workLength =
      given > 0 ? given : estimateWorkWords(problem.m, problem.n, problem.nElements(), nonlinearEntries);
  options.progress = progress.callback();
  if (watch) {
    options.progress = [watch, shown = options.progress](const IterationLogEntry& e) {
      return watch->diverged(e) ? 1 : shown(e);
    };
  }
  options.functions = functions;
  const ProblemState start = state;
  SolveResult r = opt.solve(problem, state, options);
  if (r.exitCode == kWorkspaceTooSmall) {
    // Once more with the least storage the problem needs.
    state = start;
    options.workLength = r.minWorkWords;
    r = opt.solve(problem, state, options);
  }
  // The solve records the length it used; the next SPECS block must not take that for a
  // length the user gave.
  opt.impl().params.workspaceTotal = given;
  progress.done();
  return r;
}

}  // namespace kavro::app
