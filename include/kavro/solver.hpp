#pragma once
// The solver entry: hand a complete problem to the optimizer and get the solution back.
//
//   kavro::Optimizer opt;
//   opt.initialize({.printUnit = 9, .summaryUnit = 6});
//   opt.connectUnit(9, "run.print");
//   opt.setSpecsLine("Iterations limit 5000");
//   kavro::ProblemState state;  state.resizeFor(problem);
//   kavro::SolveResult r = opt.solve(problem, state, {.start = "Cold", .workLength = words});
//   if (r.usable()) ... state.x, state.pi, state.reducedCost ...
//
// One Optimizer holds one parameter block, one set of file units and one set of timers; two
// Optimizer objects never interfere. Options set with the SPECS functions stay in force for
// later solves until a reset ("Defaults", a new "Begin" block, or initialize()).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "kavro/problem.hpp"

namespace kavro {

// Optimizer exit codes. A solution is usable when the code is below 10.
enum ExitCode : int32_t {
  kOptimal = 0,
  kInfeasible = 1,
  kUnbounded = 2,
  kTooManyIterations = 3,
  kObjectiveUnchanged = 4,
  kSuperbasicsLimit = 5,
  kFunctionError = 6,
  kBadObjectiveGradient = 7,
  kBadConstraintGradient = 8,
  kCannotImprove = 9,
  kNumericalError = 10,  // the first code without a usable solution
  kNoSuperbasicToReplace = 11,
  kFactorizationTwice = 12,
  kNearOptimal = 13,
  kTimeLimit = 18,
  kInterrupted = 19,
  kNoStorageForFactors = 20,
  kBasisPackageError = 21,
  kSingularBasis = 22,
  kBasisFileMismatch = 30,
  kTooManyBasics = 32,
  kNoStorageForMps = 40,
  kMpsFatalErrors = 41,
  kWorkspaceTooSmall = 42,
  kInvalidProblemData = 43,  // the problem handed to the solver entry is not valid (sizes, NaN, ...)
  kFileClash = 44,           // an output file is an input or another output file of the run
  kOutOfMemory = 45,         // the memory for the run's storage could not be had (nothing was solved)
};

// What a log entry offered to a progress callback is.
enum LogEntryKind : int32_t {
  kBetweenRuns = 0,  // no line: the solve strategy asks whether it may start another run
  kMinorLine = 1,    // a minor-iteration line
  kMajorLine = 2,    // a major-iteration line
};

// One line of the iteration log as offered to a progress callback.
struct IterationLogEntry {
  int32_t kind = kMinorLine;  // a LogEntryKind
  int32_t majorItn = 0;
  int32_t minorItn = 0;
  int32_t ninf = 0;
  double sinf = 0.0;
  char flag = ' ';
  double step = 0.0;
  double objective = 0.0;
  double feasibility = 0.0;  // major lines only
  double optimality = 0.0;   // major lines only
  int32_t nSuperbasics = 0;  // major lines only
  int32_t nNonlinCons = 0;   // major lines only
  double penalty = 0.0;      // major lines only
  int32_t basisSwaps = 0;    // major lines only
  int32_t phase = 0;         // the phase of the iteration (minor lines)
};

// Returns 0 to go on, 1 to stop for a time or resource limit (exit 18), 2 to stop on an
// interrupt (exit 19). An entry of kind kBetweenRuns carries no figures: answering it with 1 or
// 2 keeps the solve strategy from starting another run.
using IterationCallback = std::function<int(const IterationLogEntry&)>;
enum IterationAnswer : int { kGoOn = 0, kStopForLimit = 1, kStopForInterrupt = 2 };

// The "Solve strategy" option. kSingleSolve is the specified solve: one run with the options as
// they are. kStrategySolve sizes the options a caller left unset from the problem's shape, runs
// the optimizer and, for problems with nonlinear constraints, repeats a run that ends without a
// solution with other settings (src/driver/strategy/solve_strategy.hpp tells what it does).
enum SolveStrategy : int32_t { kSingleSolve = 0, kStrategySolve = 1 };

// The "Hessian option": the model of the objective in the subspace of the superbasic variables.
// kQuasiNewtonHessian is the quasi-Newton factor ("Hessian dimension", "Hessian memory");
// kExactHessian the reduced Hessian Z'HZ from the functions' second derivatives; with
// kAutomaticHessian exact second derivatives are used once the subspace is large (the default
// when the functions offer them, NonlinearFunctions::hasSecondDerivatives).
enum HessianOption : int32_t { kQuasiNewtonHessian = 0, kExactHessian = 1, kAutomaticHessian = 2 };

// Nonlinear objective and constraint functions. mode: 0 values only, 1 gradients only,
// 2 both (the routines may always compute both). nstate: 1 on the first call, 2 + exit code on
// the final call, 0 otherwise. Set mode to -1 when the point cannot be evaluated, to -2 to stop.
// Derivative entries left unset keep the marker -111111.0 and are estimated by differences.
class NonlinearFunctions {
 public:
  virtual ~NonlinearFunctions() = default;
  virtual void objective(int& mode, int n, const double* x, double& f, double* g, int nstate) = 0;
  // g holds the nJacElements Jacobian values column by column in the order of the matrix.
  virtual void constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int nstate) = 0;

