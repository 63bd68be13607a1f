#include "optimizer/reduced_gradient_step.hpp"

#include <algorithm>
#include <cmath>

#include "kernels/column_view.hpp"
#include "kernels/vector_ops.hpp"
#include "optimizer/along_line.hpp"
#include "optimizer/loop_exit.hpp"

namespace kavro {

ReducedGradientStep::ReducedGradientStep(const RgStepParts& parts)
    : prob_(parts.prob),
      state_(parts.state),
      p_(parts.params),
      out_(parts.out),
      basis_(parts.basis),
      direction_(parts.direction),
      subspace_(parts.subspace),
      objective_(parts.objective),
      prices_(parts.prices),
      feasibility_(parts.feasibility),
      pricer_(parts.pricer),
      evaluator_(parts.evaluator),
      majors_(parts.majors),
      exit_(parts.exit),
      position_(parts.changedPosition),
      m_(parts.prob.m),
      n_(parts.prob.n) {
  work_.assign(m_, 0.0);
  solution_.assign(m_, 0.0);
}

double ReducedGradientStep::phaseObjective() const {
  return feasibility_.ninf() > 0 ? feasibility_.sinf() : objective_.minimized(state_.x.data());
}

RgStatus ReducedGradientStep::take(const PricingResult& pr, Phase& phase, int32_t itn, int32_t majorItn,
                                   IterationRecord& record) {
  phase_ = &phase;
  record_ = &record;
  itn_ = itn;
  majorItn_ = majorItn;
  degenerateSteps_ = 0;
  if (modelInUse() && subspace_.modelResetDue()) subspace_.resetModel();
  if (phase == Phase::kSubspace) {
    if (subspace_.rgNorm() <= 0.1 * p_.optimalityTolerance * prices_.norm()) {
      phase = Phase::kNewSuperbasics;
      return RgStatus::kPriceAgain;
    }
  } else if (subspace_.admit(pr, modelInUse(), prices_.norm())) {
    record.entered = pr.enteringVar + 1;
  } else {
    // The current subspace is optimized further first.
    phase = Phase::kSubspace;
    record.entered = -(pr.enteringVar + 1);
  }
  const double fBefore = phaseObjective();
  for (;;) {
    computeDirection();
    const int32_t ns = state_.ns;
    int32_t* marks = feasibility_.marks();
    for (int32_t k = m_; k < m_ + ns; ++k) marks[k] = 0;
    const BlockingResult r = direction_.ratioTest(m_ + ns, 1.0 / (p_.machine.eps0 * std::max(pNorm_, 1e-300)),
                                                  p_.pivotTolerance * pNorm_);
    const bool blocked = !r.unbounded && r.blockPos >= 0;
    if (blocked && r.degenerate) ++degenerateSteps_;

    // A bound that blocks at once: no function is evaluated, the blocking variable changes set.
    if (blocked && ns != 1 && r.exactStep <= p_.machine.eps1 / pNorm_) return afterAcceptedStep(0.0, r, true, fBefore);
    if (!modelInUse()) return takeLinearStep(r, fBefore);
    const RgStatus status = nonlinearStep(r, fBefore);
    if (status != RgStatus::kRepeat) return status;
  }
}

// pS from the subspace, pB = -B^-1 S pS (formed with pS scaled to unit size), and their norms.
void ReducedGradientStep::computeDirection() {
  const int32_t ns = state_.ns;
  const double* pS = subspace_.searchDirection(modelInUse());
  const double scale = kernels::maxNorm(ns, pS);
  double* w = work_.data();
  double* pB = solution_.data();
  std::fill(w, w + m_, 0.0);
  if (scale > 0.0) {
    const kernels::ColumnView a(prob_.a);
    for (int32_t k = 0; k < ns; ++k) {
      const double v = pS[k] / scale;
      if (v == 0.0) continue;
      const int32_t j = subspace_.variable(k);
      if (j >= n_) w[j - n_] += v;
      else a.add(j, v, w);
    }
    basis_.lu().solveB(w, pB);
  } else {
    std::fill(pB, pB + m_, 0.0);
  }
  double* p = direction_.p();
  for (int32_t k = 0; k < m_; ++k) p[k] = -pB[k] * scale;
  for (int32_t k = 0; k < ns; ++k) p[m_ + k] = pS[k];

  pNorm_ = kernels::maxNorm(m_, p) + kernels::maxNorm(ns, pS);
  const double* x = state_.x.data();
  const int32_t* list = basis_.list();
  double xB = 0.0, xS = 0.0;
  for (int32_t k = 0; k < m_ + ns; ++k) {
    const double v = std::fabs(x[list[k]]);
    (k < m_ ? xB : xS) = std::max(k < m_ ? xB : xS, v);
  }
  xNorm_ = xB + xS;
}

void ReducedGradientStep::moveAlong(double alpha) {
  if (alpha == 0.0) return;
  direction_.moveAlong(alpha, m_ + state_.ns, basis_.list(), state_.x.data());
  objective_.markStale();
}

// Infeasible, or a linear objective: the objective is linear along the direction, so the step
// goes to the first bound.
RgStatus ReducedGradientStep::takeLinearStep(const BlockingResult& r, double fBefore) {
  if (r.unbounded || r.blockPos < 0) return unboundedStep();
  moveAlong(r.step);
  return afterAcceptedStep(r.step, r, true, fBefore);
}

RgStatus ReducedGradientStep::afterAcceptedStep(double alpha, const BlockingResult& r, bool hitBound, double fBefore) {
  IterationRecord& record = *record_;
  record.step = alpha;
  record.pivot = 0.0;
  record.leftBasis = 0;
  record.leftSuperbasic = 0;
  position_ = -1;
  subspace_.control().lastStepBlocked = hitBound;
  if (hitBound) {
    const RgStatus status = r.blockPos >= m_ ? superbasicHitsBound(r.blockPos - m_, r) : basicHitsBound(r.blockPos, r);
    if (status != RgStatus::kDone) return status;
    const int32_t ns = state_.ns;
    if (ns > 0 && feasibility_.ninf() > 0 && subspace_.model().estimateCondition(ns).condR >= 1.0 / p_.machine.eps2)
      subspace_.control().modelResetPending = true;
  }
  subspace_.control().searchFailures = 0;
  return convergence(alpha, fBefore);
}

RgStatus ReducedGradientStep::superbasicHitsBound(int32_t k, const BlockingResult& r) {
  const int32_t j = subspace_.variable(k);
  landOnBound(j, r, state_.x.data(), state_.hs.data(), prob_.lower.data(), prob_.upper.data());
  subspace_.remove(k);
  record_->leftSuperbasic = j + 1;
  return RgStatus::kDone;
}

// A basic variable reached a bound: the superbasic with a large enough pivot in its row of B^-1
// that is farthest from its own bounds takes its place in the basis.
RgStatus ReducedGradientStep::basicHitsBound(int32_t position, const BlockingResult& r) {
  const int32_t jr = basis_.at(position);
  std::fill(work_.begin(), work_.end(), 0.0);
  work_[position] = 1.0;
  basis_.lu().solveBt(work_.data(), solution_.data());  // w: row r of B^-1
  const double yMax = subspace_.pivotsInRow(solution_.data());
  Subspace::Control& c = subspace_.control();
  if (yMax < p_.pivotTolerance) {
    out_.print(" XXX  m7chzq.  Max pivot is too small: %11.1e", yMax);
    record_->leftBasis = -(jr + 1);
    if (++c.replaceFailures >= 5) {
      out_.both("%s", " EXIT -- cannot find a superbasic to replace basic variable");
      exit_ = kNoSuperbasicToReplace;
      return RgStatus::kStop;
    }
    return RgStatus::kConverged;
  }
  const int32_t best = subspace_.farthestWithPivot(yMax);
  c.replaceFailures = 0;
  const int32_t jq = subspace_.variable(best);
  landOnBound(jr, r, state_.x.data(), state_.hs.data(), prob_.lower.data(), prob_.upper.data());
  state_.hs[jq] = kBasic;
  basis_.at(position) = jq;
  const double pivot = subspace_.exchangeWithBasic(best, jr);
  record_->hmod2 = subspace_.lastExchangeResult();
  record_->pivot = -pivot;
  record_->leftBasis = jr + 1;
  prices_.markStale();
  keepEnteringColumn(jq);
  position_ = position;
  return RgStatus::kDone;
}

// The L-part of the new basic column is kept for the factor update that follows.
void ReducedGradientStep::keepEnteringColumn(int32_t j) {
  double* w = work_.data();
  std::fill(w, w + m_, 0.0);
  if (j >= n_) {
    w[j - n_] = 1.0;
  } else {
    const kernels::ColumnView a(prob_.a);
    for (int32_t e = a.start[j]; e < a.start[j + 1]; ++e) w[a.row[e]] = a.value[e];
  }
  basis_.lu().solveL(w);
}

RgStatus ReducedGradientStep::convergence(double alpha, double fBefore) {
  const int32_t ns = state_.ns;
  const bool useR = modelInUse();
  subspace_.updateNorms(useR);
  Subspace::Control& c = subspace_.control();
  const double tolx2 = std::max(p_.machine.eps2, 1.0e-6);
  const double tolX = c.lvltol == 1 ? 0.1 : tolx2;
  const double tolF = c.lvltol == 1 ? 0.01 : tolx2 * tolx2;
  const double f = phaseObjective();
  const double rgNormR = subspace_.rgNormR();
  SubspaceConvergence& conv = c.conv;
  conv.stepSmall = !((xNorm_ + 1.0) * tolX < alpha * pNorm_);
  conv.objectiveSettled = !((std::fabs(f) + 1.0) * tolF < std::fabs(f - fBefore));
  conv.gradientSmall = rgNormR <= c.tolrg;
  conv.gradientTiny = rgNormR <= 0.1 * c.tolrg || rgNormR <= p_.machine.eps2 * prices_.norm();
  const bool converged = (conv.stepSmall && conv.objectiveSettled && conv.gradientSmall) || conv.gradientTiny;
  if (!converged) return RgStatus::kDone;
  // A variable that moved into R is optimized with the others before pricing again.
  if (useR && ns > subspace_.model().maxR() && subspace_.exchangeAcrossModelBoundary(*record_)) return RgStatus::kDone;
  return RgStatus::kConverged;
}

RgStatus ReducedGradientStep::unboundedStep() {
  const int32_t ns = state_.ns;
  if (ns > 0)
    out_.print(" XXX  Unbounded in Phase %2d   Last SB = %7d   rg = %11.3e", static_cast<int32_t>(*phase_),
               subspace_.variable(ns - 1) + 1, subspace_.rg()[ns - 1]);
  return RgStatus::kUnbounded;
}

void printCannotImprove(const ReportChannels& out, int32_t derivativeLevel, double rgNorm, double piNorm) {
  out.both("%s", " XXX  The functions are non-smooth or very nonlinear");
  if (derivativeLevel >= 1) out.both("%s", " XXX  MAKE SURE THE GRADIENTS ARE CODED CORRECTLY");
  if (rgNorm / piNorm >= 0.1) out.both("%s", " XXX  The final point is NOT CLOSE TO AN OPTIMUM");
  else out.both("%s", " XXX  The final point is REASONABLY NEAR AN OPTIMUM");
  out.both("%s", " EXIT -- the current point cannot be improved upon");
}

}  // namespace kavro
