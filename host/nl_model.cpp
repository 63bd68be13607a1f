#include "nl_model.hpp"

#include <algorithm>
#include <cmath>
#include <new>

#include "host_rows.hpp"
#include "nl/nl_names.hpp"
#include "nl/nl_problem.hpp"
#include "nl/nl_reader.hpp"

namespace qarn {

namespace {

using kavro::nl::LinearParts;
using kavro::nl::LinearTerm;

extern "C" int nlNewPoint(void* user, const double* x) {
  static_cast<NlModelSource*>(user)->newPoint(x);
  return 0;
}

extern "C" int nlRow(void* user, int row, const double* x, double* f, double* gradient, int* errors) {
  return static_cast<NlModelSource*>(user)->row(row, x, *f, gradient, *errors);
}

extern "C" int nlObjective(void* user, const double* x, double* f, double* gradient, int* errors) {
  return static_cast<NlModelSource*>(user)->objective(x, *f, gradient, *errors);
}

// The Hessian is built at its first use, which may find no memory for it: no exception may
// cross the C interface, so that is a model without second derivatives.
extern "C" int nlHessianStructure(void* user, int64_t* count, const int** rows, const int** columns) {
  try {
    return static_cast<NlModelSource*>(user)->hessianStructure(*count, *rows, *columns);
  } catch (const std::bad_alloc&) {
    return 1;
  }
}

extern "C" int nlHessianValues(void* user, const double* x, double objWeight, const double* rowWeights,
                               double* values, int* errors) {
  try {
    return static_cast<NlModelSource*>(user)->hessianValues(x, objWeight, rowWeights, values, *errors);
  } catch (const std::bad_alloc&) {
    return 1;
  }
}

extern "C" int nlHessianProduct(void* user, const double* x, double objWeight, const double* rowWeights,
                                const double* v, double* hv, int* errors) {
  try {
    return static_cast<NlModelSource*>(user)->hessianProduct(x, objWeight, rowWeights, v, hv, *errors);
  } catch (const std::bad_alloc&) {
    return 1;
  }
}

constexpr qmoEvaluator kEvaluator{nlNewPoint,         nlRow,           nlObjective,
                                  nlHessianStructure, nlHessianValues, nlHessianProduct};

// Marks the terms of function k of parts whose variable occurs in expression e.
void markNonlinear(const kavro::nl::Model& m, const LinearParts& parts, int32_t k, int32_t e, std::vector<uint8_t>& flags) {
  const int32_t* var = m.expressionVars.begin(e);
  const int32_t* end = m.expressionVars.end(e);
  for (int32_t t = parts.start[static_cast<size_t>(k)]; t < parts.start[static_cast<size_t>(k) + 1]; ++t)
    flags[static_cast<size_t>(t)] = std::binary_search(var, end, parts.terms[static_cast<size_t>(t)].var) ? 1 : 0;
}

std::string nameOf(const std::vector<std::string>& names, int k, const char* prefix) {
  return static_cast<size_t>(k) < names.size() ? names[static_cast<size_t>(k)] : prefix + std::to_string(k + 1);
}

}  // namespace

NlModelSource::~NlModelSource() {
  if (handle_) qmoSetEvaluator(handle_, nullptr, nullptr);
}

std::string NlModelSource::load(qmoHandle_t model, const std::string& path, bool relaxIntegers,
                                const kavro::nl::StopCheck& stop, std::string* notes) {
  if (!model) return "no model object";
  kavro::nl::ReadResult r = kavro::nl::readNlFile(path, stop);
  for (const std::string& w : r.warnings)
    if (notes) *notes += "warning: " + path + ": " + w + "\n";
  if (!r.ok) return r.error;
  model_ = std::move(r.model);
  try {
    evaluator_ = std::make_unique<kavro::nl::Evaluator>(model_);
    if (std::string error = fill(model, kavro::nl::stubOf(path), relaxIntegers); !error.empty()) return path + ": " + error;
  } catch (const std::bad_alloc&) {
    return path + ": not enough memory for a model of " + std::to_string(model_.nVars()) + " variables and " +
           std::to_string(model_.nCons()) + " constraints";
  }
  if (qmoSetEvaluator(model, &kEvaluator, this) != 0) return "the model object refused the evaluator";
  handle_ = model;
  return {};
}

std::string NlModelSource::fill(qmoHandle_t h, const std::string& stub, bool relaxIntegers) {
  kavro::nl::BuiltProblem built;
  kavro::nl::BuildOptions options;
  options.relaxIntegers = relaxIntegers;
  if (std::string error = kavro::nl::buildProblem(model_, options, built); !error.empty()) return error;
  const kavro::Problem& p = built.problem;
  const kavro::ProblemState& start = built.state;
  const size_t n = static_cast<size_t>(p.n);
  const std::vector<std::string> columns = kavro::nl::readAuxiliaryNames(stub + ".col", p.n);
  const std::vector<std::string> rows = kavro::nl::readAuxiliaryNames(stub + ".row", model_.nCons());
  for (int j = 0; j < p.n; ++j)
    if (qmoAddVar(h, nameOf(columns, j, "x").c_str(), p.lower[static_cast<size_t>(j)], start.x[static_cast<size_t>(j)],
                  p.upper[static_cast<size_t>(j)], qmoBstatLower) < 0)
      return "variable " + nameOf(columns, j, "x") + " has bounds the host cannot take";
  std::string error;
  for (int i = 0; i < model_.nCons(); ++i) {
    const size_t slack = n + static_cast<size_t>(i);
    if (addHostRow(h, nameOf(rows, i, "r"), p.lower[slack], p.upper[slack], -start.x[slack],
                   start.pi[static_cast<size_t>(i)], error) != i)
      return error;
  }
  // Entries: nonlinear where the column occurs in the function's nonlinear part, with the
  // derivative at the starting point as value.
  conNonlinear_.assign(model_.conLinear.terms.size(), 0);
  objNonlinear_.assign(model_.objLinear.terms.size(), 0);
  size_t longest = 1;
  for (int32_t i = 0; i < model_.nCons(); ++i) longest = std::max(longest, static_cast<size_t>(model_.conLinear.size(i)));
  for (int32_t k = 0; k < model_.nObjs(); ++k) longest = std::max(longest, static_cast<size_t>(model_.objLinear.size(k)));
  gradient_.assign(longest, 0.0);
  evaluator_->setPoint(model_.x0.data());
  auto addEntries = [&](int row, const LinearParts& parts, int32_t k, int32_t e, std::vector<uint8_t>& flags) {
    markNonlinear(model_, parts, k, e, flags);
    double unused = 0.0;
    const bool derivatives = evaluator_->gradient(e, unused, gradient_.data());
    const int32_t first = parts.start[static_cast<size_t>(k)];
    for (int32_t t = 0; t < parts.size(k); ++t) {
      const LinearTerm& term = parts.terms[static_cast<size_t>(first + t)];
      const bool nonlinear = flags[static_cast<size_t>(first + t)] != 0;
      const double value = nonlinear && derivatives ? gradient_[static_cast<size_t>(t)] : term.coef;
      if (qmoAddEntry(h, row, term.var, value, nonlinear ? 1 : 0) != 0) return false;
    }
    return true;
  };
  for (int32_t i = 0; i < model_.nCons(); ++i)
    if (!addEntries(i, model_.conLinear, i, model_.conExpression(i), conNonlinear_)) return "an entry of row " + nameOf(rows, i, "r");
  secondOrder_ = std::make_unique<kavro::nl::ModelFunctions>(model_, built);
  hessianPoint_.assign(static_cast<size_t>(model_.nVars()), 0.0);
  hessianWeights_.assign(static_cast<size_t>(model_.nCons()), 0.0);
  if (built.objective < 0) return qmoSetObjective(h, 0, 0, 0.0) == 0 ? std::string() : "the objective";
  if (!addEntries(-1, model_.objLinear, built.objective, model_.objExpression(built.objective), objNonlinear_))
    return "an entry of the objective";
  return qmoSetObjective(h, 1, built.maximize ? 1 : 0, p.objConstant) == 0 ? std::string() : "the objective";
}

// The nonlinear part of function f (its expression and the linear terms of its nonlinear
// columns) and its derivatives at those columns, at the evaluator's point (x: the same point).
int NlModelSource::function(int32_t f, const std::vector<uint8_t>& nonlinearTerm, int32_t firstTerm, const double* x,
                            double& value, double* gradient, int& errors) {
  double nonlinear = 0.0;
  errors = evaluator_->gradient(f, nonlinear, gradient_.data()) ? 0 : 1;
  if (errors != 0) return 0;
  const LinearTerm* t = evaluator_->termsBegin(f);
  value = nonlinear;
  for (int32_t k = 0; k < evaluator_->termCount(f); ++k) {
    if (!nonlinearTerm[static_cast<size_t>(firstTerm + k)]) continue;
    value += t[k].coef * x[t[k].var];
    gradient[t[k].var] = gradient_[static_cast<size_t>(k)];
  }
  return 0;
}

int NlModelSource::row(int row, const double* x, double& f, double* gradient, int& errors) {
  if (row < 0 || row >= model_.nCons()) return 1;
  return function(model_.conExpression(row), conNonlinear_, model_.conLinear.start[static_cast<size_t>(row)], x, f,
                  gradient, errors);
}

int NlModelSource::objective(const double* x, double& f, double* gradient, int& errors) {
  if (model_.nObjs() == 0) return 1;
  evaluator_->setPoint(x);
  return function(model_.objExpression(0), objNonlinear_, model_.objLinear.start[0], x, f, gradient, errors);
}

// The command's functions take the point over the .nl variables (the host's first columns) and
// the weights of the nonlinear rows (the host's rows are the .nl constraints, in order).
bool NlModelSource::prepareHessian(const double* x, double objWeight, const double* rowWeights) {
  const int32_t n = model_.nVars(), m = model_.nCons();
  if (hessianReady_ && objWeight == hessianObjWeight_ && std::equal(x, x + n, hessianPoint_.begin()) &&
      std::equal(rowWeights, rowWeights + m, hessianWeights_.begin()))
    return true;
  std::copy(x, x + n, hessianPoint_.begin());
  std::copy(rowWeights, rowWeights + m, hessianWeights_.begin());
  hessianObjWeight_ = objWeight;
  hessianReady_ = secondOrder_->prepareHessian(n, x, objWeight, m, rowWeights);
  hessianBuilt_ = true;
  return hessianReady_;
}

int NlModelSource::hessianStructure(int64_t& count, const int*& rows, const int*& columns) {
  if (!secondOrder_) return 1;
  if (!hessianBuilt_) {
    // The Hessian is built by its first evaluation: one at the start with no weight is cheap.
    secondOrder_->prepareHessian(model_.nVars(), model_.x0.data(), 0.0, 0, hessianWeights_.data());
    hessianBuilt_ = true;
    hessianReady_ = false;
  }
  kavro::NonlinearFunctions::HessianTriangle t;
  if (!secondOrder_->hessianTriangle(t)) return 1;  // products only
  count = t.nnz;
  rows = t.rows;
  columns = t.cols;
  return 0;
}

int NlModelSource::hessianValues(const double* x, double objWeight, const double* rowWeights, double* values,
                                 int& errors) {
  if (!secondOrder_) return 1;
  errors = prepareHessian(x, objWeight, rowWeights) ? 0 : 1;
  kavro::NonlinearFunctions::HessianTriangle t;
  if (!secondOrder_->hessianTriangle(t)) return 1;
  if (errors == 0) std::copy(t.values, t.values + t.nnz, values);
  return 0;
}

int NlModelSource::hessianProduct(const double* x, double objWeight, const double* rowWeights, const double* v,
                                  double* hv, int& errors) {
  if (!secondOrder_) return 1;
  const int32_t n = model_.nVars();
  std::fill(hv, hv + qmoHostN(handle_), 0.0);  // the range columns have no second derivatives
  errors = prepareHessian(x, objWeight, rowWeights) ? 0 : 1;
  if (errors == 0) secondOrder_->hessianProduct(n, v, hv);
  if (!std::all_of(hv, hv + n, [](double h) { return std::isfinite(h); })) errors = 1;
  return 0;
}

}  // namespace qarn
