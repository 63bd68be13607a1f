// The simplex step: the entering variable moves along its column of B^-1 until a basic
// variable (or itself) reaches a bound.

#include <algorithm>
#include <cmath>

#include "optimizer/main_loop.hpp"

namespace kavro {

// The ratio test over the first count positions of the basis list and p_dir_.
RatioTestInput MainLoop::ratioTestInput(int32_t count, double stepMax, double pivotTol) {
  RatioTestInput in;
  in.count = count;
  in.stepMax = stepMax;
  in.infiniteBound = p_.machine.infBound;
  in.pivotTol = pivotTol;
  in.expandTol = tolerance_.value();
  in.expandStep = tolerance_.step();
  in.infMark = feasibility_.marks();
  in.lower = prob_.lower.data();
  in.upper = prob_.upper.data();
  in.x = x_.data();
  in.p = p_dir_.data();
  in.var = basis_.list();
  in.candidates = candidates_.data();
  in.rooms = rooms_.data();
  return in;
}

MainLoop::StepOutcome MainLoop::simplexStep(int32_t q, bool increase) {
  const size_t uq = static_cast<size_t>(q);
  // y = B^-1 a_q from the nonzeros of a_q; the L-part of a_q is kept for the column replacement.
  column_.clear();
  if (q < n_) {
    for (int32_t k = prob_.a.colStart[uq]; k < prob_.a.colStart[uq + 1]; ++k)
      column_.add(prob_.a.row[static_cast<size_t>(k)], prob_.a.value[static_cast<size_t>(k)]);
  } else {
    column_.add(q - n_, 1.0);
  }
  basis_.lu().solveBSparse(column_, y_);

  // The direction, and the positions where it is nonzero (listed without a branch).
  const double sign = increase ? 1.0 : -1.0;
  int32_t* moved = movedPositions_.data();
  int32_t nMoved = 0;
  for (int32_t k = 0; k < m_; ++k) {
    const double yk = y_.value[static_cast<size_t>(k)];
    p_dir_[static_cast<size_t>(k)] = -sign * yk;
    moved[nMoved] = k;
    nMoved += yk != 0.0 ? 1 : 0;
  }
  const size_t e = static_cast<size_t>(m_);
  p_dir_[e] = sign;
  feasibility_.marks()[m_] = 0;

  RatioTestInput in = ratioTestInput(m_ + 1, 1.0 / p_.machine.eps0, p_.pivotTolerance);
  in.lastVar = q;
  const BlockingResult r = chooseBlockingVar(in);
  if (r.unbounded) {
    in_.out.print(" Variable %7d can %s indefinitely", q + 1, increase ? "increase" : "decrease");
    return StepOutcome::kUnbounded;
  }
  if (r.degenerate) ++nDegenerate_;
  if (r.blockPos != m_) {
    // In phase 1 the leaving variable cost its infeasibility as a basic, nothing as a nonbasic.
    const double leavingCost = feasibility_.ninf() > 0 ? feasibility_.marks()[r.blockPos] / 2 : 0.0;
    pricer_.simplexStep(q, r.blockPos, y_, movedPositions_.data(), nMoved, leavingCost, hs_.data(), basis_.list(),
                        basis_.lu());
  }
  const double step = r.step;
  logStep_ = step;

  // Every basic value where the direction is nonzero, and the entering variable, move.
  const int32_t* basic = basis_.list();
  const double* direction = p_dir_.data();
  double* x = x_.data();
  for (int32_t t = 0; t < nMoved; ++t) {
    const int32_t k = moved[t];
    x[basic[k]] += step * direction[k];
  }
  x_[uq] += step * p_dir_[e];
  objective_.markStale();

  // The blocking variable lands on its bound exactly, or stays just beyond it when the step
  // was raised to the anti-degeneracy minimum.
  const size_t blocker = r.blockPos == m_ ? uq : static_cast<size_t>(basis_.at(r.blockPos));
  if (r.notForced) x_[blocker] = r.blockBound;
  else if (r.hitLower) x_[blocker] = std::min(x_[blocker], r.blockBound);
  else x_[blocker] = std::max(x_[blocker], r.blockBound);

  if (r.blockPos == m_) {
    hs_[uq] = increase ? kAtUpper : kAtLower;
    pricer_.boundFlipped(q);
    logPivot_ = 0.0;
    logLeft_ = 0;
    stepPosition_ = -1;
    return StepOutcome::kBoundFlip;
  }
  const int32_t jr = static_cast<int32_t>(blocker);
  hs_[uq] = kBasic;
  if (prob_.lower[blocker] == prob_.upper[blocker]) hs_[blocker] = kFixedNonbasic;
  else hs_[blocker] = r.hitLower ? kAtLower : kAtUpper;
  basis_.at(r.blockPos) = q;
  logPivot_ = -p_dir_[static_cast<size_t>(r.blockPos)];
  logLeft_ = jr + 1;
  stepPosition_ = r.blockPos;
  prices_.markStale();
  return StepOutcome::kBasisChange;
}

}  // namespace kavro
