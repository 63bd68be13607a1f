#pragma once
// The solver entry's nonlinear functions (kavro::NonlinearFunctions) served by a model's
// callbacks.
//
// The solver passes the first nNonlinObjVars (objective) or nNonlinJacVars (constraints)
// columns; they are copied into the caller's numbering over the model's starting point, so a
// callback always sees a whole point (the variables it does not depend on keep their start).
// Gradients come back in the caller's numbering and are copied to the columns; each block's
// Jacobian comes back in its pattern's order and is copied to the places the layout gave it.
// The linear objective terms of the first nNonlinObjVars columns and, for a nonlinear
// objective, the constant are added here.
//
// A callback that returns false or a value that is not finite marks the point undefined (mode
// -1: the solver shortens its step). One that throws stops the run (mode -2); the exception is
// kept for the caller to rethrow. Everything is sized in the constructor: no call allocates.
//
// Second derivatives (model_second_derivatives.cpp), when the model gives them: the solver asks
// for the Hessian of sigma f + sum_i w_i F_i over its nonlinear columns, F_i its nonlinear rows.
// F_i is the caller's c_i, so the caller's Lagrangian sigma' f + sum lambda_i c_i, turned by the
// sense s (+1 minimize, -1 maximize: the solver minimizes s f), matches it with
//     sigma' = s sigma,   lambda_i = s w_(row of i),   H = s H'.
// With the solver's sigma = s this hands the caller sigma' = 1 and, at a solution, the
// multipliers of ModelResult in either sense. A Hessian callback that fails makes
// prepareHessian false, or a product NaN, which the solver takes as no second derivatives
// there; one that throws also stops the run at the next evaluation, as any other does.

#include <cstdint>
#include <exception>
#include <vector>

#include "kavro/solver.hpp"
#include "model/model_layout.hpp"

namespace kavro::model {

struct CallCounts {
  int64_t objective = 0, gradient = 0, constraints = 0, jacobian = 0, hessian = 0;
};

class ModelFunctions final : public NonlinearFunctions {
 public:
  ModelFunctions(const ModelData& data, const Layout& layout);

  void objective(int& mode, int n, const double* x, double& f, double* g, int nstate) override;
  void constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int nstate) override;

  bool hasSecondDerivatives() const override { return data_.hessian.given(); }
  bool prepareHessian(int nnv, const double* x, double sigma, int m, const double* w) override;
  void hessianProduct(int nnv, const double* v, double* hv) override;

  // The nonlinear rows' values and Jacobian at the caller's point (in the caller's numbering):
  // false when a callback failed there (an exception is kept, as in a run).
  // jacobian is sized to the Jacobian's places and filled only when withJacobian.
  bool evaluateRows(const std::vector<double>& point, bool withJacobian, std::vector<double>& values,
                    std::vector<double>& jacobian);

  const CallCounts& counts() const { return counts_; }
  std::exception_ptr failure() const { return failure_; }

 private:
  void load(const double* x, int n);
  bool callObjective(int n, const double* x, double& f, double* g);
  bool callBlocks(int m, double* f, double* g, int njac);
  template <class Call>
  bool attempt(Call&& call);
  template <class Call>
  void guarded(int& mode, Call&& call);
  bool callHessian();
  bool callHessianProduct(int nnv, const double* v);

  const ModelData& data_;
  const Layout& layout_;
  std::vector<double> point_;                           // the caller's numbering
  std::vector<double> gradient_;                        // the caller's numbering
  std::vector<std::vector<double>> values_, jacobian_;  // per block
  // The point, weights and values of the last prepareHessian; the product's vectors, all in
  // the caller's numbering.
  std::vector<double> hessianPoint_, lambda_, hessianValues_, productIn_, productOut_;
  double hessianSigma_ = 1.0;
  double senseSign_ = 1.0;
  CallCounts counts_;
  std::exception_ptr failure_;
};

// False when the call failed or threw (the exception is kept); after a callback threw, the run
// is ending: no further calls.
template <class Call>
bool ModelFunctions::attempt(Call&& call) {
  if (failure_) return false;
  try {
    return call();
  } catch (...) {
    failure_ = std::current_exception();
    return false;
  }
}

}  // namespace kavro::model
