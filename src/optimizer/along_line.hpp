#pragma once
// The objective of the current phase along x + alfa p, as the linesearch evaluates it.

#include <algorithm>

#include "optimizer/linesearch.hpp"
#include "optimizer/main_loop.hpp"

namespace kavro {

// The objective along x + alfa p, for the linesearch: only the nonlinear variables and the
// objective slack matter, so only their basis positions are followed. f and gtp are in the
// minimized sense: the subproblem objective plus sigma times the objective row's part.
struct MainLoop::AlongLine final : LineFunction {
  explicit AlongLine(MainLoop& loop) : ml(loop), positions(loop.linePositions_) {
    const int32_t count = ml.m_ + ml.in_.state.ns;
    const int32_t nNonlin = ml.prob_.nNonlinVars();
    positions.clear();  // keeps its capacity: sized once for every basic and superbasic position
    for (int32_t k = 0; k < count; ++k) {
      const int32_t j = ml.basis_.at(k);
      if (j == ml.objSlack_) objSlackPos = k;
      else if (j < nNonlin && ml.p_dir_[static_cast<size_t>(k)] != 0.0) positions.push_back(k);
    }
    objScale = (ml.objSlack_ >= 0 && !ml.in_.scaling.factors.empty()) ? ml.in_.scaling.factors[static_cast<size_t>(ml.objSlack_)] : 1.0;
  }

  int evaluate(double alfa, bool wantGradient, double& f, double& gtp) override {
    const int32_t nNonlin = ml.prob_.nNonlinVars();
    double* xt = ml.xTrial_.data();
    std::copy(ml.x_.begin(), ml.x_.begin() + nNonlin, xt);
    for (int32_t k : positions) {
      const size_t uk = static_cast<size_t>(k);
      xt[ml.basis_.at(k)] += alfa * ml.p_dir_[uk];
    }
    const int32_t status = ml.evaluateSubproblem(xt, wantGradient, ml.fUserTrial_, ml.fTrial_, ml.gTrial_.data());
    if (status != 0) return status;
    double linear = 0.0, pObjSlack = 0.0;
    if (objSlackPos >= 0) {
      pObjSlack = ml.p_dir_[static_cast<size_t>(objSlackPos)];
      linear = -(ml.x_[static_cast<size_t>(ml.objSlack_)] + alfa * pObjSlack) * objScale;
    }
    f = ml.fTrial_ + ml.sigma_ * linear;
    if (wantGradient) {
      double sum = -ml.sigma_ * objScale * pObjSlack;
      for (int32_t k : positions) {
        const size_t uk = static_cast<size_t>(k);
        sum += ml.gTrial_[static_cast<size_t>(ml.basis_.at(k))] * ml.p_dir_[uk];
      }
      gtp = sum;
    }
    return 0;
  }

  MainLoop& ml;
  std::vector<int32_t>& positions;
  int32_t objSlackPos = -1;
  double objScale = 1.0;
};

}  // namespace kavro
