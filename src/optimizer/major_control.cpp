// The major iterations seen from the main loop: each starts with the set-up of a linearized
// subproblem and its termination tests, runs minor iterations until the subproblem ends, and
// reports how it ended to the next one.

#include "optimizer/loop_exit.hpp"
#include "optimizer/main_loop.hpp"
#include "optimizer/reduced_gradient_step.hpp"

namespace kavro {

namespace {

MajorView majorView(Problem& prob, ProblemState& state, const SubproblemObjective& objective) {
  MajorView view;
  view.prob = &prob;
  view.x = &state.x;
  view.pi = &state.pi;
  view.hs = &state.hs;
  view.sigma = objective.sigma();
  view.objSlack = objective.objSlack();
  view.objScale = objective.objScale();
  view.objConstant = prob.objConstant;
  view.hasLinearConstraints = prob.nNonlinCons < prob.m - (objective.objSlack() >= 0 ? 1 : 0);
  return view;
}

}  // namespace

// Returns false when the run ends before the subproblem.
bool MainLoop::beginMajorIteration(const SubproblemSummary& previous) {
  ++counts_.major;
  outcome_.exitCode = kOptimal;
  pricer_.startMajorIteration();
  tolerance_.start(p_.feasibilityTolerance, p_.expandFrequency);
  Subspace::Control& c = subspace_.control();
  c.lvltol = 1;
  c.tolrg = 0.0;
  c.replaceFailures = 0;
  if (in_.evaluator && !check_.centralDifferencesKept())
    in_.evaluator->setDifferenceChoice(FunctionEvaluator::kForward);
  counts_.minor = counts_.feasibleMinor = counts_.infeasibleJudged = 0;
  MajorIterations* majors = in_.majors;
  if (!majors) return factorize();
  if (counts_.major > 1) computePrices(true);
  MajorView view = majorView(prob_, in_.state, objective_);
  const int32_t status = majors->start(counts_.major, previous, view);
  // The point may have moved (damping), the nonlinear rows' bounds changed (relaxed or
  // restored) and the subproblem objective with them.
  basis_.placeWithinBounds();
  objective_.markStale();
  prices_.markStale();
  if (status != 0) {
    if (status == kFunctionUndefined)
      in_.out.both("%s", " EXIT -- function not defined (mode = -1) prior to linesearch");
    outcome_.exitCode = kFunctionError;
    return false;
  }
  if (majors->stopRequested()) {
    declareExit(outcome_.exitCode, majors->stopCode(), in_.out);
    return false;
  }
  if (counts_.major > 1 && majors->converged()) {
    switch (confirm(check_.confirmMajors(majors->constraintValues(), counts_.itn))) {
      case OptimalityCheck::Verdict::kConfirmed:
        declareOptimal(outcome_.exitCode, subspace_.rgNorm(), prices_.norm(), in_.out);
        return false;
      case OptimalityCheck::Verdict::kContinue: break;
      default: return false;
    }
  }
  if (counts_.major > p_.majorIterationsLimit) {
    in_.out.both("%s", " XXX  Major iterations terminated before convergence");
    declareExit(outcome_.exitCode, kTooManyIterations, in_.out);
    return false;
  }
  if (counts_.itn >= p_.iterationLimit) {
    declareExit(outcome_.exitCode, kTooManyIterations, in_.out);
    return false;
  }
  if (majors->unchangedMajors() >= 4 && majors->infeasibleRetries() == 0) {
    printCannotImprove(in_.out, p_.derivativeLevel, subspace_.rgNorm(), prices_.norm());
    outcome_.exitCode = kCannotImprove;
    return false;
  }
  // From the second major iteration on the nonlinear rows are constraints: the crash gives them
  // basic columns where it can.
  if (counts_.major == 2 && p_.crashOption == 3) return crashNonlinearRows();
  return factorize(counts_.major > 1 ? FactorKind::kTest : FactorKind::kOrdinary);
}

// The subproblem ended: its status goes to the next major iteration.
void MainLoop::endMajorIteration(int32_t status) {
  subproblem_.status = status;
  subproblem_.ended = true;
  const bool optimal = status == kSubproblemOptimal;
  in_.out.print(" End of major itn %4d  -  %s %7d  -  total itns = %8d", counts_.major,
                optimal ? "optimal subproblem at minor itn" : "minor itns terminated at", counts_.minor, counts_.itn);
  in_.out.summary(" %s %7d  -  total itns = %8d",
                  optimal ? "Optimal subproblem at minor itn" : "Minor itns terminated at", counts_.minor, counts_.itn);
  phase_ = Phase::kSubspace;
}

}  // namespace kavro
