#pragma once
// One reduced-gradient step (phases 3 and 4): the superbasic variables move along the subspace's
// search direction pS, the basic ones follow so that the general constraints stay satisfied,
//
//   p = (pB, pS),   pB = -B^-1 S pS,
//
// and the step ends at the linesearch's point (a nonlinear objective) or at the first bound. A
// superbasic variable that reaches a bound leaves the set; a basic one is replaced by the
// superbasic best suited to take its place. After a failed linesearch a fixed sequence of
// retries goes from cheap remedies to expensive ones, each failure one action further.
//
// The step changes the point, the states, the basis list (not the factors: the loop replaces
// the column, whose L-part is kept here), the subspace and its model, and fills the log's
// record of the iteration; it asks the loop for what only the loop may do through its status.

#include <cstdint>
#include <vector>

#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "nonlinear/function_evaluator.hpp"
#include "nonlinear/major_iterations.hpp"
#include "optimizer/basis_factors.hpp"
#include "optimizer/feasibility.hpp"
#include "optimizer/iteration_log.hpp"
#include "optimizer/linesearch.hpp"
#include "optimizer/loop_phase.hpp"
#include "optimizer/pricer.hpp"
#include "optimizer/prices.hpp"
#include "optimizer/search_direction.hpp"
#include "optimizer/subproblem_objective.hpp"
#include "optimizer/subspace.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// What a reduced-gradient step asks of the loop.
enum class RgStatus {
  kDone,         // step taken
  kPriceAgain,   // the subspace is optimal for now: price (iteration not counted)
  kConverged,    // step taken and the subspace converged: price next time
  kRestart,      // the superbasic set or the model changed: restart the iteration
  kRefactorize,  // refactorize choosing basic and superbasic columns anew
  kUnbounded,    // an unbounded ray: the loop decides what follows (its unboundedness test)
  kStop,         // the run ends (exit code set)
  kRepeat,       // (inside the step) compute the direction again
};

// The parts a step works with.
struct RgStepParts {
  const Problem& prob;
  ProblemState& state;
  const Parameters& params;
  ReportChannels out;
  BasisFactors& basis;
  SearchDirection& direction;
  Subspace& subspace;
  SubproblemObjective& objective;
  Prices& prices;
  Feasibility& feasibility;
  const Pricer& pricer;
  FunctionEvaluator* evaluator;
  MajorIterations* majors;
  ExitCode& exit;
  int32_t& changedPosition;  // the basis position a step changed, -1 none (the loop's, kept between steps)
};

class ReducedGradientStep {
 public:
  explicit ReducedGradientStep(const RgStepParts& parts);

  // One step from pricing's result pr (phase 3) or within the subspace (phase 4); phase may
  // change.
  RgStatus take(const PricingResult& pr, Phase& phase, int32_t itn, int32_t majorItn, IterationRecord& record);
  // Ratio tests of the step whose exact step was below the anti-degeneracy minimum.
  int32_t degenerateSteps() const { return degenerateSteps_; }

 private:
  RgStatus evaluationFailed(const char* where);
  bool modelInUse() const { return feasibility_.ninf() == 0 && objective_.nonlinear(); }
  double phaseObjective() const;
  void computeDirection();
  RgStatus takeLinearStep(const BlockingResult& r, double fBefore);
  RgStatus nonlinearStep(const BlockingResult& r, double fBefore);
  LinesearchSettings linesearchSettings(const BlockingResult& r) const;
  RgStatus acceptNonlinearStep(double alpha, const BlockingResult& r, bool atBound, double fBefore);
  RgStatus unboundedValue(double alpha, double objective);
  void learnAlongStep(double alpha, double fBefore);
  RgStatus retrySequence();
  RgStatus switchToCentralDifferences();
  RgStatus afterAcceptedStep(double alpha, const BlockingResult& r, bool hitBound, double fBefore);
  RgStatus superbasicHitsBound(int32_t k, const BlockingResult& r);
  RgStatus basicHitsBound(int32_t position, const BlockingResult& r);
  void keepEnteringColumn(int32_t j);
  RgStatus convergence(double alpha, double fBefore);
  RgStatus unboundedStep();
  void moveAlong(double alpha);

  const Problem& prob_;
  ProblemState& state_;
  const Parameters& p_;
  const ReportChannels out_;
  BasisFactors& basis_;
  SearchDirection& direction_;
  Subspace& subspace_;
  SubproblemObjective& objective_;
  Prices& prices_;
  Feasibility& feasibility_;
  const Pricer& pricer_;
  FunctionEvaluator* evaluator_;
  MajorIterations* majors_;
  ExitCode& exit_;
  int32_t& position_;
  const int32_t m_, n_;
  std::vector<double> work_, solution_;  // m: right-hand sides and solutions of the basis
  double pNorm_ = 0.0, xNorm_ = 0.0;     // max |pB| + max |pS|, max |xB| + max |xS|
  // The step being taken.
  Phase* phase_ = nullptr;
  IterationRecord* record_ = nullptr;
  int32_t itn_ = 0, majorItn_ = 0;
  int32_t degenerateSteps_ = 0;
};

// The lines of a run that ends because its point cannot be improved upon.
void printCannotImprove(const ReportChannels& out, int32_t derivativeLevel, double rgNorm, double piNorm);

}  // namespace kavro
