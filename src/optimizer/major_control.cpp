// The major iterations seen from the main loop: each starts with the set-up of a linearized
// subproblem and its termination tests, runs minor iterations until the subproblem ends, and
// reports how it ended to the next one.

#include <algorithm>
#include <cmath>

#include "optimizer/main_loop.hpp"

namespace kavro {

SubproblemSummary MainLoop::subproblemSummary() {
  SubproblemSummary s;
  s.status = subproblemStatus_;
  s.minorItn = minorItn_;
  s.totalItn = itn_;
  s.ninf = feasibility_.ninf();
  s.sinf = feasibility_.sinf();
  s.ns = in_.state.ns;
  s.luNonzeros = basis_.lu().params().lenL() + basis_.lu().params().lenU();
  s.basisSwaps = basis_.counters().basisSwaps;
  return s;
}

bool MainLoop::beginMajorIteration(const SubproblemSummary& previous) {
  startMajorIteration();
  minorItn_ = feasibleMinorItn_ = infeasibleItnsAllowed_ = 0;
  if (!majors_) return factorize();
  if (majorItn_ > 1) {
    loadBasicGradient();
    computePrices();
  }
  MajorView view;
  view.prob = &prob_;
  view.x = &x_;
  view.pi = &pi_;
  view.hs = &hs_;
  view.sigma = objective_.sigma();
  view.objSlack = objective_.objSlack();
  view.objScale = (objective_.objSlack() >= 0 && !in_.scaling.factors.empty()) ? in_.scaling.factors[static_cast<size_t>(objective_.objSlack())] : 1.0;
  view.objConstant = prob_.objConstant;
  view.hasLinearConstraints = prob_.nNonlinCons < m_ - (objective_.objSlack() >= 0 ? 1 : 0);
  const int32_t status = majors_->start(majorItn_, previous, view);
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
  if (majors_->stopRequested()) {
    setExit(majors_->stopCode());
    return false;
  }
  if (majorItn_ > 1 && majors_->converged()) {
    // "Optimal" is said only of a point whose true constraints hold on the unscaled problem.
    measureTrueRows(majors_->constraintValues(), false);
    if (!outcome_.trueRows->withinRowTolerance) {
      in_.out.both(" XXX  The nonlinear constraints are violated by %10.2e (relative) at the final point",
                    outcome_.trueRows->relative);
      in_.out.both("%s", " EXIT -- near-optimal solution found");
      outcome_.exitCode = kNearOptimal;
      return false;
    }
    // Every row and bound, and the true Lagrangian, on the user's problem: a converged run
    // whose point fails them goes on with further major iterations.
    switch (confirmCertificate()) {
      case Confirmation::kConfirmed: setOptimalExit(); return false;
      case Confirmation::kStop: return false;
      case Confirmation::kContinue: break;
    }
  }
  if (majorItn_ > p_.majorIterationsLimit) {
    in_.out.both("%s", " XXX  Major iterations terminated before convergence");
    setExit(kTooManyIterations);
    return false;
  }
  if (itn_ >= p_.iterationLimit) {
    setExit(kTooManyIterations);
    return false;
  }
  if (majors_->unchangedMajors() >= 4 && majors_->infeasibleRetries() == 0) {
    printCannotImprove(in_.out, p_.derivativeLevel, subspace_.rgNorm(), prices_.norm());
    outcome_.exitCode = kCannotImprove;
    return false;
  }
  // From the second major iteration on the nonlinear rows are constraints: the crash gives them
  // basic columns where it can.
  if (majorItn_ == 2 && p_.crashOption == 3) return crashNonlinearRows();
  return factorize(majorItn_ > 1 ? FactorKind::kTest : FactorKind::kOrdinary);
}

// The subproblem ended: its status goes to the next major iteration.
void MainLoop::endMajorIteration(int32_t status) {
  subproblemStatus_ = status;
  majorEnded_ = true;
  const bool optimal = status == kSubproblemOptimal;
  in_.out.print(" End of major itn %4d  -  %s %7d  -  total itns = %8d", majorItn_,
                 optimal ? "optimal subproblem at minor itn" : "minor itns terminated at", minorItn_, itn_);
  in_.out.summary(" %s %7d  -  total itns = %8d", optimal ? "Optimal subproblem at minor itn" : "Minor itns terminated at",
                   minorItn_, itn_);
  ph_ = Phase::kSubspace;
}

// Optimal by the tests: exit 0, or 13 when the reduced gradient is still large.
void MainLoop::setOptimalExit() {
  if (subspace_.rgNorm() / prices_.norm() < kSinglePrecisionTenth) {
    setExit(kOptimal);
  } else {
    in_.out.both("%s", " EXIT -- near-optimal solution found");
    in_.out.both("%s", " XXX WARNING: reduced gradient is large -- solution is not really optimal");
    outcome_.exitCode = kNearOptimal;
  }
}

// The violation of the true nonlinear constraints (values F at the current point) on the
// unscaled problem, absolute and relative to the size of the Jacobian variables; with setSlacks
// the nonlinear rows' slacks take the true values, for the reports.
void MainLoop::measureTrueRows(const std::vector<double>& F, bool setSlacks) {
  const int32_t C = prob_.nNonlinCons;
  std::vector<double>& linear = scratch_;
  std::fill(linear.begin(), linear.begin() + C, 0.0);
  for (int32_t j = prob_.nNonlinJacVars; j < n_; ++j) {
    const double v = x_[static_cast<size_t>(j)];
    if (v == 0.0) continue;
    for (int32_t e = prob_.a.colStart[static_cast<size_t>(j)]; e < prob_.a.colStart[static_cast<size_t>(j) + 1]; ++e) {
      const int32_t i = prob_.a.row[static_cast<size_t>(e)];
      if (i < C) linear[static_cast<size_t>(i)] += prob_.a.value[static_cast<size_t>(e)] * v;
    }
  }
  double violation = 0.0, xNorm = 0.0;
  for (int32_t j = 0; j < prob_.nNonlinJacVars; ++j) {
    const double scale = in_.scaling.factors.empty() ? 1.0 : in_.scaling.factors[static_cast<size_t>(j)];
    xNorm = std::max(xNorm, std::fabs(x_[static_cast<size_t>(j)] * scale));
  }
  for (int32_t i = 0; i < C; ++i) {
    const size_t slack = static_cast<size_t>(n_ + i);
    const double value = -(F[static_cast<size_t>(i)] + linear[static_cast<size_t>(i)]);
    if (setSlacks) x_[slack] = value;
    const double scale = in_.scaling.factors.empty() ? 1.0 : in_.scaling.factors[slack];
    violation = std::max({violation, (majors_->rowLower(i) - value) * scale, (value - majors_->rowUpper(i)) * scale});
  }
  TrueRowsViolation& v = outcome_.trueRows.emplace();
  v.absolute = violation;
  v.relative = violation / (1.0 + xNorm);
  v.withinRowTolerance = v.relative <= p_.rowTolerance;
}

// At the end of the run the reports show the true nonlinear rows.
void MainLoop::trueNonlinearRows() {
  if (!majors_ || !in_.evaluator || !objective_.evaluated()) return;
  if (objective_.constraintValuesAt(x_.data()) != 0) return;
  measureTrueRows(objective_.constraintValues(), true);
}

}  // namespace kavro
