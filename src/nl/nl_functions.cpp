#include "nl/nl_functions.hpp"

#include <algorithm>
#include <limits>

namespace kavro::nl {

namespace {

// The place of term (row i, column j) in row i's J list, found by bisection (the lists are
// sorted by column).
int32_t termIndex(const LinearParts& J, int32_t i, int32_t j) {
  const LinearTerm* begin = J.begin(i);
  const LinearTerm* end = J.end(i);
  const LinearTerm* t = std::lower_bound(begin, end, j, [](const LinearTerm& a, int32_t v) { return a.var < v; });
  return t != end && t->var == j ? static_cast<int32_t>(t - J.terms.data()) : -1;
}

}  // namespace

ModelFunctions::ModelFunctions(const Model& model, const BuiltProblem& built)
    : model_(model),
      ev_(model),
      nonlinearRows_(built.problem.nNonlinCons),
      objVars_(built.problem.nNonlinObjVars),
      jacVars_(built.problem.nNonlinJacVars),
      x_(model.x0),
      jacobianPosition_(static_cast<size_t>(model.conLinear.start[static_cast<size_t>(built.problem.nNonlinCons)]),
                        -1) {
  if (built.objective >= 0 && objVars_ > 0) {
    objectiveFunction_ = model.objExpression(built.objective);
    hessianObjective_ = built.objective;
  }
  size_t longest = objectiveFunction_ >= 0 ? static_cast<size_t>(ev_.termCount(objectiveFunction_)) : 0;
  for (int32_t i = 0; i < nonlinearRows_; ++i)
    longest = std::max(longest, static_cast<size_t>(model.conLinear.size(i)));
  gradient_.assign(std::max(longest, size_t{1}), 0.0);
  // The Jacobian vector follows the matrix: column by column, the rows of the nonlinear block
  // in the order the column holds them.
  const SparseMatrix& a = built.problem.a;
  for (int32_t j = 0; j < jacVars_; ++j)
    for (int32_t k = a.colStart[static_cast<size_t>(j)]; k < a.colStart[static_cast<size_t>(j) + 1]; ++k) {
      const int32_t row = a.row[static_cast<size_t>(k)];
      if (row >= nonlinearRows_) continue;
      const int32_t term = termIndex(model.conLinear, row, j);
      if (term >= 0) jacobianPosition_[static_cast<size_t>(term)] = jacobianElements_;
      ++jacobianElements_;
    }
}

void ModelFunctions::countErrors(int& mode, int64_t errors) {
  if (errors == 0) return;
  errors_ += errors;
  mode = errorLimit_ >= 0 && errors_ > errorLimit_ ? -2 : -1;
}

void ModelFunctions::objective(int& mode, int n, const double* x, double& f, double* g, int) {
  ++objectiveCalls_;
  f = 0.0;
  std::fill(g, g + n, 0.0);
  if (objectiveFunction_ < 0) return;
  std::copy(x, x + std::min(n, objVars_), x_.begin());
  ev_.setPoint(x_.data());
  double nonlinear = 0.0;
  if (!ev_.gradient(objectiveFunction_, nonlinear, gradient_.data())) return countErrors(mode, 1);
  f = nonlinear;
  const LinearTerm* t = ev_.termsBegin(objectiveFunction_);
  const int32_t count = ev_.termCount(objectiveFunction_);
  for (int32_t k = 0; k < count && t[k].var < n; ++k) {
    f += t[k].coef * x[t[k].var];
    g[t[k].var] = gradient_[static_cast<size_t>(k)];
  }
}

void ModelFunctions::constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int) {
  ++constraintCalls_;
  std::copy(x, x + std::min(n, jacVars_), x_.begin());
  ev_.setPoint(x_.data());
  int64_t errors = 0;
  const LinearParts& J = model_.conLinear;
  for (int32_t i = 0; i < std::min(m, nonlinearRows_); ++i) {
    double nonlinear = 0.0;
    if (!ev_.gradient(model_.conExpression(i), nonlinear, gradient_.data())) {
      ++errors;
      continue;
    }
    double value = nonlinear;
    const int32_t first = J.start[static_cast<size_t>(i)];
    const LinearTerm* t = J.begin(i);
    for (int32_t k = 0; k < J.size(i); ++k) {
      const int32_t place = jacobianPosition_[static_cast<size_t>(first + k)];
      if (place < 0) continue;  // a column beyond the nonlinear ones: a matrix coefficient
      value += t[k].coef * x[t[k].var];
      if (place < njac) g[place] = gradient_[static_cast<size_t>(k)];
    }
    f[i] = value;
  }
  countErrors(mode, errors);
}

bool ModelFunctions::prepareHessian(int nnv, const double* x, double sigma, int m, const double* w) {
  if (!hessian_) {
    try {
      hessian_ = std::make_unique<Hessian>(model_, hessianObjective_);
      productsOnly_ = hessian_->groups() > kMatrixGroups;
    } catch (const HessianTooLarge&) {
      productsOnly_ = true;
    }
    if (productsOnly_) hessian_ = std::make_unique<Hessian>(model_, hessianObjective_, Hessian::kProductsOnly);
    hessianValues_.assign(productsOnly_ ? 0 : static_cast<size_t>(hessian_->nonzeros()), 0.0);
    constraintWeights_.assign(static_cast<size_t>(model_.nCons()), 0.0);
    hessianVector_.assign(static_cast<size_t>(model_.nVars()), 0.0);
    hessianResult_.assign(static_cast<size_t>(model_.nVars()), 0.0);
  }
  std::copy(x, x + std::min(nnv, model_.nVars()), x_.begin());
  std::fill(constraintWeights_.begin(), constraintWeights_.end(), 0.0);
  std::copy(w, w + std::min({m, nonlinearRows_, model_.nCons()}), constraintWeights_.begin());
  if (productsOnly_) return hessian_->preparePoint(x_.data(), sigma, constraintWeights_.data());
  return hessian_->evaluate(x_.data(), sigma, constraintWeights_.data(), hessianValues_.data());
}

// The triangle stands for the symmetric matrix: each entry below the diagonal counts twice.
void ModelFunctions::hessianProduct(int nnv, const double* v, double* hv) {
  std::fill(hv, hv + nnv, 0.0);
  if (!hessian_) return;
  if (productsOnly_) {
    // The variables beyond the nonlinear ones have no second derivatives: their part of v is 0.
    std::copy(v, v + nnv, hessianVector_.begin());
    if (!hessian_->product(hessianVector_.data(), hessianResult_.data()))
      std::fill(hessianResult_.begin(), hessianResult_.end(), std::numeric_limits<double>::quiet_NaN());
    std::copy(hessianResult_.begin(), hessianResult_.begin() + nnv, hv);
    return;
  }
  const double* h = hessianValues_.data();
  for (int64_t k = 0; k < hessian_->nonzeros(); ++k) {
    const int32_t i = hessian_->rowOf(k), j = hessian_->colOf(k);
    if (i >= nnv || j >= nnv) continue;
    hv[i] += h[k] * v[j];
    if (i != j) hv[j] += h[k] * v[i];
  }
}

bool ModelFunctions::hessianTriangle(HessianTriangle& triangle) const {
  if (!hessian_ || productsOnly_) return false;
  triangle = {hessian_->nonzeros(), hessian_->entryRows(), hessian_->entryCols(), hessianValues_.data()};
  return true;
}

}  // namespace kavro::nl
