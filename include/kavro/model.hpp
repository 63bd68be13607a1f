#pragma once
// A model built in the caller's own terms: variables in any order, linear constraints as sparse
// triplets or compressed rows, a nonlinear objective and nonlinear constraints as callbacks with
// a Jacobian pattern in any order. The model lays the problem out the way the solver entry
// wants it (nonlinear variables first, the Jacobian in the matrix's order) and maps the answer
// back to the caller's numbering.
//
//   kavro::Model model;
//   const int32_t x = model.addVariables(2, -10, 10, 0.5);        // x0 = x, x1 = x + 1
//   model.addLinearConstraint({{x, 1.0}, {x + 1, 1.0}}, 1.0, kavro::kInfinity);
//   model.setObjective([](std::span<const double> v, double& f, std::span<double> g) {
//     f = 100 * std::pow(v[1] - v[0] * v[0], 2) + std::pow(1 - v[0], 2);
//     if (!g.empty()) { g[0] = ...; g[1] = ...; }   // empty: only the value is wanted
//     return true;                                   // false: not defined at v
//   });
//   kavro::ModelResult r = model.solve();
//   if (r.status == kavro::ModelStatus::kOptimal) ... r.x ...
//
// Multipliers. One convention for constraints and bounds, the one of SciPy's trust-constr:
// at a solution the objective's gradient plus the multipliers times the constraints' gradients
// vanishes,
//     grad f(x) + sum_i v_i grad c_i(x) + z = 0,
// where v holds one multiplier per constraint (c_i its body) and z one per variable (its bound).
// Minimizing, a multiplier is <= 0 when the lower limit holds the point and >= 0 when the upper
// limit does; maximizing, the signs turn. A constraint or bound that is not active has 0.
//
// Callbacks. They receive the whole point in the caller's order. A callback returning false (or
// a value that is not finite) means the functions are undefined at that point: the solver
// shortens its step. A callback that throws stops the run; solve() then rethrows the exception
// to its caller (lastResult() keeps what the run returned, status kCallbackError).
//
// Second derivatives (optional). A model may give the Hessian of its Lagrangian
//     sigma * Hessian f(x) + sum_i lambda_i * Hessian c_i(x)
// (f the nonlinear objective as the callback computes it, c_i the nonlinear constraints) in one
// of two forms: its values on a declared sparse pattern (setHessian) or its products with a
// vector (setHessianProduct). lambda has one entry per constraint of the model, in the order
// added (the numbering of constraintMultipliers); the entries of linear constraints are 0. The
// solver calls with sigma = 1 and lambda in the multiplier convention above, for either sense:
// the callback describes its own f and the solver turns the sign for a maximization. During
// major iterations lambda holds the multipliers' current estimates shifted by the penalty term
// (at a solution, the constraintMultipliers returned). A Hessian callback that returns false,
// gives a value that is not finite or throws leaves that step to the quasi-Newton model; one
// that throws also stops the run, and solve() rethrows. With second derivatives the solver
// uses them by default where the subspace of free variables is large ("Hessian option 2");
// "Hessian option 1" uses them at every step, "Hessian option 0" never.
//
// Options. SPECS phrases ("Major iterations limit 200") or keyword and value pairs; an option
// the solver does not know throws std::invalid_argument naming it. The model solves with
// "Solve strategy 1" unless an option chooses otherwise.
//
// Each Model owns its solver and its state: two models solve on two threads at once.

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "kavro/solver.hpp"

