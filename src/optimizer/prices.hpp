#pragma once
// The prices (dual estimates) pi of the current basis, from B' pi = c_B, where c_B holds the
// cost of each basic variable in the objective of the phase:
//
//   phase 1 (infeasible)  c_k = mark_k / 2 (-1 below its lower bound, +1 above its upper bound),
//                         plus the weighted objective at the objective row's slack;
//   feasible              the objective row's slack, and the gradient of a nonlinear objective.
//
// piNorm = max(1, max |pi_i|) scales the tolerances of pricing and of the optimality tests.
//
// Rules
//  - stale() says the basis, the phase or the costs changed since pi was computed; the loop
//    decides when to compute it again.
//  - The costs may be loaded lazily (deferCosts()): compute() then loads them first.
//  - compute() gives the same pi bit for bit whether it solves densely or sparsely.

#include <cstdint>
#include <vector>

#include "kernels/sparse_vector.hpp"
#include "lu/basis_lu.hpp"

namespace kavro {

class Feasibility;
class SubproblemObjective;

// What the basic costs are made of (see above).
struct BasicCosts {
  int32_t objSlack = -1;  // the objective row's slack, -1 without one
  double objSlackCost = 0.0;
  const double* gradient = nullptr;  // the structural gradient, nullptr when it is zero
  int32_t n = 0;                     // structural columns
  const int32_t* marks = nullptr;    // phase 1: the infeasibility marks by position; else nullptr
};

// The costs of the phase: phase 1's while infeasible (with the weighted objective), else the
// objective's.
BasicCosts basicCostsOf(const SubproblemObjective& objective, const Feasibility& feasibility);

class Prices {
 public:
  explicit Prices(int32_t m);

  void loadCosts(const int32_t* basic, const BasicCosts& costs);
  void deferCosts() { costsStale_ = true; }
  void compute(BasisLU& lu, const int32_t* basic, const BasicCosts& costs, double* pi);

  bool stale() const { return stale_; }
  void markStale() { stale_ = true; }
  double norm() const { return piNorm_; }
  void resetNorm() { piNorm_ = 1.0; }
  const double* costs() const { return costs_.data(); }  // c_B by position (m)

 private:
  int32_t m_;
  std::vector<double> costs_, work_;
  kernels::SparseVector rhs_, solution_;  // c_B and pi, as the sparse solve takes them
  double piNorm_ = 1.0;
  bool stale_ = true;
  bool costsStale_ = false;
  bool dense_ = false;  // the last pi had over m/10 nonzeros: solve the next densely
};

}  // namespace kavro
