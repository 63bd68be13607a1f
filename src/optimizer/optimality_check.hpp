#pragma once
// The checks a point must pass before the run may call it optimal, on the problem as the user
// gave it, and what happens when it fails them:
//
//   the unscaled check (unscaled_check.hpp)   linear objective: bounds and reduced costs of the
//                                              user's problem at the current basis;
//   the certificate (certificate.hpp)          every row and bound, and the true Lagrangian's
//                                              reduced gradient, with the functions evaluated
//                                              afresh at the returned point;
//   the true rows                              converged major iterations: the nonlinear
//                                              constraints themselves (not their linearization)
//                                              within the Row tolerance on the unscaled problem.
//
// A failed check sends the iterations on: the variables that fail the unscaled check are priced
// first (priceByCheck), the scaling is given up when the scaled problem hid the failure, and the
// subspace is optimized further; after a number of rounds that do not pass the run ends
// near-optimal, saying what failed. The certificate is also what the run reports at its end.
//
// Rules
//  - A check reads the point, the prices and the gradient as they are: the loop computes the
//    prices first.
//  - When a check asks for a refactorization the loop makes it (the basic values from the
//    nonbasic ones, in the units now in force).

#include <cstdint>
#include <vector>

#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "nonlinear/function_evaluator.hpp"
#include "nonlinear/major_iterations.hpp"
#include "optimizer/point_certifier.hpp"
#include "optimizer/pricer.hpp"
#include "optimizer/prices.hpp"
#include "optimizer/run_main_loop.hpp"
#include "optimizer/subproblem_objective.hpp"
#include "optimizer/subspace.hpp"
#include "optimizer/unscaled_check.hpp"
#include "setup/scaling.hpp"
#include "specs/parameters.hpp"

namespace kavro {

struct CheckParts {
  Problem& prob;
  ProblemState& state;
  const Parameters& params;
  ReportChannels out;
  RunScaling& scaling;
  SubproblemObjective& objective;
  Pricer& pricer;
  Subspace& subspace;
  Prices& prices;
  FunctionEvaluator* evaluator;
  MajorIterations* majors;
  LoopOutcome& outcome;  // its exit code and certificate
};

class OptimalityCheck {
 public:
  enum class Verdict { kConfirmed, kContinue, kRefactorize, kStop };

  OptimalityCheck(const CheckParts& parts, int32_t nJacElements);

  // ---- before "optimal"
  // The unscaled check of a linear objective at the current basis and prices.
  Verdict confirmUnscaled(int32_t itn);
  // The certificate of the point (put into the functions' domain first).
  Verdict confirmCertificate(int32_t itn);
  // Converged major iterations: the true rows (F: their values at the point), then the
  // certificate.
  Verdict confirmMajors(const std::vector<double>& F, int32_t itn);
  // A target for the superbasics' reduced gradient after a failed check (1e20 before any).
  double rgTarget() const { return rgTarget_; }
  // The unscaled check failed in this run: its own pricing comes first.
  bool afterFailedCheck() const { return unscaledRounds_ != 0; }
  // After a failed unscaled check, at a feasible point: the variable that fails it by most,
  // each at most once per round (none: enteringVar < 0).
  PricingResult priceByCheck(bool infeasible, double* reducedCost);
  // With the scaling removed after a failed check, a ray comes from the unscaled problem's poor
  // scaling, not from the problem.
  bool scalingDropped() const { return !formerScales_.empty(); }
  // After a failed certificate with forward differences, the rest of the run (later major
  // iterations included) differences centrally.
  bool centralDifferencesKept() const { return centralDifferencesKept_; }
  // With nonlinear constraints, whether a subproblem that stays unbounded shows the problem
  // unbounded; when it does not, says why (the caller decides what ends: the subproblem or the
  // run).
  bool unboundednessShown();

  // ---- at the end of the run
  // Nonlinear variables left beyond a bound by at most the feasibility tolerance go onto it.
  void projectNonlinearVariables();
  // The certificate of the returned point, unless the optimality test made it there already;
  // factorized: the run had factors; with nonlinear constraints the reported reduced costs
  // become those of the true Lagrangian there.
  void certifyAtEnd(bool factorized, bool feasible);
  // With nonlinear constraints the reports show the true rows: their slacks take the values of
  // the constraints at the final point.
  void trueRowsAtEnd();

 private:
  UnscaledCheckInput unscaledCheckInput() const;
  Certificate certifyHere(bool withPrices);
  void sharpenDifferences();
  bool dropScalingForCheck(int32_t itn);
  void measureTrueRows(const std::vector<double>& F, bool setSlacks);

  Problem& prob_;
  ProblemState& state_;
  const Parameters& p_;
  const ReportChannels out_;
  RunScaling& scaling_;
  SubproblemObjective& objective_;
  Pricer& pricer_;
  Subspace& subspace_;
  Prices& prices_;
  FunctionEvaluator* evaluator_;
  MajorIterations* majors_;
  LoopOutcome& outcome_;
  // The unscaled check: rounds of further iterations after it failed, the variables that
  // entered by it in this round, and the factors the scaling had once it was given up.
  int32_t unscaledRounds_ = 0;
  std::vector<uint8_t> enteredThisRound_;
  std::vector<double> formerScales_;
  double rgTarget_ = 1.0e20;
  std::vector<double> rows_;  // m: row activities (unscaled check), the linear part of the nonlinear rows
  // The certificate: its part, the rounds after it failed at a would-be optimum, and whether
  // outcome_.certificate is that of the current point.
  PointCertifier certifier_;
  int32_t certificateRounds_ = 0;
  int32_t itnAtFailedCertificate_ = -1;
  bool certificateCurrent_ = false;
  bool centralDifferencesKept_ = false;
};

}  // namespace kavro
