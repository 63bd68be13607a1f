// What pricing's answer means: a variable to move, or none, and then optimal, infeasible or a
// subspace to optimize further; the limits on iterations; and what an unbounded ray means.

#include <algorithm>

#include "optimizer/loop_exit.hpp"
#include "optimizer/main_loop.hpp"

namespace kavro {

namespace {

// Infeasible minor iterations a linearized subproblem may make, as a multiple of the
// "Minor iterations limit" (or m, when that is more).
constexpr int32_t kInfeasibleMinorFactor = 10;

PricingInput pricingInput(const Problem& prob, const ProblemState& state, const Parameters& p, const double* gradient,
                          double piNorm, bool feasible, int32_t itn) {
  PricingInput in;
  in.prob = &prob;
  in.hs = state.hs.data();
  in.pi = state.pi.data();
  in.gradient = gradient;
  in.optimalityTolerance = p.optimalityTolerance;
  in.rootEps = p.machine.eps2;
  in.piNorm = piNorm;
  in.feasible = feasible;
  in.multiplePrice = p.multiplePrice;
  in.superbasicsLimit = p.superbasicsLimit;
  in.ns = state.ns;
  in.itn = itn;
  in.debugLevel = p.debugLevel;
  return in;
}

bool anyBetweenBounds(const std::vector<int32_t>& hs) {
  return std::find(hs.begin(), hs.end(), kBetweenBounds) != hs.end();
}

}  // namespace

// Pricing, and what follows from its answer.
MainLoop::Next MainLoop::priceAndTest(PricingResult& pr) {
  const bool feasible = feasibility_.ninf() == 0;
  double* dj = in_.state.reducedCost.data();
  PricingInput in = pricingInput(prob_, in_.state, p_,
                                 feasible && objective_.nonlinear() ? objective_.gradient() : nullptr, prices_.norm(),
                                 feasible, counts_.itn);
  pr = check_.priceByCheck(!feasible, dj);
  if (pr.enteringVar < 0) {
    bool freshPricesWanted = false;
    pr = pricer_.price(in, pricingSituation(), feasibility_.weight(), dj, in_.out, freshPricesWanted);
    if (freshPricesWanted) {
      computePrices(true);
      in.piNorm = prices_.norm();
      pr = pricer_.priceAgain(in, dj);
    }
  }
  pricer_.noteAbove(pr.nAbove);
  if (pr.superbasicsLimitReached) {
    in_.out.both(" EXIT -- the superbasics limit is too small: %7d", p_.superbasicsLimit);
    outcome_.exitCode = kSuperbasicsLimit;
    return Next::kEnd;
  }
  if (pr.enteringVar < 0) {
    const bool allowed = !feasible || (!objective_.nonlinear() && in_.state.ns == 0);
    if (!(anyBetweenBounds(hs_) && allowed && priceBetweenBounds(in, dj, pr))) {
      // No candidate: optimal, or infeasible.
      return (feasible ? optimalityTest(pr) : infeasibleTest()) ? Next::kEnd : Next::kIteration;
    }
  }
  // A candidate joins the superbasics when the objective is nonlinear, superbasics exist or
  // several candidates were kept; otherwise it enters the basis by a simplex step.
  if (pr.nCandidates > 1 || in_.state.ns > 0 || (feasible && objective_.nonlinear())) phase_ = Phase::kNewSuperbasics;
  subspace_.control().lvltol = 1;
  if (counts_.itn >= p_.iterationLimit) {
    declareExit(outcome_.exitCode, kTooManyIterations, in_.out);
    return Next::kEnd;
  }
  if (counts_.feasibleMinor >= p_.minorIterationsLimit) {
    if (in_.majors) endMajorIteration(kSubproblemLimit);
    else declareExit(outcome_.exitCode, kTooManyIterations, in_.out);
    return Next::kEnd;
  }
  // Infeasible iterations are not bounded by the minor-iterations limit; in a linearized
  // subproblem a phase 1 with superbasics can wander around the same sum of infeasibilities
  // without end, so after a generous allowance the subproblem counts as infeasible.
  const int32_t infeasibleItns = counts_.minor - counts_.feasibleMinor - counts_.infeasibleJudged;
  if (in_.majors && counts_.major > 1 && !feasible &&
      infeasibleItns >= std::max(kInfeasibleMinorFactor * p_.minorIterationsLimit, m_)) {
    counts_.infeasibleJudged += infeasibleItns;
    return subproblemInfeasible() ? Next::kEnd : Next::kIteration;
  }
  return Next::kStep;
}

// Pricing found nothing at a feasible point. With superbasics the subspace may first need
// optimizing further; otherwise the point is optimal once the row check agrees.
bool MainLoop::optimalityTest(const PricingResult& pr) {
  Subspace::Control& c = subspace_.control();
  if (in_.state.ns > 0) {
    const bool partial = p_.completion == 0 && prob_.nNonlinCons > 0;
    const double tolTarget = std::min((partial ? 0.01 : p_.optimalityTolerance) * prices_.norm(), check_.rgTarget());
    const bool searchStuck = c.searchFailures > 0 && c.restrictedRun < 2;
    if (!(subspace_.rgNorm() <= tolTarget || c.lvltol == 2 || searchStuck)) {
      c.tolrg = 0.1 * std::min(c.tolrg, subspace_.rgNorm());
      phase_ = Phase::kSubspace;
      if (c.tolrg <= tolTarget) {
        c.lvltol = 2;
        c.tolrg = tolTarget;
      }
      if (p_.printLevel % 10 > 0) in_.out.print(" tolrg  reduced to %10.3e   lvltol = %2d", c.tolrg, c.lvltol);
      return false;
    }
  }
  if (expandReset(false)) return false;
  // The line names the variable with the largest measure pricing saw, below the tolerance; when
  // none had a positive one there is no biggest dj to show.
  if (p_.printLevel % 10 > 0 && pr.biggestVar >= 0)
    in_.out.print(" Biggest dj = %11.3e (variable %7d)    norm rg = %11.3e   norm pi = %11.3e", pr.biggestDj,
                  pr.biggestVar + 1, subspace_.rgNorm(), prices_.norm());
  if (basis_.itnSinceFactor() > 0 && !basis_.rowCheck(false, counts_.itn)) {
    basis_.request(FactorRequest::kRowError);
    return !factorize();
  }
  // With nonlinear constraints an optimal subproblem ends the major iteration. Without them the
  // point is checked on the user's (unscaled) problem before the run may end optimal, and the
  // iterations go on when it fails: a linear objective at its basis first (a nonlinear one
  // converges to its own test on the reduced gradient, which allows for the precision of the
  // functions), then the certificate. A reduced gradient that is still large makes it
  // near-optimal only.
  if (in_.majors) {
    endMajorIteration(kSubproblemOptimal);
    return true;
  }
  if (subspace_.rgNorm() / prices_.norm() < kSinglePrecisionTenth) {
    OptimalityCheck::Verdict verdict = OptimalityCheck::Verdict::kConfirmed;
    if (!objective_.nonlinear()) {
      computePrices(true);
      verdict = confirm(check_.confirmUnscaled(counts_.itn));
    }
    if (verdict == OptimalityCheck::Verdict::kConfirmed) verdict = confirm(check_.confirmCertificate(counts_.itn));
    if (verdict == OptimalityCheck::Verdict::kContinue) return false;
    if (verdict == OptimalityCheck::Verdict::kStop) return true;
  }
  declareOptimal(outcome_.exitCode, subspace_.rgNorm(), prices_.norm(), in_.out);
  return true;
}

// A check that asks for a refactorization gets it (the basic values from the nonbasic ones, in
// the units now in force) and the iterations go on.
OptimalityCheck::Verdict MainLoop::confirm(OptimalityCheck::Verdict verdict) {
  if (verdict != OptimalityCheck::Verdict::kRefactorize) return verdict;
  basis_.request(FactorRequest::kNone);
  if (!factorize()) return OptimalityCheck::Verdict::kStop;
  prices_.markStale();
  return OptimalityCheck::Verdict::kContinue;
}

bool MainLoop::infeasibleTest() {
  if (feasibility_.weight() != 0.0) {
    feasibility_.reduceWeight();
    if (p_.printLevel % 10 > 0 || p_.debugLevel > 0)
      in_.out.print(" Weight on obj reduced to %12.4e", feasibility_.weight());
    prices_.markStale();
    return false;
  }
  if (expandReset(true)) return false;
  Subspace::Control& c = subspace_.control();
  if (in_.state.ns > 0 && c.lvltol == 1) {
    // The superbasics may still reduce the infeasibilities: optimize their subspace harder.
    c.lvltol = 2;
    c.tolrg = std::min(p_.optimalityTolerance, p_.machine.eps2) * prices_.norm();
    if (subspace_.rgNorm() > c.tolrg) {
      phase_ = Phase::kSubspace;
      if (p_.printLevel % 10 > 0) in_.out.print(" tolrg  reduced to %10.3e   lvltol = %2d", c.tolrg, c.lvltol);
      return false;
    }
  }
  return subproblemInfeasible();
}

// A linearized subproblem (after the first, or once the first has its nonlinear rows back) may
// be infeasible where the problem is not: its least infeasible point is taken as a step toward
// feasibility while such steps help, its nonlinear rows are relaxed a little (a few times), and
// only then does the run give up, saying what was shown infeasible.
bool MainLoop::subproblemInfeasible() {
  MajorIterations* majors = in_.majors;
  const bool linearized = majors && (counts_.major > 1 || !majors->rowsRelaxed());
  if (linearized && majors->restorationProgressing()) {
    endMajorIteration(kSubproblemInfeasible);
    return true;
  }
  if (linearized) {
    majors->countInfeasibleRetry();
    if (majors->infeasibleRetries() <= 5) {
      if (majors->perturbRowBounds(prob_, feasibility_.sinf())) {
        basis_.placeWithinBounds();
        expandReset(false);
        prices_.markStale();
        return false;
      }
      endMajorIteration(kSubproblemInfeasible);
      return true;
    }
  }
  declareExit(outcome_.exitCode, kInfeasible, in_.out);
  if (linearized)
    in_.out.both("%s",
                 " XXX  The linearized constraints cannot be satisfied near this point: the nonlinear"
                 " constraints may still be feasible from another starting point.");
  return true;
}

bool MainLoop::unboundedRay(bool subproblemMayEnd) {
  if (feasibility_.ninf() > 0 && feasibility_.weight() > 0.0) {
    feasibility_.dropWeight();
    prices_.markStale();
    return false;
  }
  if (expandReset(true)) return false;
  // With nonlinear constraints the first subproblem is bounded only by its linear rows: the
  // nonlinear rows get their bounds back before a larger penalty is tried.
  MajorIterations* majors = in_.majors;
  if (majors && majors->giveRowsTheirBounds(prob_)) {
    basis_.placeWithinBounds();
    expandReset(false);
    objective_.markStale();
    prices_.markStale();
    return false;
  }
  // A linearized subproblem can be unbounded where the problem is not: multiplier estimates of
  // the wrong size make its Lagrangian terms fall faster than a small penalty rises (a concave
  // row whose multiplier is large). They are given up first, then the penalty is raised.
  if (majors && (majors->forgetMultipliers() || majors->raisePenalty())) {
    objective_.markStale();
    prices_.markStale();
    return false;
  }
  // A ray that shows nothing about the problem ends a later subproblem, reported as unbounded in
  // the major log (a new linearization may bound it); otherwise the point cannot be improved.
  if (majors && !check_.unboundednessShown()) {
    if (subproblemMayEnd) {
      endMajorIteration(kSubproblemUnbounded);
      return true;
    }
    in_.out.both("%s", " EXIT -- the current point cannot be improved upon");
    outcome_.exitCode = kCannotImprove;
    return true;
  }
  // After the optimality check removed the scaling, a ray comes from the unscaled problem's
  // poor scaling (pivots too small beside the rest of their column are passed over), not from
  // the problem, which the scaled iterations had solved but for the check: that point's
  // successor is reported near-optimal, not "unbounded".
  if (check_.scalingDropped()) {
    in_.out.both(" Itn %7d -- a ray of the unscaled problem after its scaling was removed", counts_.itn);
    in_.out.both("%s", " EXIT -- near-optimal solution found");
    in_.out.both("%s", " XXX WARNING: the problem is scaled too badly to meet its tolerances without its scaling");
    outcome_.exitCode = kNearOptimal;
    return true;
  }
  declareExit(outcome_.exitCode, kUnbounded, in_.out);
  return true;
}

}  // namespace kavro
