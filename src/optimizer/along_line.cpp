#include "optimizer/along_line.hpp"

#include <algorithm>

namespace kavro {

LineObjective::LineObjective(SubproblemObjective& objective, const double* x, const int32_t* list, const double* p,
                             int32_t count)
    : objective_(objective), x_(x), list_(list), p_(p), positions_(objective.linePositions()) {
  const int32_t objSlack = objective.objSlack();
  const int32_t nNonlin = objective.nonlinearVariables();
  positions_.clear();  // keeps its capacity: sized once for every basic and superbasic position
  for (int32_t k = 0; k < count; ++k) {
    const int32_t j = list[k];
    if (j == objSlack) objSlackPos_ = k;
    else if (j < nNonlin && p[k] != 0.0) positions_.push_back(k);
  }
  objScale_ = objective.objScale();
}

int LineObjective::evaluate(double alfa, bool wantGradient, double& f, double& gtp) {
  const int32_t nNonlin = objective_.nonlinearVariables();
  double* xt = objective_.trialPoint();
  std::copy(x_, x_ + nNonlin, xt);
  for (int32_t k : positions_) xt[list_[k]] += alfa * p_[k];
  const int32_t status = objective_.evaluate(xt, wantGradient);
  if (status != 0) return status;
  const double sigma = objective_.sigma();
  double linear = 0.0, pObjSlack = 0.0;
  if (objSlackPos_ >= 0) {
    pObjSlack = p_[objSlackPos_];
    linear = -(x_[objective_.objSlack()] + alfa * pObjSlack) * objScale_;
  }
  f = objective_.trialValue() + sigma * linear;
  if (wantGradient) {
    const double* g = objective_.trialGradient();
    double sum = -sigma * objScale_ * pObjSlack;
    for (int32_t k : positions_) sum += g[list_[k]] * p_[k];
    gtp = sum;
  }
  return 0;
}

}  // namespace kavro
