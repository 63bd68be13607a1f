#pragma once
// The anti-degeneracy working tolerance: the ratio test relaxes the bounds by a feasibility
// tolerance that grows a little every iteration, so that even a degenerate step moves its
// blocking variable by a minimum amount; now and then the tolerance returns to its base and the
// nonbasic variables go back exactly onto their bounds (a reset, made by the loop).
//
//   at the start of a major iteration   tol = base = 0.5 "Feasibility tolerance"
//                                       step = (0.99 "Feasibility tolerance" - tol) / "Expand frequency"
//   every iteration                     tol += step
//   at a reset                          tol = base
//
// Rules
//  - tol stays below "Feasibility tolerance" for "Expand frequency" iterations, and a periodic
//    reset comes every "Expand frequency" minor iterations.
//  - Resets that the optimality, infeasibility and unboundedness tests ask for are made at most
//    once per iteration and twice per phase (feasible, infeasible) in a major iteration.

#include <cstdint>

namespace kavro {

class WorkingTolerance {
 public:
  // An "Expand frequency" this large keeps the tolerance fixed at its base.
  static constexpr int32_t kNever = 99999999;

  void start(double feasibilityTolerance, int32_t frequency) {
    tol_ = 0.5 * feasibilityTolerance;
    base_ = tol_;
    frequency_ = frequency;
    step_ = frequency < kNever ? (0.99 * feasibilityTolerance - tol_) / frequency : 0.0;
    resetsFeasible_ = resetsInfeasible_ = 0;
  }
  void grow() { tol_ += step_; }
  bool periodicResetDue(int32_t minorItn, int32_t itn) const {
    return frequency_ < kNever && minorItn > 0 && minorItn % frequency_ == 0 && lastResetItn_ != itn;
  }
  // Claims a reset at itn (requested: asked for by a test); false when none may be made now. A
  // claimed reset takes the tolerance back to its base.
  bool claimReset(bool requested, bool infeasible, int32_t itn) {
    if (requested) {
      if (lastResetItn_ == itn) return false;
      int32_t& count = infeasible ? resetsInfeasible_ : resetsFeasible_;
      if (count >= 2) return false;
      ++count;
    }
    lastResetItn_ = itn;
    tol_ = base_;
    return true;
  }
  double value() const { return tol_; }
  double step() const { return step_; }

 private:
  double tol_ = 0.0, base_ = 0.0, step_ = 0.0;
  int32_t frequency_ = kNever;
  int32_t lastResetItn_ = -1;
  int32_t resetsFeasible_ = 0, resetsInfeasible_ = 0;
};

}  // namespace kavro
