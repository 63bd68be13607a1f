#pragma once
// The simplex step: the entering variable q moves along its column of B^-1 (the direction
// p = -/+ B^-1 a_q over the basic positions, +/-1 for q itself) until a basic variable or q itself
// reaches a bound; the blocking basic variable leaves the basis, or q goes to its other bound.
//
// Rules
//  - The pricing part hears of a basis change before the states change (its weights follow the
//    old basis), and of a bound flip.
//  - The point and the states change here; the factors do not (the loop replaces the column).
//  - Nothing allocates.

#include <cstdint>
#include <vector>

#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "kernels/sparse_vector.hpp"
#include "optimizer/basis_factors.hpp"
#include "optimizer/feasibility.hpp"
#include "optimizer/pricer.hpp"
#include "optimizer/search_direction.hpp"
#include "specs/parameters.hpp"

namespace kavro {

struct SimplexMove {
  enum class Outcome { kBoundFlip, kBasisChange, kUnbounded };
  Outcome outcome = Outcome::kUnbounded;
  double step = 0.0;
  bool degenerate = false;  // the step was raised to the anti-degeneracy minimum
  int32_t position = -1;    // the basis position q took (kBasisChange)
  int32_t left = -1;        // the variable that left it
  double pivot = 0.0;       // B^-1 a_q at that position, as the log shows it
};

class SimplexStep {
 public:
  SimplexStep(const Problem& prob, ProblemState& state, const Parameters& params, const ReportChannels& out,
              BasisFactors& basis, SearchDirection& direction, Feasibility& feasibility, Pricer& pricer);

  // q increases (or decreases) from its bound.
  SimplexMove take(int32_t q, bool increase);

 private:
  int32_t formDirection(int32_t q, bool increase);

  const Problem& prob_;
  ProblemState& state_;
  const Parameters& p_;
  const ReportChannels out_;
  BasisFactors& basis_;
  SearchDirection& direction_;
  Feasibility& feasibility_;
  Pricer& pricer_;
  const int32_t m_, n_;
  kernels::SparseVector column_, y_;  // a_q and B^-1 a_q
  std::vector<int32_t> moved_;        // the positions where y is nonzero, ascending
};

}  // namespace kavro
