#pragma once
// Interim stand-in for the reduced-Hessian factor: the identity of any order. Replaced by the
// real factor (BFGS updates by plane rotations) when it lands.

#include <cstdint>

namespace kavro {

class ReducedHessian {
 public:
  struct ResetResult { bool rescaled = false; double condR = 1.0; };
  struct Condition { double dmax = 1.0, dmin = 1.0, condR = 1.0; };
  void resize(int32_t maxR, int32_t) { maxR_ = maxR < 1 ? 1 : maxR; }
  int32_t maxR() const { return maxR_; }
  int32_t order(int32_t ns) const { return ns < maxR_ ? ns : maxR_; }
  bool needsReset() const { return false; }
  void markForReset() {}
  ResetResult reset(int32_t) { return {}; }
  void addColumn(int32_t) {}
  void deleteColumn(int32_t, int32_t) {}
  int exchangeUpdate(int32_t, int32_t, const double*) { return 0; }
  int bfgsUpdate(int32_t, const double*, const double*, const double*, double, const double*) { return 0; }
  Condition estimateCondition(int32_t) const { return {}; }
  void solve(int, int32_t, double*) const {}
  void swapDiagonal(int32_t, int32_t) {}

 private:
  int32_t maxR_ = 1;
};

}  // namespace kavro
