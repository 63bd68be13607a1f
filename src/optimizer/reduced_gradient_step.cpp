// One reduced-gradient step (phases 3 and 4): the superbasic variables move along a
// quasi-Newton direction in the null space of the basis, the basic variables follow so that the
// general constraints stay satisfied, and the step ends at the linesearch's point or at the
// first bound. A variable that reaches a bound leaves the superbasic set; a basic one is
// replaced by the superbasic best suited to take its place.

#include <algorithm>
#include <cmath>

#include "kernels/vector_ops.hpp"

#include "optimizer/main_loop.hpp"

namespace kavro {

// Phase 3: the variables chosen by pricing join the superbasic set, unless the subspace is
// still far from optimal compared with what the new variable offers (nonlinear phase), in
// which case the current subspace is optimized further. Returns true when they joined.
bool MainLoop::admitCandidates(const PricingResult& pr) {
  const int32_t ns = in_.state.ns;
  const double absDj = std::fabs(pr.dj);
  if (hessianInUse() && ns > 0 && sb_.searchFailures < 1 && sb_.rgNorm > 0.9 * absDj &&
      sb_.rgNorm > p_.machine.eps2 * prices_.norm()) {
    sb_.tolrg = 0.9 * sb_.rgNorm;
    ph_ = Phase::kSubspace;
    logEntered_ = -(pr.enteringVar + 1);
    return false;
  }
  double dj = pr.dj;
  if (!hessianInUse() && dj == 0.0) dj = pr.increase ? -1.0 : 1.0;
  sb_.rgNorm = std::max(sb_.rgNorm, std::fabs(dj));
  sb_.tolrg = p_.subspaceTolerance * std::fabs(dj);
  addSuperbasic(pr.enteringVar, dj);
  if (std::fabs(dj) > sb_.rgNormR && in_.state.ns <= hess_.maxR()) sb_.rgNormR = std::fabs(dj);
  for (int32_t c = 1; c < pr.nCandidates && c < static_cast<int32_t>(pr.candidates.size()); ++c) {
    if (in_.state.ns >= p_.superbasicsLimit) break;
    const PriceCandidate& cand = pr.candidates[static_cast<size_t>(c)];
    if (cand.j == pr.enteringVar || hs_[static_cast<size_t>(cand.j)] == kSuperbasic) continue;
    addSuperbasic(cand.j, cand.dj);
  }
  logEntered_ = pr.enteringVar + 1;
  return true;
}

// pS from R' R pS = -rg (or -rg without R), pB = -B^-1 S pS, and the norms of both.
void MainLoop::computeDirection() {
  const int32_t ns = in_.state.ns;
  double* pS = sb_.pS.data();
  const double* rg = sb_.rg.data();
  sb_.restricted = false;
  if (hessianInUse()) {
    hess_.direction(ns, rg, sb_.z.data(), pS);
    const int32_t maxR = hess_.maxR();
    if (ns > maxR) {
      // Beyond the factor only a diagonal is known; after a few such directions the search
      // keeps to the superbasics inside R, unless that would leave nothing to move.
      if (++sb_.restrictedRun > 3 && kernels::maxNorm(maxR, pS) > 0.0) {
        std::fill(pS + maxR, pS + ns, 0.0);
        sb_.restricted = true;
      }
    } else {
      sb_.restrictedRun = 0;
    }
  } else {
    for (int32_t k = 0; k < ns; ++k) pS[k] = -rg[k];
  }

  // pB = -B^-1 (S pS), formed with pS scaled to unit size.
  const double scale = kernels::maxNorm(ns, pS);
  std::fill(work_.begin(), work_.begin() + m_, 0.0);
  if (scale > 0.0) {
    for (int32_t k = 0; k < ns; ++k) {
      const double v = pS[k] / scale;
      if (v == 0.0) continue;
      const int32_t j = basis_.at(m_ + k);
      if (j >= n_) {
        work_[static_cast<size_t>(j - n_)] += v;
        continue;
      }
      const size_t uj = static_cast<size_t>(j);
      for (int32_t e = prob_.a.colStart[uj]; e < prob_.a.colStart[uj + 1]; ++e)
        work_[static_cast<size_t>(prob_.a.row[static_cast<size_t>(e)])] += prob_.a.value[static_cast<size_t>(e)] * v;
    }
    basis_.lu().solveB(work_.data(), basicsMove_.data());
  } else {
    std::fill(basicsMove_.begin(), basicsMove_.end(), 0.0);
  }
  double* p = direction_.p();
  for (int32_t k = 0; k < m_; ++k) p[k] = -basicsMove_[static_cast<size_t>(k)] * scale;
  for (int32_t k = 0; k < ns; ++k) p[m_ + k] = pS[k];

  pNorm_ = kernels::maxNorm(m_, p) + kernels::maxNorm(ns, pS);
  double xB = 0.0, xS = 0.0;
  for (int32_t k = 0; k < m_ + ns; ++k) {
    const double v = std::fabs(x_[static_cast<size_t>(basis_.at(k))]);
    (k < m_ ? xB : xS) = std::max(k < m_ ? xB : xS, v);
  }
  xNorm_ = xB + xS;
}

RgStatus MainLoop::reducedGradientStep(const PricingResult& pr) {
  if (hessianInUse() && (sb_.hessianResetPending || hess_.needsReset())) resetHessian();
  if (ph_ == Phase::kSubspace) {
    if (sb_.rgNorm <= 0.1 * p_.optimalityTolerance * prices_.norm()) {
      ph_ = Phase::kNewSuperbasics;
      return RgStatus::kPriceAgain;
    }
  } else {
    admitCandidates(pr);
  }
  const double fBefore = phaseObjective();
  for (;;) {
    computeDirection();
    const int32_t ns = in_.state.ns;
    for (int32_t k = m_; k < m_ + ns; ++k) feasibility_.marks()[k] = 0;
    const BlockingResult r = direction_.ratioTest(stepFrame(), m_ + ns, 1.0 / (p_.machine.eps0 * std::max(pNorm_, 1e-300)),
                                                  p_.pivotTolerance * pNorm_);
    const bool blocked = !r.unbounded && r.blockPos >= 0;
    if (blocked && r.degenerate) ++nDegenerate_;

    // A bound that blocks at once: no function is evaluated, the blocking variable changes set.
    if (blocked && ns != 1 && r.exactStep <= p_.machine.eps1 / pNorm_) return afterAcceptedStep(0.0, r, true, fBefore);
    if (!hessianInUse()) return takeLinearStep(r, fBefore);
    const RgStatus status = nonlinearStep(r, fBefore);
    if (status != RgStatus::kRepeat) return status;
  }
}

// Infeasible, or a linear objective: the objective is linear along the direction, so the step
// goes to the first bound.
RgStatus MainLoop::takeLinearStep(const BlockingResult& r, double fBefore) {
  if (r.unbounded || r.blockPos < 0) return unboundedStep();
  moveValuesAlong(r.step);
  return afterAcceptedStep(r.step, r, true, fBefore);
}

void MainLoop::moveValuesAlong(double alpha) {
  if (alpha == 0.0) return;
  direction_.moveAlong(alpha, m_ + in_.state.ns, basis_.list(), x_.data());
  objective_.markStale();
}

RgStatus MainLoop::afterAcceptedStep(double alpha, const BlockingResult& r, bool hitBound, double fBefore) {
  logStep_ = alpha;
  logPivot_ = 0.0;
  logLeft_ = 0;
  logLeftSuperbasic_ = 0;
  stepPosition_ = -1;
  if (hitBound) {
    const RgStatus status =
        r.blockPos >= m_ ? superbasicHitsBound(r.blockPos - m_, r) : basicHitsBound(r.blockPos, r);
    if (status != RgStatus::kDone) return status;
    const int32_t ns = in_.state.ns;
    if (ns > 0 && feasibility_.ninf() > 0 && hess_.estimateCondition(ns).condR >= 1.0 / p_.machine.eps2)
      sb_.hessianResetPending = true;
  }
  sb_.searchFailures = 0;
  return subspaceConvergence(alpha, fBefore);
}

RgStatus MainLoop::superbasicHitsBound(int32_t k, const BlockingResult& r) {
  const int32_t j = basis_.at(m_ + k);
  landOnBound(j, r, x_.data(), hs_.data(), prob_.lower.data(), prob_.upper.data());
  removeSuperbasic(k);
  logLeftSuperbasic_ = j + 1;
  return RgStatus::kDone;
}

// A basic variable reached a bound: the superbasic with a large enough pivot in its row of
// B^-1 that is farthest from its own bounds takes its place in the basis.
RgStatus MainLoop::basicHitsBound(int32_t position, const BlockingResult& r) {
  const int32_t ns = in_.state.ns;
  const int32_t jr = basis_.at(position);
  std::fill(work_.begin(), work_.begin() + m_, 0.0);
  work_[static_cast<size_t>(position)] = 1.0;
  basis_.lu().solveBt(work_.data(), work2_.data());  // w: row r of B^-1
  double* y = sb_.y.data();
  double yMax = 0.0;
  for (int32_t k = 0; k < ns; ++k) {
    const int32_t j = basis_.at(m_ + k);
    double v = 0.0;
    if (j >= n_) {
      v = work2_[static_cast<size_t>(j - n_)];
    } else {
      const size_t uj = static_cast<size_t>(j);
      for (int32_t e = prob_.a.colStart[uj]; e < prob_.a.colStart[uj + 1]; ++e)
        v += prob_.a.value[static_cast<size_t>(e)] * work2_[static_cast<size_t>(prob_.a.row[static_cast<size_t>(e)])];
    }
    y[k] = v;
    yMax = std::max(yMax, std::fabs(v));
  }
  if (yMax < p_.pivotTolerance) {
    in_.out.print(" XXX  m7chzq.  Max pivot is too small: %11.1e", yMax);
    logLeft_ = -(jr + 1);
    if (++sb_.replaceFailures >= 5) {
      in_.out.both("%s", " EXIT -- cannot find a superbasic to replace basic variable");
      outcome_.exitCode = kNoSuperbasicToReplace;
      return RgStatus::kStop;
    }
    return RgStatus::kConverged;
  }
  int32_t best = -1;
  double farthest = -1.0;
  for (int32_t k = 0; k < ns; ++k) {
    if (std::fabs(y[k]) < 0.1 * yMax) continue;
    const double d = variableDistance(basis_.at(m_ + k));
    if (d >= farthest) {
      farthest = d;
      best = k;
    }
  }
  sb_.replaceFailures = 0;
  const int32_t jq = basis_.at(m_ + best);
  landOnBound(jr, r, x_.data(), hs_.data(), prob_.lower.data(), prob_.upper.data());
  hs_[static_cast<size_t>(jq)] = kBasic;
  basis_.at(position) = jq;
  basis_.at(m_ + best) = jr;
  logPivot_ = -y[best];
  logLeft_ = jr + 1;
  if (ns > 1 && best < hess_.maxR()) hess_.exchangeUpdate(best, ns, y);

  // The prices change by theta w so that the new basic variable has a zero reduced gradient;
  // the other superbasics' reduced gradients follow, and the leaving variable's becomes -theta.
  const double theta = sb_.rg[static_cast<size_t>(best)] / y[best];
  for (int32_t k = 0; k < ns; ++k) sb_.rg[static_cast<size_t>(k)] -= theta * y[k];
  sb_.rg[static_cast<size_t>(best)] = -theta;
  removeSuperbasic(best);
  prices_.markStale();

  // The L-part of the new basic column is kept for the factor update that follows.
  std::fill(work_.begin(), work_.begin() + m_, 0.0);
  if (jq >= n_) {
    work_[static_cast<size_t>(jq - n_)] = 1.0;
  } else {
    const size_t uq = static_cast<size_t>(jq);
    for (int32_t e = prob_.a.colStart[uq]; e < prob_.a.colStart[uq + 1]; ++e)
      work_[static_cast<size_t>(prob_.a.row[static_cast<size_t>(e)])] = prob_.a.value[static_cast<size_t>(e)];
  }
  basis_.lu().solveL(work_.data());
  stepPosition_ = position;
  return RgStatus::kDone;
}

RgStatus MainLoop::subspaceConvergence(double alpha, double fBefore) {
  const int32_t ns = in_.state.ns;
  const bool useR = hessianInUse();
  const int32_t inR = useR ? hess_.order(ns) : ns;
  sb_.rgNorm = kernels::maxNorm(ns, sb_.rg.data());
  sb_.rgNormR = kernels::maxNorm(inR, sb_.rg.data());
  const double tolx2 = std::max(p_.machine.eps2, 1.0e-6);
  const double tolX = sb_.lvltol == 1 ? 0.1 : tolx2;
  const double tolF = sb_.lvltol == 1 ? 0.01 : tolx2 * tolx2;
  const double f = phaseObjective();
  SubspaceConvergence& c = sb_.conv;
  c.stepSmall = !((xNorm_ + 1.0) * tolX < alpha * pNorm_);
  c.objectiveSettled = !((std::fabs(f) + 1.0) * tolF < std::fabs(f - fBefore));
  c.gradientSmall = sb_.rgNormR <= sb_.tolrg;
  c.gradientTiny = sb_.rgNormR <= 0.1 * sb_.tolrg || sb_.rgNormR <= p_.machine.eps2 * prices_.norm();
  const bool converged = (c.stepSmall && c.objectiveSettled && c.gradientSmall) || c.gradientTiny;
  if (!converged) return RgStatus::kDone;
  // A variable that moved into R is optimized with the others before pricing again.
  if (useR && ns > hess_.maxR() && exchangeAcrossHessianBoundary()) return RgStatus::kDone;
  return RgStatus::kConverged;
}

RgStatus MainLoop::unboundedStep() {
  const int32_t ns = in_.state.ns;
  if (ns > 0)
    in_.out.print(" XXX  Unbounded in Phase %2d   Last SB = %7d   rg = %11.3e", static_cast<int32_t>(ph_),
                   basis_.at(m_ + ns - 1) + 1, sb_.rg[static_cast<size_t>(ns - 1)]);
  return unboundedRay() ? RgStatus::kStop : RgStatus::kRestart;
}

}  // namespace kavro