  // ---- Second derivatives (optional; "Hessian option" 1 and 2 use them when offered).
  // True when the two calls below are served.
  virtual bool hasSecondDerivatives() const { return false; }
  // Makes ready for products with the Hessian of
  //   sigma f(x) + sum_i w[i] F_i(x)       (f the objective, F_i the nonlinear constraints)
  // at x (the nnv = max(nNonlinObjVars, nNonlinJacVars) nonlinear variables, the user's units;
  // w has m entries). False when the Hessian cannot be had at x (the point is then treated as
  // one without second derivatives: the step falls back to the quasi-Newton model).
  virtual bool prepareHessian(int nnv, const double* x, double sigma, int m, const double* w) {
    (void)nnv, (void)x, (void)sigma, (void)m, (void)w;
    return false;
  }
  // hv = H v over the nonlinear variables, H as prepared by the last successful prepareHessian.
  virtual void hessianProduct(int nnv, const double* v, double* hv) {
    for (int j = 0; j < nnv; ++j) hv[j] = 0.0 * v[j];
  }
  // The lower triangle of H as prepared by the last successful prepareHessian, for functions
  // that keep it as a matrix: nnz entries with rows[k] >= cols[k] (0-based over the nonlinear
  // variables), each index pair once. The arrays stay valid until the next prepareHessian.
  // False (the default): products only. With it, a large subspace that does not involve the
  // basis can be factorized instead of solved by conjugate gradients.
  struct HessianTriangle {
    int64_t nnz = 0;
    const int32_t* rows = nullptr;
    const int32_t* cols = nullptr;
    const double* values = nullptr;
  };
  virtual bool hessianTriangle(HessianTriangle& triangle) const {
    (void)triangle;
    return false;
  }
};

// Second-order information at the end of a run, for callers whose functions have second
// derivatives (the .nl models). A point that passes the first-order test may still be a saddle
// point or a maximum: a direction that keeps the active rows and bounds and along which the
// Lagrangian curves downward shows it, and a step along it is a better place to start again.
struct CurvatureEscape {
  double curvature = 0.0;  // of the Lagrangian along the direction (negative), per unit length
  int32_t dimension = 0;   // of the subspace that keeps the active rows and bounds
  std::vector<double> x;   // n column values: the point moved along the direction
  // false when the curvature depends on multipliers the point does not determine (nearly
  // dependent active constraints): a point the move does not improve may still be a minimum
  bool conclusive = true;
};

class CurvatureProbe {
 public:
  virtual ~CurvatureProbe() = default;
  // At the final point of a run (state: columns, slacks, multipliers), with the objective
  // weighed by sigma (+1 minimize, -1 maximize): true with a moved point that lowers the
  // Lagrangian sigma f - pi'F when the Lagrangian has negative curvature on the subspace that
  // keeps the active rows and bounds; false when it has none there or it cannot be told.
  virtual bool escape(const Problem& problem, const ProblemState& state, double sigma, CurvatureEscape& out) = 0;
};

struct SolveOptions {
  std::string start = "Cold";  // "Cold", "Basis", "Warm" or "Hot[FHS]"
  int64_t workLength = 0;      // work storage in 8-byte words ("Workspace (total)")
  // false: workLength is a limit the caller fixed; a run that needs more ends with exit 42
  // (before it starts) or 20 (the basis factors). true: the solver sizes its storage itself,
  // from workLength (a hint, may be 0) and the problem's matrix, and the storage for the basis
  // factors grows whenever a factorization needs more, the run going on from its basis.
  bool automaticStorage = false;
  IterationCallback progress;               // optional
  NonlinearFunctions* functions = nullptr;  // required when the problem has nonlinear parts
  // The strategy when no "Solve strategy" option chose one.
  SolveStrategy defaultStrategy = kSingleSolve;
  // The variables occurring nonlinearly, summed over the objective and the nonlinear
  // constraints, when the caller knows them (the superbasics limit of the strategy is sized
  // from it); 0: taken from the matrix, the Jacobian's entries and the nonlinear objective
  // variables.
  int64_t nonlinearEntries = 0;
  // Optional: with "Solve strategy 1", a run that ends optimal is tested for negative curvature,
  // and started again from a point moved along it (solve_strategy.hpp).
  CurvatureProbe* curvature = nullptr;
};

