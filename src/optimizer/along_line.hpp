#pragma once
// The objective of the current phase along x + alfa p, as the linesearch evaluates it. Only the
// nonlinear variables and the objective row's slack matter, so only their basis positions are
// followed. f and gtp are in the minimized sense: the subproblem objective plus sigma times the
// objective row's part.

#include <cstdint>
#include <vector>

#include "optimizer/linesearch.hpp"
#include "optimizer/subproblem_objective.hpp"

namespace kavro {

class LineObjective final : public LineFunction {
 public:
  // The direction p covers count basis positions, whose variables list gives; x is the point.
  LineObjective(SubproblemObjective& objective, const double* x, const int32_t* list, const double* p, int32_t count);
  int evaluate(double alfa, bool wantGradient, double& f, double& gtp) override;

 private:
  SubproblemObjective& objective_;
  const double* x_;
  const int32_t* list_;
  const double* p_;
  std::vector<int32_t>& positions_;  // the nonlinear variables' positions where p is nonzero
  int32_t objSlackPos_ = -1;
  double objScale_ = 1.0;
};

}  // namespace kavro