namespace kavro {

// How a solve ended, in the caller's terms. exitCode in ModelResult keeps the solver's own code.
enum class ModelStatus : int32_t {
  kOptimal = 0,             // optimal for the problem as given (certified unscaled)
  kInfeasible = 1,          // no point satisfies the constraints
  kUnbounded = 2,           // the objective is unbounded
  kIterationLimit = 3,      // an iterations limit was reached
  kTimeLimit = 4,           // a time limit, or the progress callback asked for a stop (resources)
  kInterrupted = 5,         // the progress callback asked to stop
  kCallbackError = 6,       // a callback threw; solve() rethrows it
  kUndefinedFunctions = 7,  // the functions could not be evaluated where the solver needed them
  kNotOptimal = 8,          // the solver ended with a usable point it cannot call optimal
  kNumericalTrouble = 9,    // the basis or the factorization failed
  kStorageLimit = 10,       // the storage the options allow is too small
  kInvalidModel = 11,       // the model cannot be solved as given (sizes, NaN, bounds crossed)
};

// A short text for a status ("optimal", "infeasible", ...).
std::string_view modelStatusText(ModelStatus status);

enum class Sense : int32_t { kMinimize = 0, kMaximize = 1 };

// Objective callback: f at x; the gradient when `gradient` is not empty (one element per
// variable, in the caller's order).
using ModelObjective = std::function<bool(std::span<const double> x, double& f, std::span<double> gradient)>;
// Constraint callback: the values of the nonlinear constraints (one per constraint of the
// block) and, when `jacobian` is not empty, the Jacobian's values in the order of the pattern.
using ModelConstraints =
    std::function<bool(std::span<const double> x, std::span<double> values, std::span<double> jacobian)>;

// Hessian callback: the Lagrangian's Hessian at x (see "Second derivatives" above) in the order
// of the pattern given to setHessian; entries named twice are summed.
using ModelHessian = std::function<bool(std::span<const double> x, double sigma, std::span<const double> lambda,
                                        std::span<double> values)>;
// Hessian-vector callback: hv = (the Lagrangian's Hessian at x) v, one element per variable.
using ModelHessianProduct = std::function<bool(std::span<const double> x, double sigma, std::span<const double> lambda,
                                               std::span<const double> v, std::span<double> hv)>;

// One entry of a Hessian pattern: row >= column (the lower triangle, diagonal included), both
// variables the objective or a nonlinear constraint depends on.
struct HessianEntry {
  int32_t row = 0;
  int32_t column = 0;
};

// One entry of a Jacobian pattern: the constraint (0-based within its block) and the variable.
struct JacobianEntry {
  int32_t constraint = 0;
  int32_t variable = 0;
};

// One term of a linear constraint or objective.
struct LinearTerm {
  int32_t variable = 0;
  double coefficient = 0.0;
};

// What the objective callback depends on. Empty variables: all of them.
struct ObjectiveSpec {
  ModelObjective function;
  bool hasGradient = true;         // false: the solver differences the objective
  std::vector<int32_t> variables;  // the variables f depends on (any order); empty: all
};

// A block of nonlinear constraints lower_i <= c_i(x) <= upper_i.
struct NonlinearConstraintSpec {
  int32_t count = 0;
  std::vector<double> lower, upper;  // count each (+-kInfinity: no limit)
  ModelConstraints function;
  bool hasJacobian = true;             // false: the solver differences the Jacobian
  std::vector<JacobianEntry> pattern;  // any order, no repeats; empty: dense, row by row
};

// A typed option value: an integer, a real, or a word ("Yes", "No", ...).
using OptionValue = std::variant<int64_t, double, std::string>;

struct ModelResult {
  ModelStatus status = ModelStatus::kInvalidModel;
  int32_t exitCode = kOptimal;                // the solver's ExitCode (kInvalidProblemData for a refused model)
  std::string message;                        // what happened, in words
  double objective = 0.0;                     // f plus the linear terms and the constant, as given
  std::vector<double> x;                      // per variable
  std::vector<double> constraintValues;       // per constraint, in the order added: its body
  std::vector<double> constraintMultipliers;  // per constraint (see the convention above)
  std::vector<double> boundMultipliers;       // per variable
  // The basis, for a warm start: VariableState per variable and per constraint.
  std::vector<int32_t> variableStates;
  std::vector<int32_t> constraintStates;
  int64_t iterations = 0;  // minor iterations
  int64_t majorIterations = 0;
  int64_t objectiveCalls = 0, gradientCalls = 0, constraintCalls = 0, jacobianCalls = 0;
  int64_t hessianCalls = 0;  // calls of the Hessian or Hessian-vector callback
  double seconds = 0.0;
  int32_t runs = 0;         // solver runs the solve strategy made
  Certificate certificate;  // variables n+i are constraint i in the order added
  // Filled by solveMpsFile only: the file's column and row names (the objective row left out,
  // as in constraintValues) and the summary report the kavro command would print.
  std::vector<std::string> variableNames, constraintNames;
  std::string summary;
  bool success() const { return status == ModelStatus::kOptimal; }
};

class Model {
 public:
  Model();
  ~Model();
  Model(Model&&) noexcept;
  Model& operator=(Model&&) noexcept;

