#pragma once
// The optimizer's nonlinear functions served by the host: the model object evaluates the
// nonlinear parts of the objective and of the nonlinear rows with their gradients; the linear
// terms of the nonlinear columns are added here. Evaluation errors are counted in the context;
// a point with errors is reported as undefined, and once their total passes "DomLim" the run is
// asked to stop.

#include <cstdint>
#include <vector>

#include "kavro/solver.hpp"
#include "link/link_context.hpp"

namespace kavro::link {

class HostFunctions final : public NonlinearFunctions {
 public:
  // n: the model's columns (the dense gradients the host returns have n entries).
  HostFunctions(LinkContext& ctx, int32_t n);

  void objective(int& mode, int n, const double* x, double& f, double* g, int nstate) override;
  void constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int nstate) override;

 private:
  // Adds this call's errors; returns the mode to report (unchanged, -1 or -2).
  int countErrors(int errors, int mode);
  // The host reads points of the model's full width: the nonlinear variables the optimizer
  // passes, zeros for the linear ones (which no nonlinear term depends on).
  const double* fullPoint(const double* x, int n);

  LinkContext& ctx_;
  std::vector<int> columns_, nonlinear_;
  std::vector<double> values_, gradient_, point_;
  std::vector<int32_t> filled_;  // Jacobian entries stored so far, per column
};

}  // namespace kavro::link
