#pragma once
// A search direction over the basis positions and the step along it: p by position (the m basic
// ones, then the superbasic ones; the simplex step puts its entering variable in the position
// after the basic ones), the ratio test that finds how far the point may move before a variable
// reaches a bound, the move itself and the landing of the blocking variable on its bound.
//
// Rules
//  - Every array is sized once, for every position; nothing here allocates afterwards.
//  - The ratio test sees the bounds relaxed by the working tolerance, and an infeasible variable
//    blocks where it becomes feasible (ratio_test.hpp).

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"
#include "optimizer/basis_factors.hpp"
#include "optimizer/feasibility.hpp"
#include "optimizer/ratio_test.hpp"
#include "optimizer/working_tolerance.hpp"
#include "specs/parameters.hpp"

namespace kavro {

class SearchDirection {
 public:
  // The point, its bounds and the basis list are those of the run; the ratio test relaxes the
  // bounds by the working tolerance and lets the infeasible basic variables (their marks) block
  // where they become feasible.
  SearchDirection(const Problem& prob, const ProblemState& state, const BasisFactors& basis,
                  const Feasibility& feasibility, const WorkingTolerance& tolerance, const Parameters& params);

  double* p() { return p_.data(); }
  const double* p() const { return p_.data(); }
  // Over the first count positions; with lastVar >= 0 the last of them is that variable instead
  // of the list's.
  BlockingResult ratioTest(int32_t count, double stepMax, double pivotTol, int32_t lastVar = -1);
  // x(list(k)) += alpha p(k) over the first count positions.
  void moveAlong(double alpha, int32_t count, const int32_t* list, double* x) const;

  // The values of the first count positions before a step, to go back to.
  void keepValues(int32_t count, const int32_t* list, const double* x);
  void restoreValues(int32_t count, const int32_t* list, double* x) const;

 private:
  const Problem& prob_;
  const ProblemState& state_;
  const BasisFactors& basis_;
  const Feasibility& feasibility_;
  const WorkingTolerance& tolerance_;
  const double infBound_;
  std::vector<double> p_, rooms_, before_;
  std::vector<int32_t> candidates_;
};

// The blocking variable j lands on its bound exactly, or stays where it got to when the step was
// raised to the anti-degeneracy minimum; it becomes nonbasic there (fixed when its bounds are
// equal).
void landOnBound(int32_t j, const BlockingResult& r, double* x, int32_t* hs, const double* lower, const double* upper);

}  // namespace kavro
