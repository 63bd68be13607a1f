#pragma once
// The state of one call of the solver entry, shared by the run driver, the set-up of the
// initial basis and the solution output. It lives for one solve; the parameter block, the units
// and the timers it refers to belong to the Optimizer object. The main loop does not see it: it
// gets what it needs in a LoopInput and hands back a LoopOutcome, which the driver records here.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "driver/work_layout.hpp"
#include "io/timers.hpp"
#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "nonlinear/function_evaluator.hpp"
#include "nonlinear/major_iterations.hpp"
#include "setup/scaling.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// How the run starts ("Start"): cold (Cold or Basis), warm or hot, and what that says is given
// (flags printed under their classic names).
enum class StartClass : int32_t { kCold = 0, kWarm = 1, kHot = 2 };
struct StartMode {
  std::string text;
  StartClass kind = StartClass::kCold;
  bool gotbas = false;  // a basis: the caller's states, or a basis file
  bool gotfac = false;  // basis factors (hot starts)
  bool gothes = false;  // the reduced Hessian (hot starts)
  bool gotscl = false;  // scale factors (hot starts)
};

struct RunContext {
  RunContext(Parameters& p, UnitTable& u, Timers& t, const SolveOptions& o, ProblemState& s)
      : params(p), units(u), timers(t), options(o), state(s) {}

  Parameters& params;
  UnitTable& units;
  Timers& timers;
  const SolveOptions& options;
  ReportChannels out;

  // The optimizer's own copy of the problem: scaled in place during the run, while the caller's
  // Problem stays untouched. The state is the caller's and is returned unscaled.
  Problem prob;
  ProblemState& state;

  WorkLayout layout;
  int32_t nJacElements = 0;

  // Evaluation of the nonlinear functions, made when the problem has nonlinear parts.
  std::unique_ptr<FunctionEvaluator> evaluator;
  // The major iterations, made when the problem has nonlinear constraints.
  std::unique_ptr<MajorIterations> majors;
  // The nonlinear objective's gradient at the final point (user's units), for the reports.
  std::vector<double> objectiveGradient;

  StartMode start;

  // Set-up that lasts for the whole run.
  std::vector<int32_t> rowTypes;  // per row: 0 equality, 1 other, 2 free
  RunScaling scaling;
  bool crashDone = false;
  // Crash option 3 crashes the linear inequality rows once the equality rows are satisfied.
  bool crashInequalitiesPending = false;
  // Superbasic variables in order, as the basis-count check found them in hs.
  std::vector<int32_t> superbasicList;

  // Outcome, recorded after each cycle.
  ExitCode exitCode = kOptimal;
  int64_t majorIterations = 0;
  int64_t minorIterations = 0;
  int32_t itn = 0;  // iterations of the last cycle
  int32_t ninf = 0;
  double sinf = 0.0;
  double objValue = 0.0;
  double piNorm = 1.0;
  int32_t maxPrimalInfeasVar = -1;
  int32_t maxDualInfeasVar = -1;
  int32_t nonlinearStatus = 0;
  double absoluteViolation = 0.0;
  double relativeViolation = 0.0;
  // The returned point on the user's problem, from the functions evaluated there at the end.
  Certificate certificate;

  int32_t m() const { return prob.m; }
  int32_t n() const { return prob.n; }
  int32_t nb() const { return prob.nb(); }
};

}  // namespace kavro
