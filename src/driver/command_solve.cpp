#include "driver/command_solve.hpp"

#include "driver/optimizer_impl.hpp"
#include "driver/strategy/strategy_settings.hpp"
#include "driver/work_estimate.hpp"

namespace kavro {

namespace {

// Without an "Iterations limit" option the command allows as many iterations as the solve
// strategy does (strategy_settings.hpp), MPS problems under the single solve included: a user of
// the command wants the problem solved. Ctrl-C still ends a run early with its report.
void setCommandIterationLimit(Parameters& p, const Problem& problem) {
  if (p.iterationLimit == kUndefinedInt) p.iterationLimit = strategyIterationLimit(problem.m, problem.n);
}

}  // namespace

SolveResult solveAsCommand(Optimizer& opt, const Problem& problem, ProblemState& state, const CommandSolve& how) {
  setCommandIterationLimit(internalsOf(opt).params, problem);
  SolveOptions options;
  // Without "Workspace (total)" the storage is the solver's to size, and to grow when the
  // basis factors need more; a length the user gave is a limit.
  const int64_t given = internalsOf(opt).params.workspaceTotal;
  options.automaticStorage = given <= 0;
  options.workLength = given > 0 ? given
                                 : estimateWorkWords(problem.m, problem.n, problem.nElements(), how.nonlinearEntries);
  options.progress = how.progress;
  options.functions = how.functions;
  options.curvature = how.curvature;
  options.defaultStrategy = how.defaultStrategy;
  options.nonlinearEntries = how.nonlinearEntries;
  const ProblemState start = state;
  const Parameters asGiven = internalsOf(opt).params;
  SolveResult r = opt.solve(problem, state, options);
  if (r.exitCode == kWorkspaceTooSmall) {
    // Once more with the least storage the problem needs, from the options as they were: the
    // attempt completed them, and the solve strategy must not take its completions for options
    // the user set.
    internalsOf(opt).params = asGiven;
    state = start;
    options.workLength = r.minWorkWords;
    r = opt.solve(problem, state, options);
  }
  // The solve records the length it used; the next SPECS block must not take that for a
  // length the user gave.
  internalsOf(opt).params.workspaceTotal = given;
  return r;
}

}  // namespace kavro
