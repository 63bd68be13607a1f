// The reduced-gradient step with a nonlinear objective: the linesearch along the direction,
// what its result code means, the update of the reduced-Hessian factor after a step, and the
// fixed sequence of retries after a failed search.

#include <algorithm>
#include <cmath>

#include "optimizer/along_line.hpp"
#include "optimizer/main_loop.hpp"

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

void MainLoop::resetHessian() {
  const int32_t ns = in_.state.ns;
  if (sb_.hessianResetPending) hess_.markForReset();
  const SubspaceHessian::ResetResult r = hess_.reset(ns);
  if (r.rescaled) in_.out.print(" Hessian modified.  CondR = %10.2e", r.condR);
  sb_.hessianResetPending = false;
}

RgStatus MainLoop::nonlinearStep(const BlockingResult& r, double fBefore) {
  const int32_t ns = in_.state.ns;
  const bool blocked = !r.unbounded && r.blockPos >= 0;
  double gtp0 = 0.0;
  for (int32_t k = 0; k < ns; ++k) gtp0 += sb_.rg[static_cast<size_t>(k)] * sb_.pS[static_cast<size_t>(k)];
  // The smallest step worth trying depends on the size of each moving variable.
  double toltny = 0.0;
  for (int32_t k = 0; k < m_ + ns; ++k) {
    const double pk = std::fabs(direction_.p()[k]);
    if (pk == 0.0) continue;
    const double xk = std::fabs(x_[static_cast<size_t>(basis_.at(k))]);
    toltny = std::max(toltny, pk / (p_.machine.eps0 * (1.0 + xk)));
  }
  LinesearchSettings s;
  s.alfmax = r.step;
  s.initialStep = std::min(1.0, (xNorm_ + 1.0) * p_.minorDampingParameter / pNorm_);
  s.f0 = objective_.minimized(x_.data());
  s.gtp0 = gtp0;
  s.differenceInterval = p_.differenceInterval;
  s.functionPrecision = p_.functionPrecision;
  s.linesearchTolerance = p_.linesearchTolerance;
  s.gnorm = sb_.rgNorm;
  s.pNorm = pNorm_;
  s.xNorm = xNorm_;
  s.tinyStepRatio = toltny;
  s.derivatives = !objective_.gradientsDifferenced();
  s.forwardDifferences = objective_.forwardDifferencesInUse();
  s.debug = itn_ >= p_.linesearchDebugAfter;
  s.itn = itn_;
  s.machine = p_.machine;
  s.out = in_.out;
  LineObjective line(objective_, x_.data(), basis_.list(), direction_.p(), m_ + in_.state.ns);
  const LinesearchResult ls = m6srch(s, line);
  const SearchResult code = ls.searchResult;

  if (code == SearchResult::kEvaluationFailed) {
    outcome_.exitCode = kFunctionError;
    return RgStatus::kStop;
  }
  // A search that met undefined points worked with a shorter maximum step: the bound was not
  // reached then, whatever the result code says about the (cut) maximum.
  if (code >= SearchResult::kCurvature && code <= SearchResult::kBetterPoint) {
    const bool atBound = ls.alfmax == r.step && (code == SearchResult::kCurvatureAtMax || ls.alfa >= r.step);
    return acceptNonlinearStep(ls.alfa, r, atBound, fBefore);
  }
  if (code == SearchResult::kMaxStepTooSmall && blocked && r.degenerate) {
    // The bound lies closer than any useful step: move exactly onto it.
    double f = 0.0, gtp = 0.0;
    const int status = line.evaluate(r.step, true, f, gtp);
    if (status != 0) {
      outcome_.exitCode = kFunctionError;
      return RgStatus::kStop;
    }
    in_.out.print(" Forcing a small step.  alpha * norm(p) = %10.2e", r.step * pNorm_);
    return acceptNonlinearStep(r.step, r, true, fBefore);
  }
  const bool maybeDifferences = code == SearchResult::kStepTooSmall || code == SearchResult::kTooManyFunctions;
  if (maybeDifferences && objective_.forwardDifferencesInUse()) return switchToCentralDifferences();
  in_.out.both(" Search exit %2d -- %-20s Itn = %7d   Norm rg = %10.3e", static_cast<int32_t>(code), searchMessage(code),
                itn_, sb_.rgNorm);
  if (code == SearchResult::kStepTooSmall && sb_.searchFailures < 1) sb_.searchFailures = 1;
  return retrySequence();
}

