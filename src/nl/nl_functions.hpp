#pragma once
// The optimizer's nonlinear functions (kavro::NonlinearFunctions) served from a .nl model.
//
//   BuiltProblem built;  buildProblem(model, {}, built);
//   ModelFunctions functions(model, built);
//   options.functions = &functions;           // kavro::SolveOptions
//
// objective(): f over the first nNonlinObjVars variables: the objective's nonlinear part plus
// its linear terms in those columns (the later columns are in the objective row), with the
// gradient over all of them (0 for those it does not depend on).
// constraints(): F_i for the nonlinear rows: the nonlinear part plus the linear terms in the
// first nNonlinJacVars columns (the later ones stay in the matrix), and the Jacobian in the
// order of the matrix's elements in those rows and columns, column by column.
//
// Second derivatives: the Hessian of the Lagrangian (nl_hessian.hpp) over the model's variables,
// evaluated as a sparse triangle at each prepareHessian and multiplied by vectors from it, or,
// when that would take more than kMatrixGroups sweeps or the triangle is too large to store,
// products by sweeps without the matrix. It is built at the first prepareHessian, so that runs
// without exact second derivatives never pay for it.
//
// A function that cannot be evaluated at x sets mode to -1 and counts as one evaluation error;
// once the errors exceed the limit (if one is set) mode is -2, which stops the run. Everything
// is sized in the constructor: no call allocates. The model and the problem must outlive the
// object.

#include <cstdint>
#include <memory>
#include <vector>

#include "kavro/solver.hpp"
#include "nl/nl_evaluator.hpp"
#include "nl/nl_hessian.hpp"
#include "nl/nl_problem.hpp"

namespace kavro::nl {

class ModelFunctions final : public NonlinearFunctions {
 public:
  ModelFunctions(const Model& model, const BuiltProblem& built);

  void objective(int& mode, int n, const double* x, double& f, double* g, int nstate) override;
  void constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int nstate) override;

  bool hasSecondDerivatives() const override { return objectiveFunction_ >= 0 || nonlinearRows_ > 0; }
  bool prepareHessian(int nnv, const double* x, double sigma, int m, const double* w) override;
  // Column groups beyond which products go without the matrix: evaluating it costs a sweep per
  // group at every point, a product without it one sweep, and a direction takes tens of
  // products (up to 250 conjugate-gradient iterations).
  static constexpr int32_t kMatrixGroups = 64;
  void hessianProduct(int nnv, const double* v, double* hv) override;
  // The triangle itself, while products go through it (not in the form without the matrix).
  bool hessianTriangle(HessianTriangle& triangle) const override;

  // Errors beyond which mode -2 asks the optimizer to stop; negative: no limit (the default).
  void setErrorLimit(int64_t limit) { errorLimit_ = limit; }
  // Functions that could not be evaluated, over all calls so far.
  int64_t evaluationErrors() const { return errors_; }
  int64_t objectiveCalls() const { return objectiveCalls_; }
  int64_t constraintCalls() const { return constraintCalls_; }
  int32_t jacobianElements() const { return jacobianElements_; }

 private:
  void countErrors(int& mode, int64_t errors);

  const Model& model_;
  Evaluator ev_;
  int32_t objectiveFunction_ = -1;  // tape expression of the objective, -1 without
  int32_t nonlinearRows_ = 0, objVars_ = 0, jacVars_ = 0;
  std::vector<double> x_;                  // the whole point; columns beyond the prefixes unused
  std::vector<double> gradient_;           // one function's gradient on its G or J list
  std::vector<int32_t> jacobianPosition_;  // per J term of the nonlinear rows: -1 or its place in g
  int32_t jacobianElements_ = 0;
  int32_t hessianObjective_ = -1;     // the model objective whose Hessian counts, -1 none
  std::unique_ptr<Hessian> hessian_;  // built at the first prepareHessian
  bool productsOnly_ = false;         // the Hessian without its matrix
  std::vector<double> hessianValues_, constraintWeights_, hessianVector_, hessianResult_;
  int64_t errors_ = 0, errorLimit_ = -1, objectiveCalls_ = 0, constraintCalls_ = 0;
};

}  // namespace kavro::nl
