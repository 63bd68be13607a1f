// The run driver: interprets the start mode, sizes partial pricing, prints the problem
// statistics, sets up the initial basis and runs the optimizer once per cycle, with the
// solution output after each cycle.

#include <algorithm>
#include <cctype>

#include "driver/initial_basis.hpp"
#include "driver/run_context.hpp"
#include "driver/run_hooks.hpp"
#include "driver/solver_entry.hpp"
#include "optimizer/run_main_loop.hpp"
#include "setup/problem_statistics.hpp"
#include "setup/scaling.hpp"

namespace kavro {

namespace {

bool containsLetter(const std::string& text, size_t from, char upper) {
  for (size_t i = from; i < text.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) == upper) return true;
  return false;
}

void printStartFlags(const RunContext& ctx) {
  const StartMode& s = ctx.start;
  ctx.out.print(" gotbas = %c    gotfac = %c    gothes = %c    gotscl = %c", s.gotbas ? 'T' : 'F', s.gotfac ? 'T' : 'F',
                s.gothes ? 'T' : 'F', s.gotscl ? 'T' : 'F');
}

// Start modes: Cold/Basis, Warm, Hot (with optional letters F, H, S from the fifth character).
void interpretStart(RunContext& ctx) {
  const Parameters& p = ctx.params;
  StartMode& s = ctx.start;
  std::string text = s.text;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  const char first = text.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  s.gotbas = s.gotfac = s.gothes = s.gotscl = false;
  s.kind = StartClass::kCold;
  if (first == 'C' || first == 'B') {
    s.gotbas = p.oldBasisFile > 0 || p.insertFile > 0 || p.loadFile > 0;
    ctx.state.ns = 0;
  } else if (first == 'W') {
    s.gotbas = true;
    s.kind = StartClass::kWarm;
  } else if (first == 'H') {
    s.gotbas = true;
    s.kind = StartClass::kHot;
    const bool all = text.size() <= 4;
    s.gotfac = all || containsLetter(text, 4, 'F');
    s.gothes = all || containsLetter(text, 4, 'H');
    s.gotscl = all || containsLetter(text, 4, 'S');
    printStartFlags(ctx);
  } else {
    ctx.out.both(" XXX Start parameter not recognized:  %s", s.text.c_str());
  }
}

// Partial pricing works on sections of about equal size; tiny sections are not worth it.
void sizePartialPricing(RunContext& ctx) {
  Parameters& p = ctx.params;
  const int32_t m = ctx.m(), n = ctx.n();
  int32_t sizeA = n / p.partialPrice, sizeI = m / p.partialPrice;
  if (sizeA < 10 && sizeI < 10) {
    const int32_t L = std::max({1, n, m});
    p.partialPrice = L / std::min(L, 10);
    sizeA = n / p.partialPrice;
    sizeI = m / p.partialPrice;
  }
  if (p.scaleOption == 1 && n == nonlinearVariables(p)) p.scaleOption = 0;
  ctx.out.print("%s", "");
  ctx.out.print(" Scale option %12d,    Partial price %12d", p.scaleOption, p.partialPrice);
  ctx.out.print(" Partial price section size (A) %12d", sizeA);
  ctx.out.print(" Partial price section size (I) %12d", sizeI);
  ctx.out.summary(" Scale option %12d,    Partial price %12d", p.scaleOption, p.partialPrice);
}

void printInitialBasisHeading(const RunContext& ctx) {
  ctx.out.print("%s", "");
  ctx.out.print("%s", " Initial basis");
  ctx.out.print("%s", " -------------");
  if (ctx.start.kind == StartClass::kCold) {
    if (!ctx.start.gotbas) ctx.out.print("%s", " No basis file supplied");
  } else {
    ctx.out.print(" start = %s", ctx.start.text.c_str());
  }
}

void printIterationsHeading(const RunContext& ctx) {
  pageHeading(ctx);
  ctx.out.print("%s", " Iterations");
  ctx.out.print("%s", " ----------");
}

// The main loop of one cycle, its outcome recorded in the run context. Returns its iterations.
int32_t runLoop(RunContext& ctx) {
  const Parameters& p = ctx.params;
  // The multiplier estimates of the nonlinear rows are scaled with the rows, once in a run.
  if (ctx.majors && !ctx.scaling.factors.empty() && p.scaleOption == 2 && ctx.majorIterations == 0)
    ctx.majors->scaleMultipliers(ctx.scaling.factors.data() + ctx.n());
  const LoopInput in{
      .params = ctx.params,
      .out = ctx.out,
      .prob = ctx.prob,
      .state = ctx.state,
      .scaling = ctx.scaling,
      .rowTypes = ctx.rowTypes,
      .superbasicList = ctx.superbasicList,
      .crashInequalitiesPending = ctx.crashInequalitiesPending,
      .evaluator = ctx.evaluator.get(),
      .majors = ctx.majors.get(),
      .nJacElements = ctx.nJacElements,
      .factorElementsAllowed = ctx.layout.factorElementsAllowed,
      .automaticStorage = ctx.options.automaticStorage,
      .progress = &ctx.options.progress,
      .saveBasis = [&ctx](const LoopProgress& progress, int32_t status) { saveBasisFiles(ctx, progress, status); }};
  const LoopOutcome o = runMainLoop(in);
  ctx.exitCode = o.exitCode;
  ctx.majorIterations += o.majorIterations;
  ctx.minorIterations += o.progress.itn;
  ctx.itn = o.progress.itn;
  ctx.ninf = o.progress.ninf;
  ctx.sinf = o.progress.sinf;
  ctx.objValue = o.progress.objValue;
  ctx.piNorm = o.piNorm;
  if (o.trueRows) {
    ctx.nonlinearStatus = o.trueRows->withinRowTolerance ? 1 : 2;
    ctx.absoluteViolation = o.trueRows->absolute;
    ctx.relativeViolation = o.trueRows->relative;
  }
  if (ctx.prob.nNonlinObjVars > 0) ctx.objectiveGradient = o.objectiveGradient;
  ctx.certificate = o.certificate;
  return o.progress.itn;
}

bool callMatmod(RunContext& ctx, int ncycle) {
  ctx.out.both(" matmod called with ncycle = %d", ncycle);
  return matmod(ctx, ncycle);
}

// Final function calls at a feasible point, with scaling switched off while they run.
bool finalFunctionCalls(RunContext& ctx) {
  const int32_t saved = ctx.params.scaleOption;
  ctx.params.scaleOption = 0;
  const bool stop = callFunctionsAtEnd(ctx, 2 + ctx.exitCode);
  ctx.params.scaleOption = saved;
  return stop;
}

}  // namespace