// The point moves to the accepted step; the prices and reduced gradient follow the new gradient
// and R learns the curvature seen along the step.
RgStatus MainLoop::acceptNonlinearStep(double alpha, const BlockingResult& r, bool atBound, double fBefore) {
  const int32_t ns = in_.state.ns;
  const bool blocked = !r.unbounded && r.blockPos >= 0;
  const bool hitBound = blocked && atBound;
  if (hitBound) alpha = r.step;
  if (majors_) direction_.keepValues(m_ + ns, basis_.list(), x_.data());
  moveValuesAlong(alpha);
  if (alpha != 0.0) objective_.takeTrial();
  // Only a value far below zero is unbounded: a large positive one (a subproblem far from its
  // linearization point, with the penalty term large) is still being reduced.
  const double objective = objective_.minimized(x_.data());
  const bool unboundedValue = objective <= -p_.unboundedObjectiveValue;
  if (unboundedValue || alpha * pNorm_ >= p_.unboundedStepSize) {
    if (unboundedValue)
      in_.out.print(" XXX  Linesearch has exceeded the Unbounded function value.  fsub = %15.6e", objective);
    else
      in_.out.print(" XXX  Linesearch has exceeded the Unbounded step size.  step = %15.6e", alpha);
    if (ns > 0)
      in_.out.print(" XXX  Unbounded in Phase %2d   Last SB = %7d   rg = %11.3e", static_cast<int32_t>(ph_),
                     basis_.at(m_ + ns - 1) + 1, sb_.rg[static_cast<size_t>(ns - 1)]);
    if (!majors_) {
      setExit(kUnbounded);
      return RgStatus::kStop;
    }
    // A subproblem may be unbounded where the problem is not (the first one lacks its nonlinear
    // rows; a later one may have too small a penalty): the point goes back to where the step
    // started and the subproblem is changed as for an unbounded ray, while it can be.
    direction_.restoreValues(m_ + ns, basis_.list(), x_.data());
    objective_.markStale();
    return unboundedRay() ? RgStatus::kStop : RgStatus::kRestart;
  }
  hmod_[0] = hmod_[1] = 0;
  if (alpha != 0.0) {
    std::copy(sb_.rg.begin(), sb_.rg.begin() + ns, sb_.rgNew.begin());  // the old reduced gradient
    double slope = 0.0;
    for (int32_t k = 0; k < ns; ++k) slope += sb_.rgNew[static_cast<size_t>(k)] * sb_.pS[static_cast<size_t>(k)];
    loadBasicGradient();
    computePrices();
    computeReducedGradient();
    // A step along which the objective changes by less than its precision carries no usable
    // curvature when the gradients are differenced, or for the diagonal kept beyond "Hessian
    // dimension": the update would divide roundoff by roundoff. A full factor from exact
    // gradients keeps learning from tiny steps, and skipping them would stall it near a solution.
    const double precision = p_.functionPrecision * (1.0 + std::fabs(fBefore));
    const bool roundoffOnly = objective_.gradientsDifferenced() || ns > hess_.maxR();
    if (!roundoffOnly || alpha * std::fabs(slope) > precision)
      hmod_[0] = hess_.bfgsUpdate(ns, sb_.rgNew.data(), sb_.rg.data(), sb_.pS.data(), alpha, sb_.z.data());
  }
  return afterAcceptedStep(alpha, r, hitBound, fBefore);
}

RgStatus MainLoop::switchToCentralDifferences() {
  in_.out.both("%s", " Switch to central differences.");
  in_.evaluator->setDifferenceChoice(FunctionEvaluator::kCentral);
  // Gradients are recomputed with the new differences.
  sb_.searchFailures = 0;
  objective_.markStale();
  prices_.markStale();
  ph_ = Phase::kSubspace;
  return RgStatus::kRestart;
}

