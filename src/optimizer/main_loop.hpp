#pragma once
// The main iteration loop for linear constraints: phase 1 (minimize the sum of
// infeasibilities, with a weight on the objective), phase 2 (a linear objective by simplex
// steps) and phases 3 and 4 (reduced-gradient steps on the superbasic variables, for a
// nonlinear objective or whenever superbasics exist), with the refactorization schedule, the
// anti-degeneracy working tolerance, the optimality and subspace-convergence tests and every
// termination test.

#include <cstdint>
#include <vector>

#include "nonlinear/major_iterations.hpp"
#include "optimizer/basis_factors.hpp"
#include "optimizer/feasibility.hpp"
#include "optimizer/iteration_log.hpp"
#include "optimizer/loop_phase.hpp"
#include "optimizer/point_certifier.hpp"
#include "optimizer/prices.hpp"
#include "optimizer/pricer.hpp"
#include "optimizer/reduced_gradient_step.hpp"
#include "optimizer/run_main_loop.hpp"
#include "optimizer/search_direction.hpp"
#include "optimizer/simplex_step.hpp"
#include "optimizer/subproblem_objective.hpp"
#include "optimizer/subspace.hpp"
#include "optimizer/unscaled_check.hpp"
#include "optimizer/working_tolerance.hpp"

namespace kavro {

// A reduced gradient below this fraction of the multiplier norm at the end allows "optimal"
// (0.1 rounded to single precision).
inline constexpr double kSinglePrecisionTenth = 0.10000000149011612;

class MainLoop {
 public:
  explicit MainLoop(const LoopInput& in);
  // Runs to an exit.
  LoopOutcome run();

 private:
  // ---- set-up and conversion of states
  void startMajorIteration();
  // ---- basis maintenance (basis_maintenance.cpp)
  bool factorize(FactorKind kind = FactorKind::kOrdinary);  // false when the run must end
  bool expandReset(bool requested);     // true when some variable moved significantly
  const double* linearizedRhs() const { return majors_ ? majors_->rhs().data() : nullptr; }
  // ---- one iteration (iteration.cpp)
  void iterate();
  bool afterStep(bool basisChanged, int32_t position);
  void countInfeasibilities();
  bool equalityRowsSatisfied() const;
  void crashInequalityRows();
  void crash(int mode);  // crashBasis with the run's settings
  bool undoInequalityCrash();
  void computePrices();
  enum class PricingOutcome { kProceed, kRestart, kStop };
  PricingOutcome priceAndTest(PricingResult& pr);
  bool optimalityTest(const PricingResult& pr);   // true when the loop must end
  bool infeasibleTest();
  bool unboundedRay();
  bool unboundednessShown();
  PricingSituation pricingSituation() const;
  // ---- the optimality check on the unscaled problem (optimality_confirmation.cpp)
  enum class Confirmation { kConfirmed, kContinue, kStop };
  Confirmation confirmOptimal();
  Confirmation confirmCertificate();
  Certificate certifyHere(bool withPrices);
  void projectNonlinearVariables();
  bool dropScalingForCheck();
  UnscaledCheckInput unscaledCheckInput() const;
  PricingResult priceByCheck();
  // ---- the simplex step (simplex_step.cpp)
  enum class StepOutcome { kBoundFlip, kBasisChange, kUnbounded };
  StepOutcome simplexStep(int32_t q, bool increase);
  StepFrame stepFrame() const;
  bool updateFactors(int32_t position);
  void loadBasicGradient();
  // ---- major iterations (major_control.cpp)
  SubproblemSummary subproblemSummary();
  bool crashNonlinearRows();
  int32_t columnsForSlackRows();
  bool subproblemInfeasible();
  bool crashedBasisExplodes(const std::vector<double>& valuesBefore);
  bool beginMajorIteration(const SubproblemSummary& previous);
  void endMajorIteration(int32_t status);
  void setOptimalExit();
  void measureTrueRows(const std::vector<double>& F, bool setSlacks);
  void trueNonlinearRows();
  // ---- the objective (objective.cpp)
  int32_t evaluateAndVerify();
  bool acceptEvaluation(int32_t status);
  // ---- results and reports
  void logIteration();
  void finish();
  // Records the current itn, ninf, sinf and objective in the outcome (for basis saves).
  void publishProgress();
  void publishObjectiveGradient();
  void setExit(ExitCode code);
  void computeFinalReducedCosts();
  void certifyAtEnd();

  LoopInput in_;
  LoopOutcome outcome_;
  Parameters& p_;
  Problem& prob_;
  std::vector<int32_t>& hs_;
  std::vector<double>& x_;
  std::vector<double>& pi_;
  std::vector<double>& dj_;
  const int32_t m_, n_, nb_;

  BasisFactors basis_;
  WorkingTolerance tolerance_;
  Feasibility feasibility_;
  SubproblemObjective objective_;
  Prices prices_;
  std::vector<double> scratch_;  // rows' values for the checks of the final point
  // The basis and point before the crash of the inequality rows, kept until the functions have
  // been evaluated at the crashed point (empty otherwise).
  std::vector<int32_t> statesBeforeCrash_;
  std::vector<double> valuesBeforeCrash_;
  Pricer pricer_;
  SearchDirection direction_;
  SimplexStep simplex_;
  Subspace subspace_;
  ReducedGradientStep rgStep_;
  // After a failed check on the unscaled problem: the rounds so far, the variables that entered
  // by it in this round, the scale factors given up, and the target for the superbasics'
  // reduced gradient.
  int32_t confirmationRounds_ = 0;
  std::vector<uint8_t> enteredThisRound_;
  std::vector<double> formerScales_;   // the factors, once the scaling has been removed
  double confirmationRgTarget_ = 1.0e20;
  IterationLog log_;
  // The certificate of the current point (optimal_certificate.cpp): its part, the rounds of
  // further iterations after it failed at a would-be optimum, and whether outcome_.certificate is
  // that of the current point.
  PointCertifier certifier_;
  int32_t certificateRounds_ = 0;
  int32_t itnAtFailedCertificate_ = -1;
  bool certificateCurrent_ = false;

  // Counters and state of the loop.
  int32_t itn_ = 0, majorItn_ = 0, minorItn_ = 0, feasibleMinorItn_ = 0;
  int32_t infeasibleItnsAllowed_ = 0;  // infeasible minor iterations already judged this major
  Phase ph_ = Phase::kInfeasible;
  int32_t nDegenerate_ = 0;
  int32_t unchangedCount_ = 0, unchangedLimit_ = 1000;
  double previousObjective_ = 0.0;
  bool havePrevious_ = false;
  bool justFactorized_ = false;
  bool wasFeasible_ = false;
  bool firstFeasibleSeen_ = false;
  IterationRecord record_;           // the iteration being made, for the log
  int32_t stepPosition_ = -1;       // basis position that the last step changed

  MajorIterations* majors_;
  bool announceFeasible_ = false;     // print the feasible-point message once f is known
  // How the current major iteration's subproblem ended (when majorEnded_).
  bool majorEnded_ = false;
  int32_t subproblemStatus_ = kSubproblemOptimal;
};

}  // namespace kavro
