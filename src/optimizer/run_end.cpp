// The end of a run: the final prices and reduced costs, the true rows and the certificate of the
// returned point, the states back in their external form, the outcome handed to the driver, the
// final basis save and the statistics block.

#include <algorithm>

#include "files/variable_names.hpp"
#include "optimizer/main_loop.hpp"

namespace kavro {

namespace {

RunStatistics statisticsOf(const Parameters& p, const IterationCounts& counts, const LoopOutcome& outcome,
                           const Feasibility& feasibility, const SubproblemObjective& objective,
                           const FunctionEvaluator* fe, const Problem& prob, int32_t ns, const int32_t* basic) {
  RunStatistics s;
  s.problemName = p.problemName;
  s.itn = counts.itn;
  s.objective = outcome.progress.objValue;
  s.ninf = feasibility.ninf();
  s.sinf = feasibility.sinf();
  s.ns = ns;
  s.nDegenerate = counts.degenerate;
  s.certificate = outcome.certificate;
  if (!fe) return s;
  s.nonlinear = true;
  s.majorItn = counts.major;
  s.nonlinearObjective = objective.userValue();
  s.linearObjective = outcome.progress.objValue - s.nonlinearObjective;
  s.penalty = prob.nNonlinCons > 0 ? p.currentPenalty : 0.0;
  const FunctionCallCounts& o = fe->objectiveCounts();
  const FunctionCallCounts& c = fe->constraintCounts();
  const int64_t objCalls[4] = {o.calls, o.mode2, o.forward, o.central};
  const int64_t conCalls[4] = {c.calls, c.mode2, c.forward, c.central};
  std::copy(objCalls, objCalls + 4, s.objCalls);
  std::copy(conCalls, conCalls + 4, s.conCalls);
  s.differencing = p.derivativeLevel < 3;
  s.hessianProducts = fe->hessianProducts();
  for (int32_t k = 0; k < prob.m; ++k)
    if (basic[k] < prob.nNonlinVars()) ++s.basicNonlinears;
  return s;
}

// Reduced costs from the prices, zero for the basic variables (but the objective row's slack).
void finalReducedCosts(const Problem& prob, const double* pi, const double* gradient, const int32_t* basic,
                       int32_t objSlack, double* dj) {
  const int32_t n = prob.n;
  priceColumns(prob, pi, gradient, 0, n, dj);
  for (int32_t i = 0; i < prob.m; ++i) dj[n + i] = -pi[i];
  for (int32_t k = 0; k < prob.m; ++k)
    if (basic[k] != objSlack) dj[basic[k]] = 0.0;
}

}  // namespace

LoopProgress MainLoop::progress() const {
  return LoopProgress{counts_.itn, feasibility_.ninf(), feasibility_.sinf(), objective_.trueObjective(x_.data())};
}

void MainLoop::finish() {
  const ExitCode e = outcome_.exitCode;
  const bool factorized = basis_.counters().factorizations > 0;
  if (factorized && e != kFunctionError && e < kNoStorageForFactors) check_.projectNonlinearVariables();
  // Prices for the final point: phase-1 prices when it is infeasible, else the objective's.
  if (factorized && e != kNoStorageForFactors && e != kBasisPackageError && e != kSingularBasis &&
      e != kTooManyBasics) {
    countInfeasibilities();
    computePrices(false);
    const bool withGradient = feasibility_.ninf() == 0 && objective_.nonlinear() && objective_.evaluated();
    finalReducedCosts(prob_, in_.state.pi.data(), withGradient ? objective_.gradient() : nullptr, basis_.list(),
                      objective_.objSlack(), in_.state.reducedCost.data());
  }
  check_.trueRowsAtEnd();
  if (in_.majors && counts_.major >= 1) in_.majors->restoreRowBounds(prob_);
  check_.certifyAtEnd(factorized, feasibility_.ninf() == 0);
  if (prob_.nNonlinObjVars > 0) objective_.userGradientUnscaled(outcome_.objectiveGradient);
  basis_.toExternalStates();
  outcome_.progress = progress();
  outcome_.piNorm = prices_.norm();
  // A run that lost its factors or its storage has no basis worth saving.
  if (p_.newBasisFile > 0 && outcome_.exitCode < kNoStorageForFactors)
    in_.saveBasis(outcome_.progress, runEndStatus(outcome_.exitCode));
  RunStatistics statistics = statisticsOf(p_, counts_, outcome_, feasibility_, objective_, in_.evaluator, prob_,
                                          in_.state.ns, basis_.list());
  statistics.cgIterations = newton_.cgIterations();
  printRunStatistics(statistics, in_.out);
}

LoopOutcome runMainLoop(const LoopInput& in) {
  MainLoop loop(in);
  return loop.run();
}

}  // namespace kavro