// What the returned point is worth on the user's (unscaled) problem, computed once at the end of
// a run from the functions evaluated afresh at that point (not from the last subproblem):
//   primal: the largest violation of a row's or a variable's bounds, absolute and relative to
//           1 + |bound|; rows are A x plus the nonlinear constraint values F(x);
//   dual:   the largest part of the reduced gradient of the true Lagrangian, d = g - J'y (g the
//           objective's gradient, J the rows' Jacobian with the linear rows, y the multipliers),
//           that points the wrong way for the variable's state (any part for a variable strictly
//           between its bounds), absolute and relative to 1 + max |y|.
// Variables are numbered 0..n-1 for columns and n+i for row i (its slack).
struct Certificate {
  bool evaluated = false;  // false: no point, or the functions failed there
  double maxPrimalInfeas = 0.0;
  double maxPrimalInfeasRelative = 0.0;
  int32_t primalWorst = -1;  // the variable of the largest relative violation
  double maxDualInfeas = 0.0;
  double maxDualInfeasRelative = 0.0;
  int32_t dualWorst = -1;       // the variable of the largest relative wrong-way part
  double multiplierNorm = 0.0;  // max |y_i|
  // Optimal within the run's tolerances: primal (relative) within the Feasibility tolerance
  // for bounds and linear rows and the Row tolerance for nonlinear rows, dual (relative)
  // within the Optimality tolerance.
  bool passed = false;
};

struct SolveResult {
  ExitCode exitCode = kOptimal;
  int64_t minWorkWords = 0;  // least work length with which the run could have started
  int32_t ninf = 0;
  double sinf = 0.0;
  double objValue = 0.0;
  int64_t majorIterations = 0;
  int64_t minorIterations = 0;
  int32_t nonlinearStatus = 0;  // 0 no nonlinear constraints, 1 within Row tolerance, 2 not
  double absoluteViolation = 0.0;
  double relativeViolation = 0.0;
  // For classifying the final point: the multiplier norm max(1, max|pi|) and the variables
  // (0-based, -1 for none) of the largest primal and dual infeasibility found at the end.
  double piNorm = 1.0;
  int32_t maxPrimalInfeasVar = -1;
  int32_t maxDualInfeasVar = -1;
  Certificate certificate;
  // Runs the solve made: 1, or more when the solve strategy repeated a run; every other figure
  // is the last run's.
  int32_t runs = 1;

  bool usable() const { return exitCode < kNumericalError; }
};

struct UnitSettings {
  int printUnit = 0;    // full report; 0 = none
  int summaryUnit = 0;  // short report; 0 = none
  int specsUnit = 0;    // SPECS option file; 0 = none
};

class Optimizer {
 public:
  Optimizer();
  ~Optimizer();
  Optimizer(const Optimizer&) = delete;
  Optimizer& operator=(const Optimizer&) = delete;

  // Records the units, sets the machine constants and resets every parameter.
  void initialize(const UnitSettings& units);
  // Connects a unit number to a file path (or, for output, to an open stream, which `name`
  // names in messages).
  void connectUnit(int unit, std::string path);
  void connectStream(int unit, std::FILE* stream, std::string name = "");

  // SPECS options. Each returns the number of rejected lines (0 or 1).
  int setSpecsLine(std::string_view line);
  // The same, for a caller that reports rejected lines itself: returns why the line was
  // rejected ("Value missing or not a number: ABC", the report's message without its " XXX  "),
  // or an empty string when it was accepted.
  std::string explainedSpecsLine(std::string_view line);
  int setSpecsInteger(std::string_view keywords, int64_t value);
  int setSpecsReal(std::string_view keywords, double value);
  // Reads the next Begin ... End block of the SPECS unit.
  struct SpecsStatus {
    // 0 a block was read, 1 the unit is not between 0 and 99, 2 end of file inside a block,
    // 3 end of file before a block, 4 an "ENDRUN" record.
    int result = 3;
    int rejectedLines = 0;  // lines of the block that were rejected
  };
  SpecsStatus readSpecsFile(int problemNumber);

  // The solver entry. Reads problem, reads and writes state. With "Solve strategy 1" (or
  // options.defaultStrategy when no option chose) the solve strategy makes the runs; afterwards
  // the parameter block holds the last run's completed values, as after a single run. Memory
  // that cannot be had ends the run with kOutOfMemory ("EXIT -- not enough memory for a model of
  // N variables and M constraints"); no exception leaves it.
  SolveResult solve(const Problem& problem, ProblemState& state, const SolveOptions& options);

  // What the object owns; opaque to callers (the library's front ends reach it through
  // internalsOf in its internal headers).
  struct Impl;

 private:
  friend Impl& internalsOf(Optimizer& optimizer);
  std::unique_ptr<Impl> impl_;
};

}  // namespace kavro
