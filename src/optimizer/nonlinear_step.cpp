// The reduced-gradient step with a nonlinear objective: the linesearch along the direction, what
// its result means, what the model learns from an accepted step, and the fixed sequence of
// retries after a failed search.

#include <algorithm>
#include <cmath>

#include "optimizer/along_line.hpp"
#include "optimizer/loop_exit.hpp"
#include "optimizer/reduced_gradient_step.hpp"

namespace kavro {

namespace {

const char* searchMessage(SearchResult code) {
  switch (code) {
    case SearchResult::kMaxStepTooSmall: return "max step too small.";
    case SearchResult::kStepTooSmall: return "step too small.";
    case SearchResult::kNoMinimizer: return "no minimizer.";
    case SearchResult::kTooManyFunctions: return "too many functions.";
    case SearchResult::kUphill: return "uphill direction.";
    default: return "";
  }
}

}  // namespace

LinesearchSettings ReducedGradientStep::linesearchSettings(const BlockingResult& r) const {
  const int32_t ns = state_.ns;
  const double* rg = subspace_.rg();
  const double* pS = subspace_.direction();
  double gtp0 = 0.0;
  for (int32_t k = 0; k < ns; ++k) gtp0 += rg[k] * pS[k];
  // The smallest step worth trying depends on the size of each moving variable.
  const double* p = direction_.p();
  const double* x = state_.x.data();
  const int32_t* list = basis_.list();
  double toltny = 0.0;
  for (int32_t k = 0; k < m_ + ns; ++k) {
    const double pk = std::fabs(p[k]);
    if (pk == 0.0) continue;
    const double xk = std::fabs(x[list[k]]);
    toltny = std::max(toltny, pk / (p_.machine.eps0 * (1.0 + xk)));
  }
  LinesearchSettings s;
  s.alfmax = r.step;
  s.initialStep = std::min(1.0, (xNorm_ + 1.0) * p_.minorDampingParameter / pNorm_);
  s.f0 = objective_.minimized(x);
  s.gtp0 = gtp0;
  s.differenceInterval = p_.differenceInterval;
  s.functionPrecision = p_.functionPrecision;
  s.linesearchTolerance = p_.linesearchTolerance;
  s.gnorm = subspace_.rgNorm();
  s.pNorm = pNorm_;
  s.xNorm = xNorm_;
  s.tinyStepRatio = toltny;
  s.derivatives = !objective_.gradientsDifferenced();
  s.forwardDifferences = objective_.forwardDifferencesInUse();
  s.debug = itn_ >= p_.linesearchDebugAfter;
  s.itn = itn_;
  s.machine = p_.machine;
  s.out = out_;
  return s;
}

// A failed evaluation ends the run with exit 6. A routine's request to stop has been announced
// by the evaluator; an undefined point is announced here, so that no run ends without its EXIT
// line.
RgStatus ReducedGradientStep::evaluationFailed(const char* where) {
  if (!evaluator_ || !evaluator_->stopRequested()) out_.both(" EXIT -- function not defined (mode = -1) %s", where);
  exit_ = kFunctionError;
  return RgStatus::kStop;
}

RgStatus ReducedGradientStep::nonlinearStep(const BlockingResult& r, double fBefore) {
  const bool blocked = !r.unbounded && r.blockPos >= 0;
  LineObjective line(objective_, state_.x.data(), basis_.list(), direction_.p(), m_ + state_.ns);
  const LinesearchResult ls = m6srch(linesearchSettings(r), line);
  const SearchResult code = ls.searchResult;
  if (code == SearchResult::kEvaluationFailed) return evaluationFailed("in the linesearch");
  // A search that met undefined points worked with a shorter maximum step: the bound was not
  // reached then, whatever the result code says about the (cut) maximum.
  if (code >= SearchResult::kCurvature && code <= SearchResult::kBetterPoint) {
    const bool atBound = ls.alfmax == r.step && (code == SearchResult::kCurvatureAtMax || ls.alfa >= r.step);
    return acceptNonlinearStep(ls.alfa, r, atBound, fBefore);
  }
  if (code == SearchResult::kMaxStepTooSmall && blocked && r.degenerate) {
    // The bound lies closer than any useful step: move exactly onto it.
    double f = 0.0, gtp = 0.0;
    if (line.evaluate(r.step, true, f, gtp) != 0) return evaluationFailed("at the step to the bound");
    out_.print(" Forcing a small step.  alpha * norm(p) = %10.2e", r.step * pNorm_);
    return acceptNonlinearStep(r.step, r, true, fBefore);
  }
  const bool maybeDifferences = code == SearchResult::kStepTooSmall || code == SearchResult::kTooManyFunctions;
  if (maybeDifferences && objective_.forwardDifferencesInUse()) return switchToCentralDifferences();
  out_.both(" Search exit %2d -- %-20s Itn = %7d   Norm rg = %10.3e", static_cast<int32_t>(code), searchMessage(code),
            itn_, subspace_.rgNorm());
  Subspace::Control& c = subspace_.control();
  if (code == SearchResult::kStepTooSmall && c.searchFailures < 1) c.searchFailures = 1;
  return retrySequence();
}

// The point moves to the accepted step; the prices and reduced gradient follow the new gradient
// and the model learns the curvature seen along the step.
RgStatus ReducedGradientStep::acceptNonlinearStep(double alpha, const BlockingResult& r, bool atBound, double fBefore) {
  const int32_t ns = state_.ns;
  const bool blocked = !r.unbounded && r.blockPos >= 0;
  const bool hitBound = blocked && atBound;
  if (hitBound) alpha = r.step;
  if (majors_) direction_.keepValues(m_ + ns, basis_.list(), state_.x.data());
  moveAlong(alpha);
  if (alpha != 0.0) objective_.takeTrial();
  // Only a value far below zero is unbounded: a large positive one (a subproblem far from its
  // linearization point, with the penalty term large) is still being reduced.
  const double objective = objective_.minimized(state_.x.data());
  if (objective <= -p_.unboundedObjectiveValue || alpha * pNorm_ >= p_.unboundedStepSize)
    return unboundedValue(alpha, objective);
  record_->hmod1 = record_->hmod2 = 0;
  if (alpha != 0.0) learnAlongStep(alpha, fBefore);
  return afterAcceptedStep(alpha, r, hitBound, fBefore);
}

RgStatus ReducedGradientStep::unboundedValue(double alpha, double objective) {
  const int32_t ns = state_.ns;
  if (objective <= -p_.unboundedObjectiveValue)
    out_.print(" XXX  Linesearch has exceeded the Unbounded function value.  fsub = %15.6e", objective);
  else out_.print(" XXX  Linesearch has exceeded the Unbounded step size.  step = %15.6e", alpha);
  if (ns > 0)
    out_.print(" XXX  Unbounded in Phase %2d   Last SB = %7d   rg = %11.3e", static_cast<int32_t>(*phase_),
               subspace_.variable(ns - 1) + 1, subspace_.rg()[ns - 1]);
  if (!majors_) {
    declareExit(exit_, kUnbounded, out_);
    return RgStatus::kStop;
  }
  // A subproblem may be unbounded where the problem is not (the first one lacks its nonlinear
  // rows; a later one may have too small a penalty): the point goes back to where the step
  // started and the subproblem is changed as for an unbounded ray, while it can be.
  direction_.restoreValues(m_ + ns, basis_.list(), state_.x.data());
  objective_.markStale();
  return RgStatus::kUnbounded;
}

void ReducedGradientStep::learnAlongStep(double alpha, double fBefore) {
  subspace_.keepReducedGradient();
  const BasicCosts costs = basicCostsOf(objective_, feasibility_);
  prices_.loadCosts(basis_.list(), costs);
  prices_.compute(basis_.lu(), basis_.list(), basicCostsOf(objective_, feasibility_), state_.pi.data());
  subspace_.computeReducedGradient(state_.pi.data(), objective_, feasibility_.ninf() > 0, feasibility_.weight());
  record_->hmod1 = subspace_.learn(alpha, fBefore, objective_.gradientsDifferenced());
}

RgStatus ReducedGradientStep::switchToCentralDifferences() {
  out_.both("%s", " Switch to central differences.");
  evaluator_->setDifferenceChoice(FunctionEvaluator::kCentral);
  // Gradients are recomputed with the new differences.
  subspace_.control().searchFailures = 0;
  objective_.markStale();
  prices_.markStale();
  *phase_ = Phase::kSubspace;
  return RgStatus::kRestart;
}

// After a failed search: each failure advances the count one action further, so that cheap
// remedies come first and a later failure resumes where the previous one stopped.
RgStatus ReducedGradientStep::retrySequence() {
  const int32_t ns = state_.ns;
  Subspace::Control& c = subspace_.control();
  for (;;) {
    const int32_t failures = ++c.searchFailures;
    if (p_.printLevel % 10 > 0) out_.print(" Retry %3d", failures);
    if (failures == 1) {
      if (modelInUse() && subspace_.model().estimateCondition(ns).condR >= 1.0 / p_.machine.eps1) {
        c.modelResetPending = true;
        subspace_.resetModel();
        return RgStatus::kRepeat;
      }
    } else if (failures == 2 || failures == 6) {
      if (objective_.forwardDifferencesInUse() && c.lvltol == (failures == 2 ? 2 : 1))
        return switchToCentralDifferences();
    } else if (failures <= 5) {
      const double bound = c.lvltol == 2 ? 1.0 : 10.0;
      if ((failures < 5 || pricer_.lastAbove() > 0) && ns < p_.superbasicsLimit &&
          subspace_.rgNorm() <= bound * prices_.norm()) {
        *phase_ = Phase::kNewSuperbasics;
        return RgStatus::kPriceAgain;
      }
      c.searchFailures = 5;
    } else if (failures == 7) {
      basis_.request(FactorRequest::kLinesearchFailures);
      *phase_ = Phase::kSubspace;
      return RgStatus::kRefactorize;
    } else {
      if (ns >= p_.superbasicsLimit) {
        out_.both("%s", " EXIT -- the superbasics limit is too small...");
        exit_ = kSuperbasicsLimit;
      } else if (majors_ && majorItn_ > 1) {
        // A later major iteration may do better from a new linearization: the run goes on, so
        // nothing here may read as its end.
        out_.both("%s", " XXX  The subproblem cannot be improved upon: the major iteration ends");
        exit_ = kCannotImprove;
      } else {
        printCannotImprove(out_, p_.derivativeLevel, subspace_.rgNorm(), prices_.norm());
        exit_ = kCannotImprove;
      }
      return RgStatus::kStop;
    }
  }
}

}  // namespace kavro
