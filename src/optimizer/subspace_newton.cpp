#include "optimizer/subspace_newton.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "kernels/column_view.hpp"
#include "kernels/vector_ops.hpp"
#include "optimizer/newton_algebra.hpp"

namespace kavro {

SubspaceNewton::SubspaceNewton(const Problem& prob, const ProblemState& state, BasisFactors& basis,
                               SubproblemObjective& objective, const Parameters& params)
    : prob_(prob),
      state_(state),
      basis_(basis),
      objective_(objective),
      option_(objective.secondDerivativesOffered() ? params.hessianOption : kQuasiNewtonHessian),
      automaticFrom_(params.hessianMemory > 0 ? kAutomaticThreshold
                                              : std::max(kAutomaticThreshold, params.hessianDimension + 1)),
      m_(prob.m),
      n_(prob.n),
      nnv_(prob.nNonlinVars()) {
  const auto nnv = static_cast<size_t>(std::max(nnv_, 1));
  const auto m = static_cast<size_t>(std::max(m_, 1));
  const auto maxS = static_cast<size_t>(std::max(1, params.superbasicsLimit)) + 1;
  hv_.assign(nnv, 0.0);
  d_.assign(nnv, 0.0);
  rowWork_.assign(m, 0.0);
  rowSolution_.assign(m, 0.0);
  for (auto* v : {&r_, &z_, &dir_, &q_, &x_, &scratch_, &modelZ_}) v->assign(maxS, 0.0);
  if (option_ != kQuasiNewtonHessian) {
    dense_.assign(kDenseOrder * kDenseOrder, 0.0);
    order_.assign(maxS, 0);
    rank_.assign(nnv, -1);
  }
}

bool SubspaceNewton::wanted(int32_t ns) const {
  if (ns <= 0 || nnv_ <= 0) return false;
  if (option_ == kExactHessian) return true;
  return option_ == kAutomaticHessian && ns >= automaticFrom_;
}

bool SubspaceNewton::direction(int32_t ns, const double* rg, const double* qnDirection, const SubspaceHessian& model,
                               double* pS) {
  if (!objective_.prepareHessian(state_.x.data())) return false;
  const bool made = ns <= kDenseOrder ? modifiedCholesky(ns, rg, pS)
                                      : bandedNewton(ns, rg, pS) || conjugateGradients(ns, rg, qnDirection, model, pS);
  // Rounding may spoil descent in a nearly flat subspace; the quasi-Newton direction is safe.
  return made && dotProduct(ns, rg, pS) < 0.0;
}

// d = Z v over the nonlinear variables (the basic ones follow the superbasic ones), w = H d,
// then Z'w = w_S - S' B^-T w_B.
bool SubspaceNewton::reducedProduct(int32_t ns, const double* v, double* out) {
  ++products_;
  const kernels::ColumnView a(prob_.a);
  const int32_t* list = basis_.list();
  double* w = rowWork_.data();
  double* pB = rowSolution_.data();
  std::fill(w, w + m_, 0.0);
  for (int32_t k = 0; k < ns; ++k) {
    const int32_t j = list[m_ + k];
    if (v[k] == 0.0) continue;
    if (j >= n_) w[j - n_] += v[k];
    else a.add(j, v[k], w);
  }
  basis_.lu().solveB(w, pB);
  double* d = d_.data();
  std::fill(d, d + nnv_, 0.0);
  for (int32_t k = 0; k < m_; ++k)
    if (list[k] < nnv_) d[list[k]] = -pB[k];
  for (int32_t k = 0; k < ns; ++k)
    if (list[m_ + k] < nnv_) d[list[m_ + k]] = v[k];
  double* hv = hv_.data();
  if (!objective_.hessianProduct(d, hv)) return false;
  for (int32_t k = 0; k < m_; ++k) w[k] = list[k] < nnv_ ? hv[list[k]] : 0.0;
  basis_.lu().solveBt(w, pB);
  for (int32_t k = 0; k < ns; ++k) {
    const int32_t j = list[m_ + k];
    const double aY = j < n_ ? a.dot(j, pB) : pB[j - n_];
    out[k] = (j < nnv_ ? hv[j] : 0.0) - aY;
  }
  return true;
}

void SubspaceNewton::precondition(int32_t ns, const SubspaceHessian& model, const double* r, double* z) {
  // The model's direction for a gradient g is -M^-1 g: M^-1 r is its direction for -r.
  for (int32_t k = 0; k < ns; ++k) scratch_[k] = -r[k];
  model.direction(ns, scratch_.data(), modelZ_.data(), z);
}

bool SubspaceNewton::conjugateGradients(int32_t ns, const double* rg, const double* qnDirection,
                                        const SubspaceHessian& model, double* pS) {
  double* const work[5] = {r_.data(), z_.data(), dir_.data(), q_.data(), x_.data()};
  const double eta = std::min(0.5, std::sqrt(kernels::maxNorm(ns, rg)));
  const ConjugateGradientResult r = truncatedConjugateGradients(
      ns, rg, qnDirection, eta, std::min(ns, kMaxCgIterations),
      [&](const double* v, double* out) { return reducedProduct(ns, v, out); },
      [&](const double* residual, double* z) { precondition(ns, model, residual, z); }, work, pS);
  cgIterations_ += r.iterations;
  return r.solved;
}

// Z'HZ by columns (each the product with a unit vector), then its modified Cholesky.
bool SubspaceNewton::modifiedCholesky(int32_t ns, const double* rg, double* pS) {
  double* A = dense_.data();
  double* e = z_.data();
  for (int32_t j = 0; j < ns; ++j) {
    std::fill(e, e + ns, 0.0);
    e[j] = 1.0;
    if (!reducedProduct(ns, e, A + static_cast<size_t>(j) * static_cast<size_t>(ns))) return false;
  }
  return modifiedCholeskyDirection(ns, A, rg, r_.data(), pS);
}

// With every basic variable linear or a slack, d = Z v is v on the superbasics over the
// nonlinear variables, and Z'HZ = H_SS.
bool SubspaceNewton::basisFree() const {
  const int32_t* list = basis_.list();
  return std::all_of(list, list + m_, [this](int32_t j) { return j >= nnv_; });
}

bool SubspaceNewton::bandedNewton(int32_t ns, const double* rg, double* pS) {
  NonlinearFunctions::HessianTriangle h;
  if (!basisFree() || !objective_.hessianTriangle(h)) return false;
  const int32_t* superbasic = basis_.list() + m_;
  int32_t* order = order_.data();
  int32_t* rank = rank_.data();
  std::iota(order, order + ns, 0);
  std::sort(order, order + ns, [superbasic](int32_t a, int32_t b) { return superbasic[a] < superbasic[b]; });
  for (int32_t r = 0; r < ns; ++r)
    if (superbasic[order[r]] < nnv_) rank[superbasic[order[r]]] = r;
  const bool made = bandedDirection(ns, h, rg, pS);
  for (int32_t r = 0; r < ns; ++r)
    if (superbasic[order[r]] < nnv_) rank[superbasic[order[r]]] = -1;
  return made;
}

// H_SS in band form (entries outside the superbasics dropped), factorized; pS back in the
// superbasics' order. False when the band is too wide to pay.
bool SubspaceNewton::bandedDirection(int32_t ns, const NonlinearFunctions::HessianTriangle& h, const double* rg,
                                     double* pS) {
  const int32_t* rank = rank_.data();
  const auto inside = [this, rank](int32_t i) { return i < nnv_ && rank[i] >= 0; };
  int32_t b = 0;
  for (int64_t k = 0; k < h.nnz; ++k)
    if (inside(h.rows[k]) && inside(h.cols[k])) b = std::max(b, std::abs(rank[h.rows[k]] - rank[h.cols[k]]));
  const double entries = static_cast<double>(ns) * (b + 1.0);
  if (entries > kMaxBandEntries || entries * b > kMaxBandWork) return false;
  const int64_t stride = int64_t{b} + 1;
  band_.assign(static_cast<size_t>(entries), 0.0);
  double* band = band_.data();
  for (int64_t k = 0; k < h.nnz; ++k) {
    if (!inside(h.rows[k]) || !inside(h.cols[k])) continue;
    const int32_t i = rank[h.rows[k]], j = rank[h.cols[k]];
    band[std::min(i, j) * stride + std::abs(i - j)] += h.values[k];
  }
  const int32_t* order = order_.data();
  double* g = r_.data();
  double* p = x_.data();
  for (int32_t r = 0; r < ns; ++r) g[r] = rg[order[r]];
  // Only where H_SS is safely positive definite: a raised pivot turns a flat or downward
  // curving direction into a huge step (bdexp: "unbounded"), which conjugate gradients avoid by
  // following the curvature they meet.
  const BandedDirection made = bandedModifiedCholeskyDirection(ns, b, band, g, z_.data(), p);
  if (!made.finite || made.raisedPivots > 0) return false;
  for (int32_t r = 0; r < ns; ++r) pS[order[r]] = p[r];
  return true;
}

}  // namespace kavro