// After a failed search: each failure advances the count one action further, so that cheap
// remedies come first and a later failure resumes where the previous one stopped.
RgStatus MainLoop::retrySequence() {
  const int32_t ns = in_.state.ns;
  for (;;) {
    const int32_t failures = ++sb_.searchFailures;
    if (p_.printLevel % 10 > 0) in_.out.print(" Retry %3d", failures);
    if (failures == 1) {
      if (hessianInUse() && hess_.estimateCondition(ns).condR >= 1.0 / p_.machine.eps1) {
        sb_.hessianResetPending = true;
        resetHessian();
        return RgStatus::kRepeat;
      }
    } else if (failures == 2 || failures == 6) {
      if (objective_.forwardDifferencesInUse() && sb_.lvltol == (failures == 2 ? 2 : 1)) return switchToCentralDifferences();
    } else if (failures <= 5) {
      const double c = sb_.lvltol == 2 ? 1.0 : 10.0;
      if ((failures < 5 || pricer_.lastAbove() > 0) && ns < p_.superbasicsLimit && sb_.rgNorm <= c * prices_.norm()) {
        ph_ = Phase::kNewSuperbasics;
        return RgStatus::kPriceAgain;
      }
      sb_.searchFailures = 5;
    } else if (failures == 7) {
      basis_.request(FactorRequest::kLinesearchFailures);
      ph_ = Phase::kSubspace;
      return RgStatus::kRefactorize;
    } else {
      if (ns >= p_.superbasicsLimit) {
        in_.out.both("%s", " EXIT -- the superbasics limit is too small...");
        outcome_.exitCode = kSuperbasicsLimit;
      } else if (majors_ && majorItn_ > 1) {
        // A later major iteration may do better from a new linearization: the run goes on, so
        // nothing here may read as its end.
        in_.out.both("%s", " XXX  The subproblem cannot be improved upon: the major iteration ends");
        outcome_.exitCode = kCannotImprove;
      } else {
        printCannotImprove();
        outcome_.exitCode = kCannotImprove;
      }
      return RgStatus::kStop;
    }
  }
}

void MainLoop::printCannotImprove() {
  in_.out.both("%s", " XXX  The functions are non-smooth or very nonlinear");
  if (p_.derivativeLevel >= 1) in_.out.both("%s", " XXX  MAKE SURE THE GRADIENTS ARE CODED CORRECTLY");
  if (sb_.rgNorm / prices_.norm() >= 0.1) in_.out.both("%s", " XXX  The final point is NOT CLOSE TO AN OPTIMUM");
  else in_.out.both("%s", " XXX  The final point is REASONABLY NEAR AN OPTIMUM");
  in_.out.both("%s", " EXIT -- the current point cannot be improved upon");
}

// With more superbasics than R holds, the one outside R with the largest reduced gradient
// changes places with the one inside whose reduced gradient is smallest, when that is worth it:
// the inside one goes to the end of the list, the outside one takes the last place in R.
bool MainLoop::exchangeAcrossHessianBoundary() {
  const int32_t ns = in_.state.ns;
  const int32_t maxR = hess_.maxR();
  if (ns <= maxR) return false;
  auto rgAt = [&](int32_t k) { return std::fabs(sb_.rg[static_cast<size_t>(k)]); };
  auto swapPlaces = [&](int32_t a, int32_t b) {
    std::swap(basis_.at(m_ + a), basis_.at(m_ + b));
    std::swap(sb_.rg[static_cast<size_t>(a)], sb_.rg[static_cast<size_t>(b)]);
  };
  int32_t largest = maxR;
  for (int32_t k = maxR + 1; k < ns; ++k)
    if (rgAt(k) > rgAt(largest)) largest = k;
  if (largest != maxR) {
    hess_.swapDiagonal(largest, maxR);
    swapPlaces(largest, maxR);
  }
  int32_t smallest = 0;
  for (int32_t k = 1; k < maxR; ++k)
    if (rgAt(k) < rgAt(smallest)) smallest = k;
  const double rgIn = rgAt(maxR), rgInsideMin = rgAt(smallest);
  if (!(rgIn > rgInsideMin || ns >= p_.superbasicsLimit)) return false;
  const int32_t leaving = basis_.at(m_ + smallest);
  hess_.moveOutOfTriangle(smallest, ns);
  // The list follows the factor: the leaving one goes to the end, the others close up.
  const double rgLeaving = sb_.rg[static_cast<size_t>(smallest)];
  for (int32_t k = smallest; k + 1 < ns; ++k) {
    basis_.at(m_ + k) = basis_.at(m_ + k + 1);
    sb_.rg[static_cast<size_t>(k)] = sb_.rg[static_cast<size_t>(k + 1)];
  }
  basis_.at(m_ + ns - 1) = leaving;
  sb_.rg[static_cast<size_t>(ns - 1)] = rgLeaving;
  exchangeLine_ = {rgIn, leaving + 1, rgInsideMin};
  return true;
}

}  // namespace kavro
