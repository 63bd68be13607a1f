#pragma once
// The infeasibilities of the basic variables, against their bounds relaxed by the working
// tolerance: their number ninf and sum sinf, which phase 1 minimizes, and a mark per basis
// position (-2 below the lower bound, +2 above the upper bound, 0 within) whose half is the
// phase-1 cost of the position. Phase 1 adds the weight wtobj times the true objective, a weight
// that falls tenfold whenever the sum of infeasibilities grows and is dropped after six falls.
// The counts before the last one tell the transitions (the point became feasible) the loop
// reports.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavro {

class Feasibility {
 public:
  // positions: every basis position (basic and superbasic) a step may look at.
  explicit Feasibility(int32_t positions) : marks_(static_cast<size_t>(positions), 0) {}

  // Counts over the m basic positions (basic: the variable of each position).
  void count(int32_t m, const int32_t* basic, const double* x, const double* lower, const double* upper,
             double tolerance);
  int32_t ninf() const { return ninf_; }
  double sinf() const { return sinf_; }
  bool feasible() const { return ninf_ == 0; }
  // The marks by position; positions beyond the basic ones are set by the steps that use them.
  int32_t* marks() { return marks_.data(); }
  const int32_t* marks() const { return marks_.data(); }

  // Whether the previous count was feasible, whether any count was, and the feasible-point
  // message that waits until the objective is known (announcement() hands it out once).
  bool wasFeasible() const { return wasFeasible_; }
  bool everFeasible() const { return everFeasible_; }
  void rememberFeasibility() {
    everFeasible_ = everFeasible_ || feasible();
    wasFeasible_ = feasible();
  }
  void announceLater() { announce_ = true; }
  bool announcement() {
    const bool due = announce_;
    announce_ = false;
    return due;
  }
  // No basic slack of an equality row is infeasible (rowTypes: RowType by row).
  bool equalityRowsSatisfied(int32_t m, int32_t n, const int32_t* basic, const std::vector<int32_t>& rowTypes) const;

  void startWeight(double weightOnObjective) { wtobj_ = weightOnObjective; }
  double weight() const { return wtobj_; }
  double& weight() { return wtobj_; }  // pricing lowers it when it lowers its thresholds
  void reduceWeight() { wtobj_ = ++weightReductions_ >= 6 ? 0.0 : 0.1 * wtobj_; }
  void dropWeight() { wtobj_ = 0.0; }
  // The sum grew by more than a tenth since the last iteration of phase 1 with a weight.
  bool sumGrew(int32_t itn) const { return ninf_ > 0 && wtobj_ > 0.0 && itn > 0 && sinf_ > 1.1 * previousSinf_; }
  void rememberSum() { previousSinf_ = sinf_; }

 private:
  int32_t ninf_ = 0;
  double sinf_ = 0.0, previousSinf_ = 0.0;
  std::vector<int32_t> marks_;
  double wtobj_ = 0.0;
  int32_t weightReductions_ = 0;
  bool wasFeasible_ = false, everFeasible_ = false, announce_ = false;
};

}  // namespace kavro
