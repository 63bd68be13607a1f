#include "driver/strategy/solve_strategy.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "driver/solver_entry.hpp"
#include "driver/strategy/divergence_watch.hpp"
#include "driver/strategy/run_budget.hpp"
#include "driver/strategy/strategy_repeats.hpp"
#include "driver/strategy/strategy_settings.hpp"
#include "driver/work_estimate.hpp"
#include "io/units.hpp"
#include "specs/parameters.hpp"

namespace kavro {

namespace {

// The caller's callback first (its interrupts and limits), then the time limit, then the watch.
IterationCallback limitedProgress(const IterationCallback& caller, RunBudget& budget, DivergenceWatch* watch) {
  return [&caller, &budget, watch](const IterationLogEntry& e) {
    if (caller)
      if (const int stop = caller(e); stop != 0) return stop;
    if (budget.timeUp()) return 1;
    return watch && watch->diverged(e) ? 1 : 0;
  };
}

// Whether the caller's callback lets another run start.
bool callerLetsAnotherRunStart(const IterationCallback& caller) {
  if (!caller) return true;
  IterationLogEntry probe;
  probe.kind = kBetweenRuns;
  return caller(probe) == 0;
}

SolveResult singleSolve(Parameters& params, UnitTable& units, Timers& timers, const Problem& problem,
                        ProblemState& state, const SolveOptions& options) {
  if (params.timeLimit <= 0.0) return solverEntry(params, units, timers, problem, state, options);
  RunBudget budget(params);
  SolveOptions limited = options;
  limited.progress = limitedProgress(options.progress, budget, nullptr);
  return solverEntry(params, units, timers, problem, state, limited);
}

class StrategySolve {
 public:
  StrategySolve(Parameters& params, UnitTable& units, Timers& timers, const Problem& problem, ProblemState& state,
                const SolveOptions& options)
      : params_(params),
        units_(units),
        timers_(timers),
        problem_(problem),
        state_(state),
        options_(options),
        shape_(shapeOf(problem, options.nonlinearEntries)),
        callerSet_(params),
        budget_(params) {}

  SolveResult solve();

  // Escapes from saddle points made before a stationary point that still has negative
  // curvature is given up (a chain of saddles usually takes one or two; rosen1000_pairs'
  // escapes after the third lower the objective by less than 1e-5 relative each).
  static constexpr int kMaxEscapes = 5;

 private:
  ReportChannels out() const { return ReportChannels{&units_, params_.printFile, params_.summaryFile}; }
  SolveResult run(DivergenceWatch* watch, const char* start = nullptr);
  SolveResult leaveSaddlePoints(SolveResult r);
  SolveResult notAMinimum(SolveResult r, const CurvatureEscape& escape, int escapes) const;
  bool lower(const SolveResult& next, const SolveResult& r) const {
    const double sigma = params_.objectiveSense < 0 ? -1.0 : 1.0;
    return sigma * (next.objValue - r.objValue) < -1e-8 * (1.0 + std::fabs(r.objValue));
  }
  bool mayStartRepeat() const {
    return !budget_.timeUpNow() && budget_.iterationsLeft() && callerLetsAnotherRunStart(options_.progress);
  }
  void announceStop(const DivergenceWatch& watch) const;

