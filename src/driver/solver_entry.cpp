#include "driver/solver_entry.hpp"

#include <algorithm>
#include <cmath>

#include "driver/problem_check.hpp"
#include "driver/run_context.hpp"
#include "driver/run_files.hpp"
#include "driver/work_estimate.hpp"

namespace kavro {

namespace {

void storeProblemSizes(Parameters& p, const Problem& prob, int64_t workLength) {
  p.rowLimit = prob.m;
  p.columnLimit = prob.n;
  p.elementsLimit = prob.nElements();
  p.nonlinearConstraints = prob.nNonlinCons;
  p.nonlinearObjectiveVars = prob.nNonlinObjVars;
  p.nonlinearJacobianVars = prob.nNonlinJacVars;
  p.workspaceTotal = workLength;
}

// The working copy keeps the caller's problem untouched; IEEE infinities become the optimizer's
// infinite bound so that no arithmetic on bounds can produce NaN.
Problem workingCopy(const Problem& prob, double infBound) {
  Problem w = prob;
  for (double& v : w.lower)
    if (v < -infBound) v = -infBound;
  for (double& v : w.upper)
    if (v > infBound) v = infBound;
  return w;
}

// The basis file a cold start reads is opened afresh by each run: an earlier run may have replaced
// the file since. Only that one is touched: another basis unit that is set may be the SPECS
// file, which must not be rewound.
void refreshBasisInput(const Parameters& p, UnitTable& units) {
  const int32_t unit = p.oldBasisFile > 0 ? p.oldBasisFile : p.insertFile > 0 ? p.insertFile : p.loadFile;
  if (unit > 0 && unit != p.cardReader) units.closeInput(unit);
}

SolveResult resultOf(const RunContext& ctx) {
  SolveResult r;
  r.exitCode = ctx.exitCode;
  r.minWorkWords = ctx.layout.minWorkWords;
  r.ninf = ctx.ninf;
  r.sinf = ctx.sinf;
  r.objValue = ctx.objValue;
  r.majorIterations = ctx.majorIterations;
  r.minorIterations = ctx.minorIterations;
  r.nonlinearStatus = ctx.nonlinearStatus;
  r.absoluteViolation = ctx.absoluteViolation;
  r.relativeViolation = ctx.relativeViolation;
  r.piNorm = ctx.piNorm;
  r.maxPrimalInfeasVar = ctx.maxPrimalInfeasVar;
  r.maxDualInfeasVar = ctx.maxDualInfeasVar;
  r.certificate = ctx.certificate;
  return r;
}

bool refuseInvalidData(const Problem& problem, const ProblemState& state, const SolveOptions& options,
                       const ReportChannels& out) {
  const std::vector<std::string> faults = checkProblemData(problem, state, options.functions != nullptr);
  if (faults.empty()) return false;
  for (const std::string& f : faults) out.both(" XXX  Invalid problem data: %s", f.c_str());
  out.both("%s", " EXIT -- the problem data are not valid");
  return true;
}

// With automatic storage the work length is at least the caller's hint, the least length the
// layout accepts, and what gives the factors room for six times the densest basis.
int64_t automaticWorkLength(const Parameters& p, const Problem& prob, int32_t nJacElements, int64_t hint) {
  const WorkLayout w = computeWorkLayout(p, prob.m, prob.n, prob.nElements(), nJacElements, 0);
  const int64_t elements = std::max(w.minFactorElements, 6 * densestBasisEntries(prob.a, prob.m) + prob.nb() + 10000) +
                           1;
  const int64_t nwordh = p.machine.nwordh;
  const int64_t words = w.wordsBeforeFactors + 2 + (elements * (nwordh + 2) + nwordh - 1) / nwordh;
  return std::max({hint, w.minWorkWords, words});
}

}  // namespace

int32_t countJacobianElements(const Problem& prob) {
  if (prob.nNonlinCons < 1 || prob.nNonlinJacVars < 1) return 0;
  int32_t count = 0;
  for (int32_t j = 0; j < prob.nNonlinJacVars; ++j)
    for (int32_t k = prob.a.colStart[j]; k < prob.a.colStart[j + 1]; ++k)
      if (prob.a.row[k] < prob.nNonlinCons) ++count;
  return count;
}

SolveResult solverEntry(Parameters& params, UnitTable& units, Timers& timers, const Problem& problem,
                        ProblemState& state, const SolveOptions& options) {
  RunContext ctx(params, units, timers, options, state);
  ctx.out = ReportChannels{&units, params.printFile, params.summaryFile};
  if (refuseFileClashes(params, units, ctx.out)) {
    ctx.exitCode = kFileClash;
    units.flushAll();
    return resultOf(ctx);
  }
  if (refuseInvalidData(problem, state, options, ctx.out)) {
    ctx.exitCode = kInvalidProblemData;
    units.flushAll();
    return resultOf(ctx);
  }

  timers.setEnabled(params.timingLevel > 0);
  timers.operate(0, 0, ctx.out);
  storeProblemSizes(params, problem, options.workLength);
  // Exact second derivatives for large subspaces wherever the functions offer them.
  if (params.hessianOption == kUndefinedInt)
    params.hessianOption = options.functions && options.functions->hasSecondDerivatives() ? kAutomaticHessian
                                                                                          : kQuasiNewtonHessian;
  setParameters(params, 2, ctx.out);
  // Completion may have changed the units the reports go to.
  ctx.out = ReportChannels{&units, params.printFile, params.summaryFile};

  ctx.nJacElements = countJacobianElements(problem);
  if (problem.nNonlinCons >= 1 && ctx.nJacElements != problem.nNonlinCons * problem.nNonlinJacVars) params.jacobian = 2;

  if (options.automaticStorage)
    params.workspaceTotal = automaticWorkLength(params, problem, ctx.nJacElements, options.workLength);
  ctx.layout = computeWorkLayout(params, problem.m, problem.n, problem.nElements(), ctx.nJacElements,
                                 params.workspaceTotal);
  if (ctx.layout.minWorkWords > params.workspaceTotal) {
    ctx.exitCode = kWorkspaceTooSmall;
    return resultOf(ctx);
  }

  refreshBasisInput(params, units);
  setParameters(params, 3, ctx.out);
  ctx.out.print(" Nonzeros allowed for in LU factors %12lld", static_cast<long long>(ctx.layout.factorElementsAllowed));

  ctx.prob = workingCopy(problem, params.machine.infBound);
  params.problemName = problem.names[0];
  ctx.start.text = options.start;
  runDriver(ctx);

  timers.operate(0, 2, ctx.out);
  units.flushAll();
  return resultOf(ctx);
}

}  // namespace kavro
