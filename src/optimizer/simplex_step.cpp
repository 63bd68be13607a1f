#include "optimizer/simplex_step.hpp"

#include <algorithm>

#include "kernels/column_view.hpp"

namespace kavro {

SimplexStep::SimplexStep(const Problem& prob, ProblemState& state, const Parameters& params, const ReportChannels& out,
                         BasisFactors& basis, SearchDirection& direction, Feasibility& feasibility, Pricer& pricer)
    : prob_(prob),
      state_(state),
      p_(params),
      out_(out),
      basis_(basis),
      direction_(direction),
      feasibility_(feasibility),
      pricer_(pricer),
      m_(prob.m),
      n_(prob.n) {
  column_.resize(m_);
  y_.resize(m_);
  moved_.assign(static_cast<size_t>(m_) + 1, 0);
}

// y = B^-1 a_q from the nonzeros of a_q (the L-part of a_q is kept for the column replacement),
// and p from y. Returns how many positions have y nonzero (listed without a branch).
int32_t SimplexStep::formDirection(int32_t q, bool increase) {
  column_.clear();
  if (q < n_) {
    const kernels::ColumnView a(prob_.a);
    for (int32_t k = a.start[q]; k < a.start[q + 1]; ++k) column_.add(a.row[k], a.value[k]);
  } else {
    column_.add(q - n_, 1.0);
  }
  basis_.lu().solveBSparse(column_, y_);
  const double sign = increase ? 1.0 : -1.0;
  const double* y = y_.value.data();
  double* p = direction_.p();
  int32_t* moved = moved_.data();
  int32_t nMoved = 0;
  for (int32_t k = 0; k < m_; ++k) {
    const double yk = y[k];
    p[k] = -sign * yk;
    moved[nMoved] = k;
    nMoved += yk != 0.0 ? 1 : 0;
  }
  p[m_] = sign;
  return nMoved;
}

SimplexMove SimplexStep::take(int32_t q, bool increase) {
  const int32_t nMoved = formDirection(q, increase);
  feasibility_.marks()[m_] = 0;
  SimplexMove move;
  const BlockingResult r = direction_.ratioTest(m_ + 1, 1.0 / p_.machine.eps0, p_.pivotTolerance, q);
  if (r.unbounded) {
    out_.print(" Variable %7d can %s indefinitely", q + 1, increase ? "increase" : "decrease");
    return move;
  }
  move.degenerate = r.degenerate;
  int32_t* hs = state_.hs.data();
  int32_t* basic = basis_.list();
  if (r.blockPos != m_) {
    // In phase 1 the leaving variable cost its infeasibility as a basic, nothing as a nonbasic.
    const double leavingCost = feasibility_.ninf() > 0 ? feasibility_.marks()[r.blockPos] / 2 : 0.0;
    pricer_.simplexStep(q, r.blockPos, y_, moved_.data(), nMoved, leavingCost, hs, basic, basis_.lu());
  }
  move.step = r.step;

  // Every basic value where the direction is nonzero, and the entering variable, move.
  const double* p = direction_.p();
  double* x = state_.x.data();
  for (int32_t t = 0; t < nMoved; ++t) {
    const int32_t k = moved_[t];
    x[basic[k]] += r.step * p[k];
  }
  x[q] += r.step * p[m_];

  // The blocking variable lands on its bound exactly, or stays just beyond it when the step
  // was raised to the anti-degeneracy minimum.
  const int32_t blocker = r.blockPos == m_ ? q : basic[r.blockPos];
  if (r.notForced) x[blocker] = r.blockBound;
  else if (r.hitLower) x[blocker] = std::min(x[blocker], r.blockBound);
  else x[blocker] = std::max(x[blocker], r.blockBound);

  if (r.blockPos == m_) {
    hs[q] = increase ? kAtUpper : kAtLower;
    pricer_.boundFlipped(q);
    move.outcome = SimplexMove::Outcome::kBoundFlip;
    return move;
  }
  hs[q] = kBasic;
  if (prob_.lower[blocker] == prob_.upper[blocker]) hs[blocker] = kFixedNonbasic;
  else hs[blocker] = r.hitLower ? kAtLower : kAtUpper;
  basic[r.blockPos] = q;
  move.outcome = SimplexMove::Outcome::kBasisChange;
  move.position = r.blockPos;
  move.left = blocker;
  move.pivot = -p[r.blockPos];
  return move;
}

}  // namespace kavro
