#pragma once
// The phase of an iteration of the main loop, as the log prints it.

#include <cstdint>

namespace kavro {

enum class Phase : int32_t {
  kInfeasible = 1,      // the sum of infeasibilities (plus the weighted objective) by simplex steps
  kSimplex = 2,         // feasible, a linear objective and no superbasics: simplex steps
  kNewSuperbasics = 3,  // pricing, and the variables it chooses become superbasic for the step
  kSubspace = 4,        // steps within the current superbasics, without pricing until they converge
};

}  // namespace kavro
