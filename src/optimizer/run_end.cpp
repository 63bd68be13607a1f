// End of a run: states back to their external form, final prices and reduced costs, the
// outcome handed to the driver, the final basis save and the statistics block.

#include <algorithm>
#include <cmath>

#include "files/variable_names.hpp"
#include "optimizer/main_loop.hpp"

namespace kavro {

void MainLoop::computeFinalReducedCosts() {
  const ExitCode e = outcome_.exitCode;
  if (basis_.counters().factorizations == 0 || e == kNoStorageForFactors || e == kBasisPackageError || e == kSingularBasis ||
      e == kTooManyBasics)
    return;
  // Prices for the final point: phase-1 prices when it is infeasible, else the objective's.
  countInfeasibilities();
  computePrices();
  const bool withGradient = feasibility_.ninf() == 0 && objective_.nonlinear() && objective_.evaluated();
  priceColumns(prob_, pi_.data(), withGradient ? objective_.gradient() : nullptr, 0, n_, dj_.data());
  for (int32_t i = 0; i < m_; ++i) dj_[static_cast<size_t>(n_ + i)] = -pi_[static_cast<size_t>(i)];
  for (int32_t k = 0; k < m_; ++k) {
    const size_t j = static_cast<size_t>(basis_.at(k));
    if (static_cast<int32_t>(j) == objective_.objSlack()) continue;
    dj_[j] = 0.0;
  }
}

// The nonlinear objective's gradient for the reports, in the user's units and sign.
void MainLoop::publishObjectiveGradient() {
  auto& g = outcome_.objectiveGradient;
  g.assign(static_cast<size_t>(prob_.nNonlinObjVars), 0.0);
  if (!objective_.evaluated()) return;
  for (int32_t j = 0; j < prob_.nNonlinObjVars; ++j) {
    const double scale = in_.scaling.factors.empty() ? 1.0 : in_.scaling.factors[static_cast<size_t>(j)];
    g[static_cast<size_t>(j)] = objective_.userGradient()[j] / scale;
  }
}

void MainLoop::publishProgress() {
  outcome_.progress = LoopProgress{itn_, feasibility_.ninf(), feasibility_.sinf(), objective_.trueObjective(x_.data())};
  outcome_.piNorm = prices_.norm();
}

// The certificate of the returned point, unless the optimality test made it there already. The
// functions are not called again after the user asked to stop or they failed (exit 6), nor when
// the run ended before it had factors.
void MainLoop::certifyAtEnd() {
  const ExitCode code = outcome_.exitCode;
  if (!certificateCurrent_) {
    outcome_.certificate = Certificate{};
    if (basis_.counters().factorizations == 0 || code == kFunctionError || code >= kNoStorageForFactors) return;
    outcome_.certificate = certifyHere(feasibility_.ninf() == 0);
  }
  // With nonlinear constraints the reported reduced costs are those of the true Lagrangian at
  // the returned point (the final Jacobian), not of the last subproblem.
  if (majors_ && feasibility_.ninf() == 0 && outcome_.certificate.evaluated) {
    const std::vector<double>& d = certifier_.reducedGradient();
    std::copy(d.begin(), d.begin() + nb_, dj_.begin());
  }
}

void MainLoop::finish() {
  if (basis_.counters().factorizations > 0 && outcome_.exitCode != kFunctionError && outcome_.exitCode < kNoStorageForFactors)
    projectNonlinearVariables();
  computeFinalReducedCosts();
  trueNonlinearRows();
  if (majors_ && majorItn_ >= 1) majors_->restoreRowBounds(prob_);
  certifyAtEnd();
  if (prob_.nNonlinObjVars > 0) publishObjectiveGradient();
  basis_.toExternalStates();
  publishProgress();
  // A run that lost its factors or its storage has no basis worth saving.
  if (p_.newBasisFile > 0 && outcome_.exitCode < kNoStorageForFactors)
    in_.saveBasis(outcome_.progress, runEndStatus(outcome_.exitCode));

  RunStatistics s;
  s.problemName = p_.problemName;
  s.itn = itn_;
  s.objective = outcome_.progress.objValue;
  s.ninf = feasibility_.ninf();
  s.sinf = feasibility_.sinf();
  s.ns = in_.state.ns;
  s.nDegenerate = nDegenerate_;
  s.certificate = outcome_.certificate;
  if (const FunctionEvaluator* fe = in_.evaluator) {
    s.nonlinear = true;
    s.majorItn = majorItn_;
    s.nonlinearObjective = objective_.userValue();
    s.linearObjective = outcome_.progress.objValue - s.nonlinearObjective;
    s.penalty = prob_.nNonlinCons > 0 ? p_.currentPenalty : 0.0;
    const FunctionCallCounts& o = fe->objectiveCounts();
    const FunctionCallCounts& c = fe->constraintCounts();
    const int64_t objCalls[4] = {o.calls, o.mode2, o.forward, o.central};
    const int64_t conCalls[4] = {c.calls, c.mode2, c.forward, c.central};
    std::copy(objCalls, objCalls + 4, s.objCalls);
    std::copy(conCalls, conCalls + 4, s.conCalls);
    s.differencing = p_.derivativeLevel < 3;
    for (int32_t k = 0; k < m_; ++k)
      if (basis_.at(k) < prob_.nNonlinVars()) ++s.basicNonlinears;
  }
  printRunStatistics(s, in_.out);
}

LoopOutcome runMainLoop(const LoopInput& in) {
  MainLoop loop(in);
  return loop.run();
}

}  // namespace kavro
