#pragma once
// The optimizer's nonlinear functions served by the host: the model object evaluates the
// nonlinear parts of the objective and of the nonlinear rows with their gradients; the linear
// terms of the nonlinear columns are added here. Evaluation errors are counted in the context;
// a point with errors is reported as undefined, and once their total passes "DomLim" the run is
// asked to stop.
//
// Second derivatives, when the host's model has them (qmoHaveHessLag) and the caller offers them
// (the solve strategy, or a "Hessian option" the user set): the Hessian of the Lagrangian
//   sigma f(x) + sum_i w_i F_i(x)
// is the host's with objective weight sigma (the host's objective is the optimizer's f, its
// sense a "Maximize" line) and row weights w_i on the first (nonlinear) rows of the view, 0 on
// the others; the linear terms added here have none. The view's columns are the optimizer's, so
// the host's triangle over the first nnv columns is the optimizer's as it stands. A host that
// keeps a triangle gives its values once per point and the products are taken over them here
// (entries outside the nonlinear variables dropped, each pair turned into the lower triangle);
// one that serves products only is asked for each product. A point where the host reports
// errors counts them as any evaluation and has no Hessian (the optimizer then steps by its
// quasi-Newton model).

#include <cstdint>
#include <vector>

#include "kavro/solver.hpp"
#include "link/link_context.hpp"

namespace kavro::link {

class HostFunctions final : public NonlinearFunctions {
 public:
  // n: the model's columns (the dense gradients the host returns have n entries); hostRows: the
  // rows of the view; offerSecondDerivatives: whether the host's are offered to the optimizer.
  HostFunctions(LinkContext& ctx, int32_t n, int32_t hostRows, bool offerSecondDerivatives);

  void objective(int& mode, int n, const double* x, double& f, double* g, int nstate) override;
  void constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int nstate) override;

  bool hasSecondDerivatives() const override { return secondDerivatives_; }
  bool prepareHessian(int nnv, const double* x, double sigma, int m, const double* w) override;
  void hessianProduct(int nnv, const double* v, double* hv) override;
  bool hessianTriangle(HessianTriangle& triangle) const override;

 private:
  enum class HessianForm { kNotSetUp, kNone, kTriangle, kProducts };
  // At the first prepareHessian: the host's triangle over the first nnv columns, or products.
  void setUpHessian(int nnv);
  bool evaluateTriangle();
  void productFromHost(int nnv, const double* v, double* hv);

  // Adds this call's errors; returns the mode to report (unchanged, -1 or -2).
  int countErrors(int errors, int mode);
  // The host reads points of the model's full width: the nonlinear variables the optimizer
  // passes, zeros for the linear ones (which no nonlinear term depends on).
  const double* fullPoint(const double* x, int n);

  LinkContext& ctx_;
  std::vector<int> columns_, nonlinear_;
  std::vector<double> values_, gradient_, point_;
  std::vector<int32_t> filled_;  // Jacobian entries stored so far, per column

  bool secondDerivatives_ = false;
  HessianForm hessianForm_ = HessianForm::kNotSetUp;
  double objectiveWeight_ = 0.0;
  std::vector<double> hessianPoint_, rowWeights_;           // as prepared, the view's full width
  std::vector<int32_t> triangleRows_, triangleColumns_;     // the kept entries, 0-based
  std::vector<int64_t> hostEntry_;                          // per kept entry: its place in the host's
  std::vector<double> hostValues_, triangleValues_;         // the host's values, the kept ones
  std::vector<double> productVector_, productResult_;      // a product through the host, full width
};

}  // namespace kavro::link