  Parameters& params_;
  UnitTable& units_;
  Timers& timers_;
  const Problem& problem_;
  ProblemState& state_;
  const SolveOptions& options_;
  const ProblemShape shape_;
  const Parameters callerSet_;  // the options as the caller set them
  RunBudget budget_;
  Parameters lastStart_;  // the options the last run started with
  int32_t runs_ = 0;
};

SolveResult StrategySolve::run(DivergenceWatch* watch, const char* start) {
  SolveOptions options = options_;
  if (start) options.start = start;
  lastStart_ = params_;
  ++runs_;
  if (watch || budget_.hasTimeLimit()) options.progress = limitedProgress(options_.progress, budget_, watch);
  // Storage the solver sizes starts from its own estimate of the problem's needs, nonlinear
  // entries included, as the host link and the command size their work arrays: from the least
  // length the layout takes, the factors of a large nonlinear model are compressed over and over
  // (msqrtb: the same 952 iterations in 2.5 s with the estimate, 5.6 to 9 s without).
  if (options.automaticStorage)
    options.workLength = std::max(
        options.workLength, estimateWorkWords(problem_.m, problem_.n, problem_.nElements(), shape_.nonlinearEntries));
  const SolveResult r = solverEntry(params_, units_, timers_, problem_, state_, options);
  budget_.spend(r);
  return r;
}

void StrategySolve::announceStop(const DivergenceWatch& watch) const {
  out().both(
      " The solve strategy stopped the run at major iteration %d (no CPU limit): the violation of the"
      " nonlinear constraints stayed above %g times its best (%.1e at major %d) for %d major iterations",
      watch.stopMajor(), DivergenceWatch::kFactor, watch.bestViolation(), watch.bestMajor(), DivergenceWatch::kWindow);
}

SolveResult StrategySolve::solve() {
  chooseSettings(params_, shape_, out());
  const Parameters settings = params_;
  const ProblemState start = state_;
  RepeatPlan plan = problem_.nNonlinCons > 0 ? RepeatPlan(callerSet_) : RepeatPlan();
  DivergenceWatch watch;
  SolveResult r = run(plan.hasNext() ? &watch : nullptr);
  for (;;) {
    if (watch.fired()) announceStop(watch);
    if (!(worthRepeating(r) || watch.fired()) || !plan.hasNext() || !mayStartRepeat()) break;
    const Repeat& repeat = plan.next();
    out().both(" Solved again from the model's starting point with %s (the last run ended with exit %d)",
               repeat.describe().c_str(), r.exitCode);
    params_ = settings;
    budget_.leaveRemainder(params_, out());
    repeat.apply(params_, out());
    state_ = start;
    watch = DivergenceWatch{};
    r = run(plan.hasNext() ? &watch : nullptr);
  }
  r = leaveSaddlePoints(r);
  r.runs = runs_;
  return r;
}

// A run that ends optimal where the Lagrangian curves downward along a direction that keeps the
// active rows and bounds has stopped at a saddle point (or a maximum), which the first-order
// test cannot tell from a minimum. The run is made again, from its basis, at a point moved
// along that direction, and kept when it ends optimal lower; otherwise the stationary point is
// returned as what it is: a point that cannot be improved, not an optimum. Where the active
// constraints are nearly dependent the curvature rests on multipliers the point does not fix
// (another choice may curve upward), so a move that does not improve proves nothing and the
// point keeps its optimal exit.
SolveResult StrategySolve::leaveSaddlePoints(SolveResult r) {
  if (!options_.curvature) return r;
  const double sigma = params_.objectiveSense < 0 ? -1.0 : 1.0;
  for (int escapes = 0; r.exitCode == kOptimal; ++escapes) {
    CurvatureEscape escape;
    if (!options_.curvature->escape(problem_, state_, sigma, escape)) return r;
    if (escapes == kMaxEscapes || !mayStartRepeat()) return notAMinimum(r, escape, escapes);
    out().both(
        " Negative curvature %.1e at the stationary point (on a subspace of dimension %d):"
        " solved again from a point moved along it",
        escape.curvature, escape.dimension);
    const ProblemState stationary = state_;
    std::copy(escape.x.begin(), escape.x.end(), state_.x.begin());
    params_ = lastStart_;
    budget_.leaveRemainder(params_, out());
    SolveResult next = run(nullptr, "Warm");
    if (next.exitCode == kOptimal && lower(next, r)) {
      r = next;
      continue;
    }
    state_ = stationary;
    if (!escape.conclusive) {
      out().both(
          " The run from the moved point did not end optimal below %.15g. The active constraints are"
          " nearly dependent, so their multipliers, and the curvature found with them, are not"
          " determined by the point: the stationary point is returned as optimal",
          r.objValue);
      return r;
    }
    out().both(
        " XXX The run from the moved point did not end optimal below %.15g: the stationary point is"
        " returned, and it is not a minimum",
        r.objValue);
    r.exitCode = kCannotImprove;
    return r;
  }
  return r;
}

// The escapes or the limits ran out with negative curvature left.
SolveResult StrategySolve::notAMinimum(SolveResult r, const CurvatureEscape& escape, int escapes) const {
  if (!escape.conclusive) {
    out().both(
        " Negative curvature %.1e remains at the stationary point after %d escapes (or the limits"
        " allow no more runs); the active constraints are nearly dependent, so it may come from"
        " multipliers the point does not determine: the point is returned as optimal",
        escape.curvature, escapes);
    return r;
  }
  out().both(
      " XXX Negative curvature %.1e remains at the stationary point after %d escapes (or the limits"
      " allow no more runs): it is returned, and it is not a minimum",
      escape.curvature, escapes);
  r.exitCode = kCannotImprove;
  return r;
}

}  // namespace

SolveResult solveWithStrategy(Parameters& params, UnitTable& units, Timers& timers, const Problem& problem,
                              ProblemState& state, const SolveOptions& options) {
  if (params.solveStrategy == kUndefinedInt) params.solveStrategy = options.defaultStrategy;
  if (params.solveStrategy != kStrategySolve) return singleSolve(params, units, timers, problem, state, options);
  return StrategySolve(params, units, timers, problem, state, options).solve();
}

}  // namespace kavro