  // Variables; each call returns the index of the first variable it added.
  int32_t addVariable(double lower = -kInfinity, double upper = kInfinity, double start = 0.0);
  int32_t addVariables(int32_t count, double lower = -kInfinity, double upper = kInfinity, double start = 0.0);
  int32_t addVariables(std::span<const double> lower, std::span<const double> upper, std::span<const double> start);
  void setStart(std::span<const double> start);
  int32_t variables() const;
  int32_t constraints() const;

  // Linear constraints lower <= a'x <= upper; each call returns the index of its first.
  int32_t addLinearConstraint(std::span<const LinearTerm> terms, double lower, double upper);
  int32_t addLinearConstraint(std::initializer_list<LinearTerm> terms, double lower, double upper) {
    return addLinearConstraint(std::span<const LinearTerm>(terms.begin(), terms.size()), lower, upper);
  }
  // count rows from triplets (row within the block, variable, value) in any order; repeated
  // (row, variable) pairs are summed.
  int32_t addLinearConstraints(std::span<const int32_t> rows, std::span<const int32_t> columns,
                               std::span<const double> values, std::span<const double> lower,
                               std::span<const double> upper);
  // Compressed rows: row r holds columns[rowStart[r] .. rowStart[r+1]-1].
  int32_t addLinearConstraintsCsr(std::span<const int64_t> rowStart, std::span<const int32_t> columns,
                                  std::span<const double> values, std::span<const double> lower,
                                  std::span<const double> upper);
  int32_t addNonlinearConstraints(NonlinearConstraintSpec spec);

  // The objective: its nonlinear part (optional), linear terms and a constant.
  void setObjective(ObjectiveSpec spec);
  void setObjective(ModelObjective function) {
    ObjectiveSpec spec;
    spec.function = std::move(function);
    setObjective(std::move(spec));
  }
  void setLinearObjective(std::span<const LinearTerm> terms, double constant = 0.0);
  void setSense(Sense sense);

  // Second derivatives of the Lagrangian, in one form or the other (each call replaces the
  // form set before; an empty function removes it). The pattern lists the lower triangle in
  // any order, repeats summed; an entry above the diagonal, an empty pattern or a variable that
  // does not exist throws std::invalid_argument.
  void setHessian(std::vector<HessianEntry> pattern, ModelHessian function);
  void setHessianProduct(ModelHessianProduct function);

  // Options; both throw std::invalid_argument for an option the solver does not know.
  void setOption(std::string_view specsLine);
  void setOption(std::string_view keywords, const OptionValue& value);
  void setOptions(const std::map<std::string, OptionValue>& options);
  // Called with every iteration-log line; returns 0 to go on, 1 to stop for a resource limit,
  // 2 to stop (as kavro::IterationCallback).
  void setProgress(IterationCallback progress);

  // Solves from the starting values, or from a previous result's point and basis.
  ModelResult solve();
  ModelResult solve(const ModelResult& warmStart);
  const ModelResult& lastResult() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Solves an AMPL .nl model as the kavro command does (its first objective, its sense, Solve
// strategy 1 unless an option chooses) with the given SPECS lines; the answer is in the file's
// numbering of variables and constraints. A file that cannot be read or solved, or a line that
// is not an option, gives status kInvalidModel and the reason as message.
ModelResult solveNlFile(const std::string& path, std::span<const std::string> options = {},
                        IterationCallback progress = {});

// What solveMpsFile reads and writes besides the MPS file, as the kavro command's options do.
struct MpsFileRun {
  std::string specsPath;       // --specs: each Begin ... End block runs the problem again
  std::string printPath;       // --print: the full report; empty: none
  bool freeMps = false;        // --free-mps
  bool relaxIntegers = false;  // --relax-integers
};

// Solves an MPS file as `kavro --specs FILE MODEL.mps` does: the same defaults (the single
// specified solve unless "Solve strategy 1" is set), limits and storage. `options` are SPECS
// lines applied after each block's own (they win). The answer is the last block's, in the
// file's numbering; constraints are the rows without the objective row. An input that cannot be
// read, a file with errors, files that clash or a line that is not an option give status
// kInvalidModel and the reason as message; r.summary has the summary report either way.
ModelResult solveMpsFile(const std::string& path, const MpsFileRun& run = {}, std::span<const std::string> options = {},
                         IterationCallback progress = {});

}  // namespace kavro
