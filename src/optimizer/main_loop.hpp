#pragma once
// The main iteration loop: phase 1 (the sum of infeasibilities, with a weight on the objective),
// phase 2 (a linear objective by simplex steps) and phases 3 and 4 (reduced-gradient steps on
// the superbasic variables, for a nonlinear objective or whenever superbasics exist), once per
// major iteration when the constraints are nonlinear.
//
// The loop sequences its parts and owns what only the sequence decides: the phase, the counters,
// the tests that end a subproblem or the run, and the exit. The parts own their state:
//
//   basis_         the basis list, its factors and their update schedule
//   tolerance_     the anti-degeneracy working tolerance
//   feasibility_   the infeasibilities of the basics and phase 1's weight on the objective
//   objective_     the subproblem objective and the evaluations of the user's functions
//   prices_        pi from B' pi = c_B
//   pricer_        the pricing rules and what they keep between iterations
//   direction_     a direction over the basis positions, the ratio test and the move along it
//   simplex_       the simplex step
//   subspace_      the superbasics, their reduced gradient and the model of the objective there
//   rgStep_        the reduced-gradient step with its linesearch and retries
//   check_         the checks of optimality on the user's problem, and the final certificate
//   log_           the iteration log (the steps fill record_, the log prints it)

#include <cstdint>
#include <vector>

#include "optimizer/basis_factors.hpp"
#include "optimizer/feasibility.hpp"
#include "optimizer/iteration_counts.hpp"
#include "optimizer/iteration_log.hpp"
#include "optimizer/loop_phase.hpp"
#include "optimizer/optimality_check.hpp"
#include "optimizer/pricer.hpp"
#include "optimizer/prices.hpp"
#include "optimizer/reduced_gradient_step.hpp"
#include "optimizer/run_main_loop.hpp"
#include "optimizer/search_direction.hpp"
#include "optimizer/simplex_step.hpp"
#include "optimizer/subproblem_objective.hpp"
#include "optimizer/subspace.hpp"
#include "optimizer/working_tolerance.hpp"

namespace kavro {

class MainLoop {
 public:
  explicit MainLoop(const LoopInput& in);
  // Runs to an exit.
  LoopOutcome run();

 private:
  // What the loop does next: a new iteration, pricing (again), the step, or the subproblem ends.
  enum class Next { kIteration, kPricing, kStep, kEnd };

  // ---- one minor iteration (main_loop.cpp)
  void iterate();
  Next beginIteration();
  Next priceAndStep();
  Next simplexIteration(const PricingResult& pr);
  Next reducedGradientIteration(const PricingResult& pr);
  bool afterStep(int32_t position);
  void logIteration();
  void announceFeasible();
  // ---- the phase and the prices (phase_and_prices.cpp)
  void countInfeasibilities();
  void computePrices(bool loadCosts);
  PricingSituation pricingSituation() const;
  // ---- pricing's answer and the tests that end a subproblem (optimality_tests.cpp)
  Next priceAndTest(PricingResult& pr);
  bool optimalityTest(const PricingResult& pr);  // true when the subproblem ends
  bool infeasibleTest();
  bool subproblemInfeasible();
  // true when the subproblem ends; subproblemMayEnd: a ray that shows nothing ends the major
  // iteration rather than the run.
  bool unboundedRay(bool subproblemMayEnd);
  OptimalityCheck::Verdict confirm(OptimalityCheck::Verdict verdict);
  // ---- the basis (basis_maintenance.cpp)
  bool factorize(FactorKind kind = FactorKind::kOrdinary);  // false when the run must end
  bool expandReset(bool requested);                         // true when some variable moved significantly
  void crashInequalityRows();
  bool undoInequalityCrash();
  // ---- the functions at a new point (objective.cpp)
  Next evaluateFunctions();
  Next verifyJacobianOnly();
  Next afterEvaluation(int32_t status);
  // ---- major iterations (major_control.cpp, nonlinear_row_crash.cpp)
  bool beginMajorIteration(const SubproblemSummary& previous);
  void endMajorIteration(int32_t status);
  bool crashNonlinearRows();
  // ---- the end (run_end.cpp)
  void finish();
  LoopProgress progress() const;

  LoopInput in_;
  LoopOutcome outcome_;
  Parameters& p_;
  Problem& prob_;
  std::vector<int32_t>& hs_;
  std::vector<double>& x_;
  const int32_t m_, n_;

  BasisFactors basis_;
  WorkingTolerance tolerance_;
  Feasibility feasibility_;
  SubproblemObjective objective_;
  Prices prices_;
  Pricer pricer_;
  SearchDirection direction_;
  SimplexStep simplex_;
  SubspaceNewton newton_;
  Subspace subspace_;
  ReducedGradientStep rgStep_;
  OptimalityCheck check_;
  IterationLog log_;

  IterationCounts counts_;
  StallWatch stall_;
  IterationRecord record_;     // the iteration being made, for the log
  int32_t stepPosition_ = -1;  // basis position that the last step changed, -1 none
  Phase phase_ = Phase::kInfeasible;
  bool justFactorized_ = false;
  bool jacobianVerified_ = false;  // when the subproblems' objective is linear
  // The states and values before the crash of the inequality rows, kept until the functions
  // have been evaluated at the crashed point (empty otherwise).
  struct CrashBackup {
    std::vector<int32_t> hs;
    std::vector<double> x;
  } crashBackup_;
  // How the current major iteration's subproblem ended, once it has.
  struct SubproblemEnd {
    bool ended = false;
    int32_t status = kSubproblemOptimal;
  } subproblem_;
};

}  // namespace kavro
