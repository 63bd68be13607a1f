#pragma once
// The main iteration loop for linear constraints: phase 1 (minimize the sum of
// infeasibilities, with a weight on the objective) and phase 2 (minimize the objective) by
// simplex steps, with the refactorization schedule, the anti-degeneracy working tolerance,
// the optimality tests and every termination test.

#include <cstdint>
#include <vector>

#include "driver/run_context.hpp"
#include "driver/run_hooks.hpp"
#include "kernels/sparse_vector.hpp"
#include "lu/basis_lu.hpp"
#include "lu/basis_manager.hpp"
#include "optimizer/iteration_log.hpp"
#include "optimizer/pricing.hpp"
#include "optimizer/ratio_test.hpp"

namespace kavro {

// Internal states of nonbasic variables during the loop, beside 0..3.
inline constexpr int32_t kFixedNonbasic = 4;
inline constexpr int32_t kBetweenBounds = -1;

class MainLoop {
 public:
  explicit MainLoop(RunContext& ctx);
  // Runs to an exit; returns the iterations taken.
  CycleIterations run();

 private:
  // ---- set-up and conversion of states
  void toInternalStates();
  void toExternalStates();
  void startMajorIteration();
  // ---- basis maintenance (basis_maintenance.cpp)
  bool factorize();                     // false when the run must end (exitCode set)
  void loadBasisArrays();
  void recomputeBasics();
  bool rowCheck(bool correcting);       // true when the residual is acceptable
  bool expandReset(bool requested);     // true when some variable moved significantly
  void computeResidual(std::vector<double>& r) const;
  // ---- one iteration (iteration.cpp)
  void iterate();
  bool afterStep(bool basisChanged, int32_t position);
  void countInfeasibilities();
  bool equalityRowsSatisfied() const;
  void crashInequalityRows();
  void computePrices();
  bool optimalityTest(const PricingResult& pr);   // true when the loop must end
  bool infeasibleTest();
  bool unboundedRay();
  // ---- the simplex step (simplex_step.cpp)
  enum class StepOutcome { kBoundFlip, kBasisChange, kUnbounded };
  StepOutcome simplexStep(int32_t q, bool increase);
  bool updateFactors(int32_t position);
  // ---- results and reports
  double trueObjective() const;
  double minimizedObjective() const;
  void logIteration();
  void finish();
  // Copies the current itn, ninf, sinf and objective into the run context (for basis saves).
  void publishProgress();
  void setExit(int32_t code);
  void computeFinalReducedCosts();

  RunContext& ctx_;
  Parameters& p_;
  Problem& prob_;
  std::vector<int32_t>& hs_;
  std::vector<double>& x_;
  std::vector<double>& pi_;
  std::vector<double>& dj_;
  const int32_t m_, n_, nb_;
  const double sigma_;          // +1 minimize, -1 maximize
  const int32_t objSlack_;      // variable index of the objective slack, -1 when none

  BasisLU lu_;
  FactorizationCounters fc_;
  BasisSet basisSet_;
  std::vector<int32_t> basisList_;   // m + Superbasics limit + 1 positions
  std::vector<double> p_dir_, gB_, work_, work2_, rooms_;
  kernels::SparseVector column_, y_;          // a_q and B^-1 a_q
  kernels::SparseVector pricesRhs_, prices_;  // gB and the prices, as the sparse solve takes them
  std::vector<int32_t> candidates_;  // ratio-test scratch
  std::vector<int32_t> infMark_;
  PricingState pricing_;
  IterationLog log_;

  // Counters and state of the loop.
  int32_t itn_ = 0, itnSinceFactor_ = 0, majorItn_ = 0, minorItn_ = 0, feasibleMinorItn_ = 0;
  int32_t ph_ = 1;
  int32_t ninf_ = 0;
  double sinf_ = 0.0, previousSinf_ = 0.0;
  double wtobj_ = 0.0;
  int32_t weightReductions_ = 0;
  double piNorm_ = 1.0;
  double expandTol_ = 0.0, expandBase_ = 0.0, expandStep_ = 0.0;
  int32_t nDegenerate_ = 0;
  int32_t lastResetItn_ = -1;
  int32_t resetsFeasible_ = 0, resetsInfeasible_ = 0;
  int32_t unchangedCount_ = 0, unchangedLimit_ = 1000;
  double previousObjective_ = 0.0;
  bool havePrevious_ = false;
  bool pricesStale_ = true;
  bool justFactorized_ = false;
  bool wasFeasible_ = false;
  bool firstFeasibleSeen_ = false;
  bool rowErrorPending_ = false;
  // Values of the current iteration for the log.
  int32_t logEntered_ = 0, logLeft_ = 0;
  double logStep_ = 0.0, logPivot_ = 0.0, logDj_ = 0.0;
  int32_t logSection_ = 0;
  int32_t stepPosition_ = -1;       // basis position that the last step changed
};

}  // namespace kavro