void pageHeading(const RunContext& ctx) { ctx.out.print("%s", ""); }

void runDriver(RunContext& ctx) {
  Parameters& p = ctx.params;
  ctx.exitCode = kOptimal;
  ctx.majorIterations = ctx.minorIterations = 0;

  interpretStart(ctx);
  sizePartialPricing(ctx);
  // The evaluator reads the Jacobian's place and stored values before anything is scaled.
  if (ctx.options.functions && (ctx.prob.nNonlinObjVars > 0 || ctx.prob.nNonlinCons > 0))
    ctx.evaluator = std::make_unique<FunctionEvaluator>(p, ctx.out, &ctx.timers, ctx.options.functions,
                                                        NonlinearShape::fromProblem(ctx.prob));
  problemStatistics(1, ctx.prob, p, ctx.out, ctx.rowTypes);
  if (ctx.prob.nNonlinCons > 0) setupNonlinearConstraints(ctx);

  printInitialBasisHeading(ctx);
  setupInitialBasis(ctx, 0);
  if (ctx.exitCode != kOptimal) return;

  int cycle = 0;
  bool stageTwoDone = false;
  auto finish = [&]() {
    if (!stageTwoDone) {
      ctx.timers.operate(Timers::kSolutionOutput, 0, ctx.out);
      solutionOutput(ctx, 2);
      ctx.timers.operate(-Timers::kSolutionOutput, 0, ctx.out);
    }
  };
  if (p.cycleLimit >= 2 && callMatmod(ctx, 0)) return finish();
  if (p.cycleLimit <= 0) return finish();

  cycle = 1;
  ctx.exitCode = kOptimal;
  if (!ctx.start.gotbas) ctx.start.gotfac = ctx.start.gothes = false;
  for (;;) {
    if (ctx.prob.nNonlinCons > 0) setupNonlinearConstraints(ctx);
    if (cycle > 1) problemStatistics(2, ctx.prob, p, ctx.out, ctx.rowTypes);
    setupInitialBasis(ctx, cycle);
    if (ctx.exitCode != kOptimal) return;
    checkBasisCounts(ctx);
    printIterationsHeading(ctx);

    ctx.timers.operate(Timers::kSolve, 0, ctx.out);
    const int32_t cycleIterations = runLoop(ctx);
    ctx.timers.operate(-Timers::kSolve, 0, ctx.out);
    // Everything after the optimizer sees the unscaled problem.
    unscaleProblem(ctx.scaling, ctx.prob, ctx.state, p.machine.infBound);
    // A basis file that does not fit, or a run that ended before its first iteration for want of
    // storage or usable factors, leaves nothing to report.
    if (ctx.exitCode >= kBasisFileMismatch || (ctx.exitCode >= kNoStorageForFactors && cycleIterations == 0)) return;

    ctx.timers.operate(Timers::kSolutionOutput, 0, ctx.out);
    solutionOutput(ctx, 1);
    stageTwoDone = false;
    if (cycle > p.cycleLimit - p.cyclePrint) {
      solutionOutput(ctx, 2);
      stageTwoDone = true;
    }
    ctx.timers.operate(-Timers::kSolutionOutput, 0, ctx.out);

    // The last calls are skipped only when a routine asked to stop: a run that ended at a point
    // where the functions are undefined still owes them their last calls at a feasible point.
    const bool userStopped = ctx.exitCode == kFunctionError && ctx.evaluator && ctx.evaluator->stopRequested();
    if (userStopped) return finish();
    if (ctx.ninf == 0 && finalFunctionCalls(ctx)) return finish();
    if (ctx.exitCode == kFunctionError) return finish();
    if (ctx.exitCode >= kNoStorageForFactors) return finish();
    if (cycle < p.cycleLimit && callMatmod(ctx, cycle)) return finish();
    ++cycle;
    if (cycle > p.cycleLimit) return finish();
    if (!ctx.start.gotbas) ctx.start.gotfac = ctx.start.gothes = false;
    ctx.exitCode = kOptimal;
    pageHeading(ctx);
    ctx.out.print(" Start of Cycle %d", cycle);
    printStartFlags(ctx);
    ctx.out.summary(" Start of Cycle %d", cycle);
  }
}

}  // namespace kavro
