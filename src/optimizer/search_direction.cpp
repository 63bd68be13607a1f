#include "optimizer/search_direction.hpp"

#include <algorithm>

namespace kavro {

SearchDirection::SearchDirection(const Problem& prob, const ProblemState& state, const BasisFactors& basis,
                                 const Feasibility& feasibility, const WorkingTolerance& tolerance,
                                 const Parameters& params)
    : prob_(prob),
      state_(state),
      basis_(basis),
      feasibility_(feasibility),
      tolerance_(tolerance),
      infBound_(params.machine.infBound) {
  const size_t n = static_cast<size_t>(prob.m + std::max(1, params.superbasicsLimit) + 1);
  p_.assign(n, 0.0);
  rooms_.assign(n, 0.0);
  before_.assign(n, 0.0);
  candidates_.assign(n, 0);
}

BlockingResult SearchDirection::ratioTest(int32_t count, double stepMax, double pivotTol, int32_t lastVar) {
  RatioTestInput in;
  in.count = count;
  in.stepMax = stepMax;
  in.infiniteBound = infBound_;
  in.pivotTol = pivotTol;
  in.expandTol = tolerance_.value();
  in.expandStep = tolerance_.step();
  in.infMark = feasibility_.marks();
  in.lower = prob_.lower.data();
  in.upper = prob_.upper.data();
  in.x = state_.x.data();
  in.p = p_.data();
  in.var = basis_.list();
  in.lastVar = lastVar;
  in.candidates = candidates_.data();
  in.rooms = rooms_.data();
  return chooseBlockingVar(in);
}

void SearchDirection::moveAlong(double alpha, int32_t count, const int32_t* list, double* x) const {
  const double* p = p_.data();
  for (int32_t k = 0; k < count; ++k) {
    const double pk = p[k];
    if (pk != 0.0) x[list[k]] += alpha * pk;
  }
}

void SearchDirection::keepValues(int32_t count, const int32_t* list, const double* x) {
  for (int32_t k = 0; k < count; ++k) before_[k] = x[list[k]];
}

void SearchDirection::restoreValues(int32_t count, const int32_t* list, double* x) const {
  for (int32_t k = 0; k < count; ++k) x[list[k]] = before_[k];
}

void landOnBound(int32_t j, const BlockingResult& r, double* x, int32_t* hs, const double* lower, const double* upper) {
  if (r.notForced) x[j] = r.blockBound;
  else if (r.hitLower) x[j] = std::min(x[j], r.blockBound);
  else x[j] = std::max(x[j], r.blockBound);
  if (lower[j] == upper[j]) hs[j] = kFixedNonbasic;
  else hs[j] = r.hitLower ? kAtLower : kAtUpper;
}

}  // namespace kavro
