#include "optimizer/subspace.hpp"

#include <algorithm>
#include <cmath>

#include "kernels/column_view.hpp"
#include "kernels/vector_ops.hpp"

namespace kavro {

Subspace::Subspace(const Problem& prob, ProblemState& state, BasisFactors& basis, const Parameters& params,
                   const ReportChannels& out)
    : prob_(prob), state_(state), basis_(basis), p_(params), out_(out), m_(prob.m), n_(prob.n) {
  const int32_t maxS = std::max(1, params.superbasicsLimit);
  for (auto* v : {&rg_, &previousRg_, &pS_, &z_, &y_, &exactPS_, &g1Model_, &g2Model_})
    v->assign(static_cast<size_t>(maxS) + 1, 0.0);
  model_.resize(std::max(1, params.hessianDimension), maxS, params.hessianMemory, params.machine);
}

void Subspace::load(const std::vector<int32_t>& superbasics) {
  const int32_t limit = std::max(1, p_.superbasicsLimit);
  const int32_t* hs = state_.hs.data();
  int32_t ns = 0;
  for (int32_t j : superbasics) {
    if (ns >= limit || hs[j] != kSuperbasic) continue;
    basis_.at(m_ + ns) = j;
    rg_[ns] = 0.0;
    ++ns;
    model_.addColumn(ns);
  }
  state_.ns = ns;
}

void Subspace::add(int32_t j, double rg) {
  int32_t& ns = state_.ns;
  basis_.at(m_ + ns) = j;
  rg_[ns] = rg;
  state_.hs[j] = kSuperbasic;
  ++ns;
  model_.addColumn(ns);
}

// Superbasic k leaves the set; the ones behind it move up one place.
void Subspace::remove(int32_t k) {
  int32_t& ns = state_.ns;
  model_.deleteColumn(k, ns);
  int32_t* list = basis_.list() + m_;
  double* rg = rg_.data();
  for (int32_t t = k; t + 1 < ns; ++t) {
    list[t] = list[t + 1];
    rg[t] = rg[t + 1];
  }
  --ns;
  list[ns] = -1;
}

void Subspace::makeNonbasic() {
  for (int32_t k = state_.ns - 1; k >= 0; --k) {
    state_.hs[variable(k)] = kBetweenBounds;
    remove(k);
  }
  control_.modelResetPending = true;
}

bool Subspace::admit(const PricingResult& pr, bool withModel, double piNorm) {
  const double absDj = std::fabs(pr.dj);
  if (withModel && state_.ns > 0 && control_.searchFailures < 1 && rgNorm_ > 0.9 * absDj &&
      rgNorm_ > p_.machine.eps2 * piNorm) {
    control_.tolrg = 0.9 * rgNorm_;
    return false;
  }
  double dj = pr.dj;
  if (!withModel && dj == 0.0) dj = pr.increase ? -1.0 : 1.0;
  rgNorm_ = std::max(rgNorm_, std::fabs(dj));
  control_.tolrg = p_.subspaceTolerance * std::fabs(dj);
  add(pr.enteringVar, dj);
  if (std::fabs(dj) > rgNormR_ && state_.ns <= model_.maxR()) rgNormR_ = std::fabs(dj);
  const int32_t* hs = state_.hs.data();
  for (int32_t c = 1; c < pr.nCandidates && c < static_cast<int32_t>(pr.candidates.size()); ++c) {
    if (state_.ns >= p_.superbasicsLimit) break;
    const PriceCandidate& candidate = pr.candidates[c];
    if (candidate.j == pr.enteringVar || hs[candidate.j] == kSuperbasic) continue;
    add(candidate.j, candidate.dj);
  }
  return true;
}

void Subspace::computeReducedGradient(const double* pi, const SubproblemObjective& objective, bool infeasible,
                                      double weightOnObjective) {
  const kernels::ColumnView a(prob_.a);
  const int32_t ns = state_.ns;
  const int32_t inR = model_.order(ns);
  rgNorm_ = rgNormR_ = 0.0;
  for (int32_t k = 0; k < ns; ++k) {
    const int32_t j = variable(k);
    const double aPi = j < n_ ? a.dot(j, pi) : pi[j - n_];
    const double rg = objective.phaseGradient(j, infeasible, weightOnObjective) - aPi;
    rg_[k] = rg;
    rgNorm_ = std::max(rgNorm_, std::fabs(rg));
    if (k < inR) rgNormR_ = std::max(rgNormR_, std::fabs(rg));
  }
}

void Subspace::updateNorms(bool withModel) {
  const int32_t ns = state_.ns;
  const int32_t inR = withModel ? model_.order(ns) : ns;
  rgNorm_ = kernels::maxNorm(ns, rg_.data());
  rgNormR_ = kernels::maxNorm(inR, rg_.data());
}

void Subspace::resetModel() {
  if (control_.modelResetPending) model_.markForReset();
  const SubspaceHessian::ResetResult r = model_.reset(state_.ns);
  if (r.rescaled) out_.print(" Hessian modified.  CondR = %10.2e", r.condR);
  control_.modelResetPending = false;
}

const double* Subspace::searchDirection(bool withModel) {
  const int32_t ns = state_.ns;
  double* pS = pS_.data();
  const double* rg = rg_.data();
  control_.restricted = false;
  control_.exact = false;
  if (!withModel) {
    for (int32_t k = 0; k < ns; ++k) pS[k] = -rg[k];
    return pS;
  }
  model_.direction(ns, rg, z_.data(), pS);
  // While steps end at bounds the active set is still changing: a Newton direction of the
  // subspace, which costs many products, would mostly be cut short (aug2dcqp, 20,200
  // variables: 7,547 quasi-Newton iterations in 8 s; with exact directions after every
  // step it ran out of its 10 s). Exact directions wait for a step that a bound did not end.
  if (newton_ && !control_.lastStepBlocked && newton_->wanted(ns) &&
      newton_->direction(ns, rg, pS, model_, exactPS_.data())) {
    std::copy(exactPS_.begin(), exactPS_.begin() + ns, pS);
    control_.exact = true;
    return pS;
  }
  const int32_t maxR = model_.maxR();
  if (ns <= maxR) {
    control_.restrictedRun = 0;
    return pS;
  }
  // Beyond the factor only a diagonal is known; after a few such directions the search keeps to
  // the superbasics inside R, unless that would leave nothing to move.
  if (++control_.restrictedRun > 3 && kernels::maxNorm(maxR, pS) > 0.0) {
    std::fill(pS + maxR, pS + ns, 0.0);
    control_.restricted = true;
  }
  return pS;
}

void Subspace::keepReducedGradient() { std::copy(rg_.begin(), rg_.begin() + state_.ns, previousRg_.begin()); }

// A step along which the objective changes by less than its precision carries no usable
// curvature when the gradients are differenced, or for the diagonal kept beyond "Hessian
// dimension": the update would divide roundoff by roundoff. A full factor from exact gradients
// keeps learning from tiny steps, and skipping them would stall it near a solution.
int Subspace::learn(double alpha, double fBefore, bool gradientsDifferenced) {
  const int32_t ns = state_.ns;
  double slope = 0.0;
  for (int32_t k = 0; k < ns; ++k) slope += previousRg_[k] * pS_[k];
  const double precision = p_.functionPrecision * (1.0 + std::fabs(fBefore));
  const bool roundoffOnly = gradientsDifferenced || ns > model_.maxR();
  if (roundoffOnly && !(alpha * std::fabs(slope) > precision)) return 0;
  if (control_.exact)
    return model_.bfgsUpdateAlong(ns, previousRg_.data(), rg_.data(), pS_.data(), alpha, g1Model_.data(),
                                  g2Model_.data(), z_.data());
  return model_.bfgsUpdate(ns, previousRg_.data(), rg_.data(), pS_.data(), alpha, z_.data());
}

double Subspace::pivotsInRow(const double* w) {
  const kernels::ColumnView a(prob_.a);
  double* y = y_.data();
  double yMax = 0.0;
  for (int32_t k = 0; k < state_.ns; ++k) {
    const int32_t j = variable(k);
    const double v = j >= n_ ? w[j - n_] : a.dot(j, w);
    y[k] = v;
    yMax = std::max(yMax, std::fabs(v));
  }
  return yMax;
}

int32_t Subspace::farthestWithPivot(double yMax) const {
  const double* x = state_.x.data();
  const double* lower = prob_.lower.data();
  const double* upper = prob_.upper.data();
  int32_t best = -1;
  double farthest = -1.0;
  for (int32_t k = 0; k < state_.ns; ++k) {
    if (std::fabs(y_[k]) < 0.1 * yMax) continue;
    const int32_t j = variable(k);
    const double d = std::min(std::fabs(x[j] - lower[j]), std::fabs(upper[j] - x[j]));
    if (d >= farthest) {
      farthest = d;
      best = k;
    }
  }
  return best;
}

double Subspace::exchangeWithBasic(int32_t k, int32_t leaving) {
  const int32_t ns = state_.ns;
  const double* y = y_.data();
  basis_.at(m_ + k) = leaving;
  lastExchange_ = ns > 1 && k < model_.maxR() ? model_.exchangeUpdate(k, ns, y) : 0;
  // The prices change by theta w so that the new basic variable has a zero reduced gradient; the
  // other superbasics' reduced gradients follow, and the leaving variable's becomes -theta.
  double* rg = rg_.data();
  const double theta = rg[k] / y[k];
  for (int32_t t = 0; t < ns; ++t) rg[t] -= theta * y[t];
  rg[k] = -theta;
  const double pivot = y[k];
  remove(k);
  return pivot;
}

bool Subspace::exchangeAcrossModelBoundary(IterationRecord& record) {
  const int32_t ns = state_.ns;
  const int32_t maxR = model_.maxR();
  if (ns <= maxR) return false;
  int32_t* list = basis_.list() + m_;
  double* rg = rg_.data();
  auto rgAt = [&](int32_t k) { return std::fabs(rg[k]); };
  int32_t largest = maxR;
  for (int32_t k = maxR + 1; k < ns; ++k)
    if (rgAt(k) > rgAt(largest)) largest = k;
  if (largest != maxR) {
    model_.swapDiagonal(largest, maxR);
    std::swap(list[largest], list[maxR]);
    std::swap(rg[largest], rg[maxR]);
  }
  int32_t smallest = 0;
  for (int32_t k = 1; k < maxR; ++k)
    if (rgAt(k) < rgAt(smallest)) smallest = k;
  const double rgIn = rgAt(maxR), rgInsideMin = rgAt(smallest);
  if (!(rgIn > rgInsideMin || ns >= p_.superbasicsLimit)) return false;
  const int32_t leaving = list[smallest];
  model_.moveOutOfTriangle(smallest, ns);
  // The list follows the factor: the leaving one goes to the end, the others close up.
  const double rgLeaving = rg[smallest];
  for (int32_t k = smallest; k + 1 < ns; ++k) {
    list[k] = list[k + 1];
    rg[k] = rg[k + 1];
  }
  list[ns - 1] = leaving;
  rg[ns - 1] = rgLeaving;
  record.exchangeRgIn = rgIn;
  record.exchangeOut = leaving + 1;
  record.exchangeRgMin = rgInsideMin;
  return true;
}

}  // namespace kavro
