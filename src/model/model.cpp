#include "kavro/model.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "driver/optimizer_impl.hpp"
#include "model/model_answer.hpp"
#include "model/model_data.hpp"
#include "model/model_functions.hpp"
#include "model/model_layout.hpp"
#include "nl/nl_sol.hpp"

namespace kavro {

using model::Layout;
using model::ModelData;
using model::ModelFunctions;

struct Model::Impl {
  ModelData data;
  std::vector<std::string> options;  // SPECS lines, each known to the solver
  IterationCallback progress;
  ModelResult last;

  ModelResult run(const ModelResult* warm);
};

namespace {

void requireVariable(const ModelData& d, int32_t v, const char* where) {
  if (v < 0 || v >= d.variables())
    throw std::invalid_argument(std::string(where) + ": variable " + std::to_string(v) +
                                " does not exist (the model has " + std::to_string(d.variables()) + ")");
}

void requireSize(size_t size, size_t wanted, const char* what) {
  if (size != wanted)
    throw std::invalid_argument(std::string(what) + " has " + std::to_string(size) + " elements, " +
                                std::to_string(wanted) + " expected");
}

int32_t addConstraints(ModelData& d, std::span<const double> lower, std::span<const double> upper, int32_t block) {
  requireSize(upper.size(), lower.size(), "the upper limits");
  const int32_t first = d.constraints();
  d.conLower.insert(d.conLower.end(), lower.begin(), lower.end());
  d.conUpper.insert(d.conUpper.end(), upper.begin(), upper.end());
  d.conBlock.insert(d.conBlock.end(), lower.size(), block);
  return first;
}

// A typed option as the SPECS line the solver reads.
std::string specsLine(std::string_view keywords, const OptionValue& value) {
  std::string line(keywords);
  if (const auto* i = std::get_if<int64_t>(&value)) return line + " " + std::to_string(*i);
  if (const auto* s = std::get_if<std::string>(&value)) return line + " " + *s;
  char text[40];
  std::snprintf(text, sizeof text, " %.17g", std::get<double>(value));
  return line + text;
}

// "Derivative level" for derivatives the callbacks do not provide, unless the options set it.
std::string derivativeLevel(const ModelData& d) {
  bool jacobian = true;
  for (const NonlinearConstraintSpec& b : d.blocks) jacobian = jacobian && b.hasJacobian;
  const bool gradient = !d.nonlinearObjective() || d.objective.hasGradient;
  return "Derivative level " + std::to_string((gradient ? 1 : 0) + (jacobian ? 2 : 0));
}

// Differences of callbacks, unless the caller chose the intervals or said how precise the
// functions are: intervals for functions computed to full double precision, as SciPy's
// differences assume (sqrt(eps) forward, eps^(1/3) central). The solver's defaults come from a
// "Function precision" of eps^0.8, made for functions that lose digits; their central
// differences err by about 1e-8 x the third derivative (7e-6 on Rosenbrock's function at its
// minimum, 2e-5 with forward ones), more than the optimality tolerance of 1e-6 allows, and a
// solve without a gradient then ended "near optimal" a step away from the answer.
void callbackDifferenceIntervals(Optimizer& opt) {
  const Parameters& p = internalsOf(opt).params;
  if (p.functionPrecision != kUndefinedReal) return;
  const double eps = std::numeric_limits<double>::epsilon();
  if (p.differenceInterval == kUndefinedReal) opt.setSpecsReal("Difference interval", std::sqrt(eps));
  if (p.centralDifferenceInterval == kUndefinedReal) opt.setSpecsReal("Central difference interval", std::cbrt(eps));
}

// The starting point: columns at the given values, slacks at minus the row bodies there, and the
// Jacobian at the start in the matrix (where the callbacks can evaluate it).
void startingState(const ModelData& d, Layout& layout, ModelFunctions& functions, ProblemState& s) {
  Problem& p = layout.problem;
  s.resizeFor(p);
  for (int32_t v = 0; v < d.variables(); ++v) s.x[static_cast<size_t>(layout.columnOf[v])] = d.start[v];
  std::vector<double> body(static_cast<size_t>(p.m), 0.0);
  for (int32_t c = 0; c < p.n; ++c)
    for (int32_t k = p.a.colStart[c]; k < p.a.colStart[c + 1]; ++k)
      if (p.a.row[k] >= p.nNonlinCons) body[static_cast<size_t>(p.a.row[k])] += p.a.value[k] * s.x[c];
  if (p.nNonlinCons > 0) {
    std::vector<double> values, jacobian;
    if (functions.evaluateRows(d.start, true, values, jacobian)) {
      std::copy(values.begin(), values.end(), body.begin());
      for (size_t place = 0; place < jacobian.size(); ++place)
        p.a.value[static_cast<size_t>(layout.jacobianElement[place])] = jacobian[place];
    }
  }
  for (int32_t i = 0; i < p.m; ++i) s.x[static_cast<size_t>(p.n + i)] = -body[static_cast<size_t>(i)];
}

std::string describe(const ModelResult& r) {
  std::string text = nl::solveResultCode(r.exitCode).text;
  if (r.status == ModelStatus::kCallbackError) text = "a callback raised an exception";
  return text;
}

}  // namespace

ModelResult Model::Impl::run(const ModelResult* warm) {
  const auto started = std::chrono::steady_clock::now();
  ModelResult r;
  Layout layout;
  if (std::string why = model::buildLayout(data, layout); !why.empty()) {
    r.status = ModelStatus::kInvalidModel;
    r.exitCode = kInvalidProblemData;
    r.message = why;
    return r;
  }
  ModelFunctions functions(data, layout);
  ProblemState state;
  startingState(data, layout, functions, state);
  if (warm) model::warmState(data, layout, *warm, state);
  Optimizer opt;
  opt.setSpecsLine(derivativeLevel(data));
  opt.setSpecsLine(data.sense == Sense::kMaximize ? "Maximize" : "Minimize");
  for (const std::string& line : options) opt.setSpecsLine(line);
  callbackDifferenceIntervals(opt);
  SolveOptions how;
  how.start = warm ? "Warm" : "Cold";
  how.automaticStorage = true;
  how.functions = layout.nonlinear() ? &functions : nullptr;
  how.defaultStrategy = kStrategySolve;
  how.nonlinearEntries = layout.nonlinearEntries;
  how.progress = progress;
  SolveResult solved;
  solved.exitCode = kFunctionError;  // a callback threw while the start was evaluated
  if (!functions.failure()) solved = opt.solve(layout.problem, state, how);
  std::vector<double> rowValues, unused;
  if (layout.problem.nNonlinCons > 0 && !functions.failure()) {
    std::vector<double> point(static_cast<size_t>(data.variables()));
    for (int32_t v = 0; v < data.variables(); ++v) point[v] = state.x[static_cast<size_t>(layout.columnOf[v])];
    if (!functions.evaluateRows(point, false, rowValues, unused)) rowValues.clear();
  }
  r.exitCode = solved.exitCode;
  r.status = model::statusOf(solved.exitCode, functions.failure() != nullptr);
  r.message = describe(r);
  r.objective = solved.objValue;
  model::mapAnswer(data, layout, state, rowValues, r);
  r.iterations = solved.minorIterations;
  r.majorIterations = solved.majorIterations;
  r.objectiveCalls = functions.counts().objective;
  r.gradientCalls = functions.counts().gradient;
  r.constraintCalls = functions.counts().constraints;
  r.jacobianCalls = functions.counts().jacobian;
  r.hessianCalls = functions.counts().hessian;
  r.runs = solved.runs;
  r.certificate = solved.certificate;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  last = r;
  if (functions.failure()) std::rethrow_exception(functions.failure());
  return r;
}

std::string_view modelStatusText(ModelStatus status) {
  switch (status) {
    case ModelStatus::kOptimal: return "optimal";
    case ModelStatus::kInfeasible: return "infeasible";
    case ModelStatus::kUnbounded: return "unbounded";
    case ModelStatus::kIterationLimit: return "iteration limit";
    case ModelStatus::kTimeLimit: return "time limit";
    case ModelStatus::kInterrupted: return "interrupted";
    case ModelStatus::kCallbackError: return "callback error";
    case ModelStatus::kUndefinedFunctions: return "functions undefined";
    case ModelStatus::kNotOptimal: return "not optimal";
    case ModelStatus::kNumericalTrouble: return "numerical trouble";
    case ModelStatus::kStorageLimit: return "storage limit";
    case ModelStatus::kInvalidModel: return "invalid model";
  }
  return "unknown";
}

Model::Model() : impl_(std::make_unique<Impl>()) {}
Model::~Model() = default;
Model::Model(Model&&) noexcept = default;
Model& Model::operator=(Model&&) noexcept = default;

int32_t Model::addVariable(double lower, double upper, double start) { return addVariables(1, lower, upper, start); }

int32_t Model::addVariables(int32_t count, double lower, double upper, double start) {
  if (count < 0) throw std::invalid_argument("a negative number of variables");
  const std::vector<double> l(static_cast<size_t>(count), lower), u(static_cast<size_t>(count), upper),
      s(static_cast<size_t>(count), start);
  return addVariables(l, u, s);
}

int32_t Model::addVariables(std::span<const double> lower, std::span<const double> upper,
                            std::span<const double> start) {
  requireSize(upper.size(), lower.size(), "the upper bounds");
  requireSize(start.size(), lower.size(), "the starting values");
  ModelData& d = impl_->data;
  const int32_t first = d.variables();
  d.lower.insert(d.lower.end(), lower.begin(), lower.end());
  d.upper.insert(d.upper.end(), upper.begin(), upper.end());
  d.start.insert(d.start.end(), start.begin(), start.end());
  return first;
}

void Model::setStart(std::span<const double> start) {
  requireSize(start.size(), impl_->data.start.size(), "the starting point");
  impl_->data.start.assign(start.begin(), start.end());
}

int32_t Model::variables() const { return impl_->data.variables(); }
int32_t Model::constraints() const { return impl_->data.constraints(); }

int32_t Model::addLinearConstraint(std::span<const LinearTerm> terms, double lower, double upper) {
  ModelData& d = impl_->data;
  for (const LinearTerm& t : terms) requireVariable(d, t.variable, "a linear constraint");
  const int32_t first = addConstraints(d, std::span<const double>(&lower, 1), std::span<const double>(&upper, 1), -1);
  for (const LinearTerm& t : terms) d.linear.push_back({first, t.variable, t.coefficient});
  return first;
}

int32_t Model::addLinearConstraints(std::span<const int32_t> rows, std::span<const int32_t> columns,
                                    std::span<const double> values, std::span<const double> lower,
                                    std::span<const double> upper) {
  ModelData& d = impl_->data;
  requireSize(columns.size(), rows.size(), "the triplets' columns");
  requireSize(values.size(), rows.size(), "the triplets' values");
  const int32_t count = static_cast<int32_t>(lower.size());
  for (size_t k = 0; k < rows.size(); ++k) {
    if (rows[k] < 0 || rows[k] >= count)
      throw std::invalid_argument("a linear constraint triplet names row " + std::to_string(rows[k]) + " of " +
                                  std::to_string(count));
    requireVariable(d, columns[k], "a linear constraint");
  }
  const int32_t first = addConstraints(d, lower, upper, -1);
  for (size_t k = 0; k < rows.size(); ++k) d.linear.push_back({first + rows[k], columns[k], values[k]});
  return first;
}

int32_t Model::addLinearConstraintsCsr(std::span<const int64_t> rowStart, std::span<const int32_t> columns,
                                       std::span<const double> values, std::span<const double> lower,
                                       std::span<const double> upper) {
  requireSize(rowStart.size(), lower.size() + 1, "the row starts");
  requireSize(values.size(), columns.size(), "the values");
  std::vector<int32_t> rows(columns.size());
  for (size_t r = 0; r < lower.size(); ++r) {
    if (rowStart[r] < 0 || rowStart[r] > rowStart[r + 1] || rowStart[r + 1] > static_cast<int64_t>(columns.size()))
      throw std::invalid_argument("the row starts are not increasing within the columns given");
    for (int64_t k = rowStart[r]; k < rowStart[r + 1]; ++k) rows[static_cast<size_t>(k)] = static_cast<int32_t>(r);
  }
  return addLinearConstraints(rows, columns, values, lower, upper);
}

int32_t Model::addNonlinearConstraints(NonlinearConstraintSpec spec) {
  ModelData& d = impl_->data;
  if (!spec.function) throw std::invalid_argument("nonlinear constraints need a function");
  requireSize(spec.lower.size(), static_cast<size_t>(spec.count), "the lower limits");
  for (const JacobianEntry& e : spec.pattern) {
    if (e.constraint < 0 || e.constraint >= spec.count)
      throw std::invalid_argument("a Jacobian entry names constraint " + std::to_string(e.constraint) + " of " +
                                  std::to_string(spec.count));
    requireVariable(d, e.variable, "a Jacobian entry");
  }
  const int32_t first = addConstraints(d, spec.lower, spec.upper, static_cast<int32_t>(d.blocks.size()));
  d.blockFirst.push_back(first);
  d.blocks.push_back(std::move(spec));
  return first;
}

void Model::setObjective(ObjectiveSpec spec) {
  for (int32_t v : spec.variables) requireVariable(impl_->data, v, "the objective");
  impl_->data.objective = std::move(spec);
}

void Model::setLinearObjective(std::span<const LinearTerm> terms, double constant) {
  for (const LinearTerm& t : terms) requireVariable(impl_->data, t.variable, "the linear objective");
  impl_->data.linearObjective.assign(terms.begin(), terms.end());
  impl_->data.objectiveConstant = constant;
}

void Model::setSense(Sense sense) { impl_->data.sense = sense; }

void Model::setHessian(std::vector<HessianEntry> pattern, ModelHessian function) {
  ModelData& d = impl_->data;
  if (function && pattern.empty())
    throw std::invalid_argument(
        "the Hessian's pattern is empty: list its lower triangle, or give a Hessian-vector product");
  for (size_t k = 0; k < pattern.size(); ++k) {
    const HessianEntry& e = pattern[k];
    requireVariable(d, e.row, "a Hessian entry");
    requireVariable(d, e.column, "a Hessian entry");
    // Mirroring it instead would double the entry of a caller who lists both triangles.
    if (e.row < e.column)
      throw std::invalid_argument("Hessian entry " + std::to_string(k) + " (row " + std::to_string(e.row) +
                                  ", column " + std::to_string(e.column) +
                                  ") lies above the diagonal: give the lower triangle (row >= column)");
  }
  d.hessian = {};
  if (!function) return;
  d.hessian.pattern = std::move(pattern);
  d.hessian.values = std::move(function);
}

void Model::setHessianProduct(ModelHessianProduct function) {
  impl_->data.hessian = {};
  impl_->data.hessian.product = std::move(function);
}

void Model::setOption(std::string_view line) {
  // Tried on a solver of its own, so that a refused line is reported here, not at the solve.
  Optimizer probe;
  if (probe.setSpecsLine(line) != 0) throw std::invalid_argument("'" + std::string(line) + "' is not an option");
  impl_->options.emplace_back(line);
}

void Model::setOption(std::string_view keywords, const OptionValue& value) { setOption(specsLine(keywords, value)); }

void Model::setOptions(const std::map<std::string, OptionValue>& options) {
  for (const auto& [keywords, value] : options) setOption(keywords, value);
}

void Model::setProgress(IterationCallback progress) { impl_->progress = std::move(progress); }

ModelResult Model::solve() { return impl_->run(nullptr); }
ModelResult Model::solve(const ModelResult& warmStart) { return impl_->run(&warmStart); }
const ModelResult& Model::lastResult() const { return impl_->last; }

}  // namespace kavro
