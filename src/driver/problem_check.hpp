#pragma once
// Validation of a problem handed to the solver entry: dimensions that agree, a well-formed
// column-wise matrix and finite numbers. NaN or infinite data must never reach a reported
// solution, so such a problem is refused before anything else happens.

#include <string>
#include <vector>

#include "kavro/problem.hpp"

namespace kavro {

// Returns one message per fault found (at most maxMessages); empty when the data are valid.
std::vector<std::string> checkProblemData(const Problem& prob, const ProblemState& state, bool haveFunctions,
                                          size_t maxMessages = 10);

}  // namespace kavro
