#pragma once
// The quasi-Newton model of the objective in the subspace of the superbasic variables: the dense
// triangular factor R of order "Hessian dimension" (with a diagonal beyond it), or, with
// "Hessian memory" k > 0, the last k updates only (limited memory, for subspaces too large for a
// dense factor). The reduced-gradient step talks to either through this one interface.

#include <cstdint>

#include "optimizer/limited_memory_hessian.hpp"
#include "optimizer/reduced_hessian.hpp"

namespace kavro {

class SubspaceHessian {
 public:
  using ResetResult = ReducedHessian::ResetResult;
  using Condition = ReducedHessian::Condition;

  // memory 0: the dense factor; memory > 0: that many limited-memory pairs.
  void resize(int32_t maxR, int32_t maxS, int32_t memory, const MachineConstants& machine) {
    limited_ = memory > 0;
    maxS_ = maxS;
    if (limited_) lm_.resize(memory, maxS);
    else dense_.resize(maxR, maxS, machine);
  }
  bool limitedMemory() const { return limited_; }
  // With limited memory every superbasic is "inside" the model.
  int32_t maxR() const { return limited_ ? maxS_ : dense_.maxR(); }
  int32_t order(int32_t ns) const { return limited_ ? ns : dense_.order(ns); }
  bool needsReset() const { return !limited_ && dense_.needsReset(); }
  void markForReset() {
    if (limited_) lm_.reset();
    else dense_.markForReset();
  }
  ResetResult reset(int32_t ns) {
    if (!limited_) return dense_.reset(ns);
    lm_.reset();
    return {};
  }
  void addColumn(int32_t ns) {
    if (limited_) lm_.addColumn(ns);
    else dense_.addColumn(ns);
  }
  void deleteColumn(int32_t k, int32_t ns) {
    if (limited_) lm_.deleteColumn(k, ns);
    else dense_.deleteColumn(k, ns);
  }
  // A superbasic replaces a basic variable: the dense factor is updated, the limited-memory
  // pairs (which belong to the old null-space basis) are forgotten.
  int exchangeUpdate(int32_t k, int32_t ns, const double* y) {
    if (!limited_) return dense_.exchangeUpdate(k, ns, y);
    lm_.reset();
    return 0;
  }
  int bfgsUpdate(int32_t ns, const double* g1, const double* g2, const double* p, double alpha, const double* z) {
    return limited_ ? lm_.update(ns, g1, g2, p, alpha) : dense_.bfgsUpdate(ns, g1, g2, p, alpha, z);
  }
  // The same update after a step along a direction p of another kind (exact second
  // derivatives): the dense update assumes R'R p = -g1, so it is made for the gradient g1'
  // = -R'R p that p answers, with g2' = g1' + (g2 - g1) keeping the change of gradient; it needs
  // (g2 - g1)'p > 0. The limited-memory pairs take any direction. g1Model, g2Model and z are
  // scratch of ns entries.
  int bfgsUpdateAlong(int32_t ns, const double* g1, const double* g2, const double* p, double alpha, double* g1Model,
                      double* g2Model, double* z) {
    if (limited_) return lm_.update(ns, g1, g2, p, alpha);
    double change = 0.0;
    for (int32_t k = 0; k < ns; ++k) change += (g2[k] - g1[k]) * p[k];
    if (!(change > 0.0) || dense_.needsReset()) return 0;
    for (int32_t k = 0; k < ns; ++k) z[k] = p[k];
    dense_.multiply(1, ns, z);
    for (int32_t k = 0; k < ns; ++k) g1Model[k] = z[k];
    dense_.multiply(2, ns, g1Model);
    for (int32_t k = 0; k < ns; ++k) {
      g1Model[k] = -g1Model[k];
      g2Model[k] = g1Model[k] + (g2[k] - g1[k]);
      z[k] = -z[k];
    }
    return dense_.bfgsUpdate(ns, g1Model, g2Model, p, alpha, z);
  }
  Condition estimateCondition(int32_t ns) const { return limited_ ? Condition{} : dense_.estimateCondition(ns); }
  // pS = -(model Hessian)^-1 rg; with the dense factor z = R^-T rg is kept for its update.
  void direction(int32_t ns, const double* rg, double* z, double* pS) const {
    if (limited_) {
      lm_.direction(ns, rg, pS);
      return;
    }
    for (int32_t k = 0; k < ns; ++k) z[k] = rg[k];
    dense_.solve(2, ns, z);
    for (int32_t k = 0; k < ns; ++k) pS[k] = -z[k];
    dense_.solve(1, ns, pS);
  }
  void swapDiagonal(int32_t j, int32_t k) {
    if (limited_) lm_.swapColumns(j, k);
    else dense_.swapDiagonal(j, k);
  }
  void moveOutOfTriangle(int32_t q, int32_t ns) {
    if (!limited_) dense_.moveOutOfTriangle(q, ns);
  }

 private:
  bool limited_ = false;
  int32_t maxS_ = 1;
  ReducedHessian dense_;
  LimitedMemoryHessian lm_;
};

}  // namespace kavro
