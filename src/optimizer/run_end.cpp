// End of a run: states back to their external form, final prices and reduced costs, the
// outcome handed to the driver, the final basis save and the statistics block.

#include <algorithm>
#include <cmath>

#include "driver/run_hooks.hpp"
#include "optimizer/main_loop.hpp"

namespace kavro {

void MainLoop::computeFinalReducedCosts() {
  if (fc_.factorizations == 0 || ctx_.exitCode == 20 || ctx_.exitCode == 21 || ctx_.exitCode == 22 ||
      ctx_.exitCode == 32)
    return;
  // Prices for the final point: phase-1 prices when it is infeasible, else the objective's.
  countInfeasibilities();
  computePrices();
  priceColumns(prob_, pi_.data(), nullptr, 0, n_, dj_.data());
  for (int32_t i = 0; i < m_; ++i) dj_[static_cast<size_t>(n_ + i)] = -pi_[static_cast<size_t>(i)];
  for (int32_t k = 0; k < m_; ++k) {
    const size_t j = static_cast<size_t>(basisList_[static_cast<size_t>(k)]);
    if (static_cast<int32_t>(j) == objSlack_) continue;
    dj_[j] = 0.0;
  }
}

void MainLoop::publishProgress() {
  ctx_.itn = itn_;
  ctx_.ninf = ninf_;
  ctx_.sinf = sinf_;
  ctx_.objValue = trueObjective();
  ctx_.piNorm = piNorm_;
}

void MainLoop::finish() {
  computeFinalReducedCosts();
  toExternalStates();
  publishProgress();
  if (p_.newBasisFile > 0 && ctx_.exitCode < 20) saveBasisFiles(ctx_, itn_, ctx_.exitCode + 1);

  RunStatistics s;
  s.problemName = p_.problemName;
  s.itn = itn_;
  s.objective = ctx_.objValue;
  s.ninf = ninf_;
  s.sinf = sinf_;
  s.ns = ctx_.state.ns;
  s.nDegenerate = nDegenerate_;
  printRunStatistics(s, ctx_.out);
}

CycleIterations runMainLoop(RunContext& ctx) {
  MainLoop loop(ctx);
  return loop.run();
}

}  // namespace kavro
