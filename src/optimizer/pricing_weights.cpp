#include "optimizer/pricing_weights.hpp"

#include <algorithm>
#include <cmath>

#include "kernels/branchless.hpp"
#include "lu/basis_lu.hpp"

namespace kavro {

void PricingWeights::size(const Problem& prob, PricingRule rule) {
  rule_ = rule;
  invalidate();
  prob_ = &prob;
  m_ = prob.m;
  n_ = prob.n;
  frameworks_ = listedPricings_ = blockPricings_ = rowwisePivotRows_ = 0;
  if (!active()) return;
  const size_t nb = static_cast<size_t>(prob.nb()), m = static_cast<size_t>(prob.m);
  rows_.build(prob.a, prob.m);
  averageColumnLength_ = static_cast<double>(prob.a.elements()) / std::max(prob.n, 1);
  weight_.assign(nb, 1.0);
  inFramework_.assign(nb, 0);
  pivotRow_.assign(nb, 0.0);
  tauDot_.assign(nb, 0.0);
  touchedMark_.assign(nb, 0);
  touched_.reserve(static_cast<int32_t>(nb));
  above_.assign(nb, 0);
  candidates_.size(prob.nb());
  blocks_.size(prob.nb());
  listLimit_ = static_cast<int32_t>(kListFraction * prob.nb());
  rhoDensity_ = tauDensity_ = columnsTouched_ = 0.0;
  for (auto* v : {&rhs_, &unitRhs_, &rho_, &tau_}) v->resize(static_cast<int32_t>(m));
}

void PricingWeights::solveUnitRow(int32_t r, BasisLU& lu) {
  rhs_.clear();
  rhs_.add(r, 1.0);
  solveTransposed(rho_, rhoDensity_, lu);
}

// The sparse solve follows the nonzeros it creates, which costs more than the plain loops once
// the solutions are dense; the running density of the recent solutions of the same kind decides.
void PricingWeights::solveTransposed(kernels::SparseVector& y, double& density, BasisLU& lu) {
  if (density > kDenseSolution) {
    y.clear();
    lu.solveBt(rhs_.value.data(), y.value.data());
    rhs_.markDense();
    rhs_.clear();
    recordDense(y, density);
  } else {
    lu.solveBtSparse(rhs_, y);
    recordDensity(density, y.listed() ? y.count : m_);
  }
}

// tau (from rhs_) and rho = B^-T e_r: in one pass over the factors when both are expected dense.
void PricingWeights::solveTauAndRho(int32_t r, BasisLU& lu) {
  if (tauDensity_ <= kDenseSolution || rhoDensity_ <= kDenseSolution) {
    solveTransposed(tau_, tauDensity_, lu);
    solveUnitRow(r, lu);
    return;
  }
  unitRhs_.clear();
  unitRhs_.add(r, 1.0);
  tau_.clear();
  rho_.clear();
  lu.solveBtPair(rhs_.value.data(), tau_.value.data(), unitRhs_.value.data(), rho_.value.data());
  rhs_.markDense();
  rhs_.clear();
  unitRhs_.clear();
  recordDense(tau_, tauDensity_);
  recordDense(rho_, rhoDensity_);
}

// The density only chooses between two ways to the same result, so every fourth entry of a
// dense solution is counted (all of a short one).
void PricingWeights::recordDense(kernels::SparseVector& y, double& density) const {
  y.markDense();
  constexpr int32_t kStride = 4;
  const int32_t stride = m_ >= 16 * kStride ? kStride : 1;
  int32_t nonzeros = 0;
  for (int32_t i = 0; i < m_; i += stride) nonzeros += y.value[i] != 0.0 ? 1 : 0;
  recordDensity(density, nonzeros * stride);
}

void PricingWeights::recordDensity(double& density, int32_t nonzeros) const {
  density = 0.9 * density + 0.1 * static_cast<double>(nonzeros) / std::max(m_, 1);
}

void PricingWeights::reset(const int32_t* hs, const int32_t* basisList) {
  reducedCostsKept_ = false;
  rows_.partition(hs);
  if (rule_ == PricingRule::kSteepestEdge && slackBasis(basisList)) fullNormsAtSlackBasis(hs);
  else newFramework(basisList);
  valid_ = active();
}

bool PricingWeights::slackBasis(const int32_t* basisList) const {
  for (int32_t k = 0; k < m_; ++k)
    if (basisList[k] < n_) return false;
  return true;
}

// Every weight 1, which is exact for a framework of the variables that are nonbasic now.
void PricingWeights::newFramework(const int32_t* basisList) {
  std::fill(weight_.begin(), weight_.end(), 1.0);
  std::fill(inFramework_.begin(), inFramework_.end(), 1);
  for (int32_t k = 0; k < m_; ++k) inFramework_[basisList[k]] = 0;
  ++frameworks_;
}

// The full norms 1 + ||B^-1 a_j||^2 for a framework of every variable, from a slack basis:
// B is then a permutation of I, so the norms are those of the columns themselves.
void PricingWeights::fullNormsAtSlackBasis(const int32_t* hs) {
  const SparseMatrix& a = prob_->a;
  for (int32_t j = 0; j < n_ + m_; ++j) {
    double w = 1.0;
    if (priceable(hs[j])) {
      if (j >= n_) {
        w = 2.0;
      } else {
        for (int32_t k = a.colStart[j]; k < a.colStart[j + 1]; ++k) w += a.value[k] * a.value[k];
      }
    }
    weight_[j] = w;
  }
  std::fill(inFramework_.begin(), inFramework_.end(), 1);
  ++frameworks_;
}

PricingResult PricingWeights::price(const PricingInput& in, double* reducedCost, bool reuse) {
  const Problem& prob = *in.prob;
  const int32_t n = prob.n, nb = prob.nb();
  const bool kept = reuse && reducedCostsKept_ && reducedCost == reducedCost_;
  if (!kept) {
    priceColumns(prob, in.pi, in.gradient, 0, n, reducedCost);
    for (int32_t j = n; j < nb; ++j) reducedCost[j] = -in.pi[j - n];
  }
  reducedCost_ = reducedCost;
  reducedCostsKept_ = true;
  const double toldj = (in.feasible ? in.optimalityTolerance : std::min(in.optimalityTolerance, in.rootEps)) *
                       in.piNorm;
  PricingResult r;
  if (kept && candidatesKept_ && toldj >= listTol_) r = chooseListed(in, toldj);
  else if (kept && blocks_.kept() && toldj == blocks_.tolerance()) r = chooseByBlocks(in, toldj);
  else r = chooseAll(in, toldj);
  if (r.enteringVar >= 0) r.increase = r.dj < 0.0;
  return r;
}

namespace {

// Nothing prices out: the variable with the largest positive measure (the lowest index among
// equals), for the report of the optimal point. One pass over the reduced costs, made only then.
void noteBiggest(const CandidateScores& s, int32_t nb, PricingResult& r) {
  double best = 0.0;
  for (int32_t j = 0; j < nb; ++j) {
    const double d = scoreMeasure(s, j);
    if (d <= best) continue;
    best = d;
    r.biggestVar = j;
    r.biggestDj = s.reducedCost[j];
  }
}

}  // namespace

// Two passes: the variables that price out are gathered, then compared.
PricingResult PricingWeights::chooseAll(const PricingInput& in, double toldj) {
  PricingResult r;
  r.toldj = toldj;
  const CandidateScores s = scores(in.hs);
  int32_t* above = above_.data();
  const int32_t count = gatherCandidates(s, 0, in.prob->nb(), toldj, above);
  r.nAbove = count;
  if (count == 0) noteBiggest(s, in.prob->nb(), r);
  candidates_.clear();
  listTol_ = toldj;
  candidatesKept_ = count < listLimit_;
  if (candidatesKept_)
    for (int32_t k = 0; k < count; ++k) candidates_.add(above[k]);
  if (!candidatesKept_ && blocks_.worthBuilding()) {
    r.enteringVar = blocks_.rebuild(s, toldj, above, count);
  } else {
    blocks_.forget();  // the steps will not keep them
    BestCandidate best;
    for (int32_t k = 0; k < count; ++k) {
      const int32_t j = above[k];
      best.offer(j, candidateMeasure(in.hs[j], reducedCost_[j]), weight_[j]);
    }
    r.enteringVar = best.j;
  }
  if (r.enteringVar >= 0) r.dj = reducedCost_[r.enteringVar];
  return r;
}

PricingResult PricingWeights::chooseByBlocks(const PricingInput& in, double toldj) {
  ++blockPricings_;
  int32_t count = 0;
  const int32_t j = blocks_.choose(scores(in.hs), count);
  return chosen(j, count, toldj);
}

PricingResult PricingWeights::chosen(int32_t j, int32_t nAbove, double toldj) const {
  PricingResult r;
  r.toldj = toldj;
  r.nAbove = nAbove;
  r.enteringVar = j;
  if (j >= 0) r.dj = reducedCost_[j];
  return r;
}

PricingResult PricingWeights::chooseListed(const PricingInput& in, double toldj) {
  ++listedPricings_;
  int32_t nAbove = 0;
  const double* w = weight_.data();
  const double* reducedCost = reducedCost_;
  BestCandidate best;
  for (int32_t k = 0; k < candidates_.count();) {
    const int32_t j = candidates_[k];
    const int32_t h = in.hs[j];
    const double d = h >= 2 ? 0.0 : candidateMeasure(h, reducedCost[j]);
    if (d <= toldj) {
      candidates_.removeAt(k);
      continue;
    }
    ++k;
    ++nAbove;
    best.offer(j, d, w[j]);
  }
  return chosen(best.j, nAbove, toldj);
}

void PricingWeights::update(const PivotColumn& pivot, const int32_t* hs, const int32_t* basisList, BasisLU& lu) {
  if (!valid_) return;
  const double alphaRq = pivot.alpha[pivot.position];
  if (alphaRq == 0.0) {
    invalidate();
    return;
  }
  const int32_t q = pivot.entering;
  const bool steepest = rule_ == PricingRule::kSteepestEdge;
  // The entering variable's weight recomputed in the framework: its own 1 when it belongs to
  // it, plus the squares of its column's entries in the basic positions that belong to it.
  // Those entries are also the right-hand side of tau (steepest edge).
  double exact = steepest ? frameworkNorm<true>(pivot, basisList) : frameworkNorm<false>(pivot, basisList);
  const double updated = std::max(weight_[q], 1.0);
  // Devex weights only grow, so an underestimate is expected and harmless; an overestimate
  // makes the variable look worse than it is. Steepest-edge weights drift either way.
  const bool drifted = updated > kResetRatio * std::max(exact, 1.0) || (steepest && exact > kResetRatio * updated);

  if (steepest) solveTauAndRho(pivot.position, lu);
  else solveUnitRow(pivot.position, lu);
  computePivotRow(rho_, steepest ? tau_.value.data() : nullptr, hs);
  const int32_t leaving = basisList[pivot.position];
  if (rule_ == PricingRule::kDevex) {
    if (reducedCostsKept_) updateReducedCosts(q, leaving, alphaRq, pivot.leavingCost);
    exact = std::max(exact, 1.0);
    updateDevex(q, alphaRq, exact);
    weight_[leaving] = std::max(exact / (alphaRq * alphaRq), 1.0);
    clearPivotRow();
  } else {
    updateSteepestEdgeAndCosts(q, leaving, alphaRq, exact, pivot.leavingCost);
    weight_[leaving] = exact / (alphaRq * alphaRq);
  }
  rows_.enter(q);
  rows_.leave(leaving);
  if (!drifted) return;
  blocks_.forget();
  // A new framework: the nonbasic variables after this change.
  std::fill(weight_.begin(), weight_.end(), 1.0);
  std::fill(inFramework_.begin(), inFramework_.end(), 1);
  for (int32_t k = 0; k < m_; ++k) inFramework_[basisList[k]] = 0;
  inFramework_[q] = 0;
  inFramework_[leaving] = 1;
  ++frameworks_;
}

// The entering variable's weight in the framework; with kTauRhs its entries in the framework's
// basic positions also go to rhs_. The zeros are passed over first: they are most of a column.
// Which entries count is irregular, so they are summed and listed without a branch (a zero adds
// nothing to the sum, which is never -0, and rhs_ is zero to begin with).
template <bool kTauRhs>
double PricingWeights::frameworkNorm(const PivotColumn& pivot, const int32_t* basisList) {
  const uint8_t* in = inFramework_.data();
  const double* alpha = pivot.alpha;
  double* rhs = rhs_.value.data();
  int32_t* listed = rhs_.index.data();
  int32_t count = rhs_.count;
  double sum = in[pivot.entering] ? 1.0 : 0.0;
  auto add = [&](int32_t k) {
    const double a = kernels::keepIf(in[basisList[k]] != 0, alpha[k]);
    sum += a * a;
    if constexpr (kTauRhs) {
      rhs[k] = a;
      listed[count] = k;
      count += a != 0.0 ? 1 : 0;
    }
  };
  if (pivot.count >= 0) {
    for (int32_t t = 0; t < pivot.count; ++t) add(pivot.index[t]);
  } else {
    for (int32_t k = 0; k < m_; ++k) add(k);
  }
  if constexpr (kTauRhs) rhs_.count = count;
  return sum;
}

// The variables whose updated reduced costs may now price out join the candidate list.
void PricingWeights::updateReducedCosts(int32_t q, int32_t leaving, double alphaRq, double leavingCost) {
  double* d = reducedCost_;
  const double theta = d[q] / alphaRq;
  const bool listed = candidatesKept_;
  if (listed) {
    for (int32_t j : touched_) {
      d[j] -= theta * pivotRow_[j];
      if (std::fabs(d[j]) > listTol_) keepCandidate(j);
    }
  } else {
    // The touched variables' weights change too, in the same blocks.
    for (int32_t j : touched_) {
      d[j] -= theta * pivotRow_[j];
      blocks_.markStale(j);
    }
  }
  finishReducedCosts(q, leaving, theta, leavingCost, listed);
}

// The two variables that change places, after the touched ones.
void PricingWeights::finishReducedCosts(int32_t q, int32_t leaving, double theta, double leavingCost, bool listed) {
  if (listed) {
    keepCandidate(leaving);
  } else {
    blocks_.markStale(q);
    blocks_.markStale(leaving);
  }
  reducedCost_[q] = 0.0;
  reducedCost_[leaving] = -theta - leavingCost;
}

// A list longer than a fraction of the variables is scanned no faster than all of them: it is
// given up until the next full pricing.
void PricingWeights::keepCandidate(int32_t j) {
  if (!candidatesKept_) return;
  if (candidates_.count() >= listLimit_) {
    candidatesKept_ = false;
    candidates_.clear();
    return;
  }
  candidates_.add(j);
}

void PricingWeights::updateDevex(int32_t q, double alphaRq, double wq) {
  for (int32_t j : touched_) {
    if (j == q) continue;
    const double ratio = pivotRow_[j] / alphaRq;
    double& w = weight_[j];
    w = std::max(w, ratio * ratio * wq);
  }
}

// Goldfarb and Reid, in the framework: with ratio = alpha_rj / alpha_rq and tau = B^-T times
//   alpha_q restricted to the basic positions in the framework,
//   w_j <- max(w_j - 2 ratio a_j' tau + ratio^2 w_q, [j in it] + [q in it] ratio^2).
// The touched variables' reduced costs (when kept, by the list or by the blocks) are updated in
// the same pass, which also clears the pivot row behind it: each variable's entries are read once.
template <PricingWeights::CostUpdate kCosts>
void PricingWeights::updateSteepestEdge(int32_t q, double theta, double alphaRq, double wq) {
  double* d = reducedCost_;
  double* row = pivotRow_.data();
  uint8_t* mark = touchedMark_.data();
  const double* tau = tau_.value.data();
  const double qIn = inFramework_[q] ? 1.0 : 0.0;
  for (int32_t j : touched_) {
    const double alpha = row[j];
    if constexpr (kCosts == CostUpdate::kListed) {
      d[j] -= theta * alpha;
      if (std::fabs(d[j]) > listTol_) keepCandidate(j);
    } else if constexpr (kCosts == CostUpdate::kBlocks) {
      d[j] -= theta * alpha;
      blocks_.markStale(j);
    }
    row[j] = 0.0;
    mark[j] = 0;
    if (j == q) continue;
    const double ratio = alpha / alphaRq;
    const double floor = (inFramework_[j] ? 1.0 : 0.0) + qIn * ratio * ratio;
    double& w = weight_[j];
    const double tauDot = tauDotsFormed_ ? tauDot_[j] : columnDot(j, tau);
    w = std::max(w - 2.0 * ratio * tauDot + ratio * ratio * wq, floor);
  }
  touched_.clear();
}

void PricingWeights::updateSteepestEdgeAndCosts(int32_t q, int32_t leaving, double alphaRq, double wq,
                                                double leavingCost) {
  if (!reducedCostsKept_) {
    updateSteepestEdge<CostUpdate::kNone>(q, 0.0, alphaRq, wq);
    return;
  }
  const double theta = reducedCost_[q] / alphaRq;
  const bool listed = candidatesKept_;
  if (listed) updateSteepestEdge<CostUpdate::kListed>(q, theta, alphaRq, wq);
  else updateSteepestEdge<CostUpdate::kBlocks>(q, theta, alphaRq, wq);
  finishReducedCosts(q, leaving, theta, leavingCost, listed);
}

}  // namespace kavro
