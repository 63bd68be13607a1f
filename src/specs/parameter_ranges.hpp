#pragma once
// Admissible values of the parameters that completion does not repair. Completion replaces an
// undefined or out-of-range value by its default where its rules say so (a tolerance that is
// not positive, a negative Scale option); a value that no rule replaces and that means nothing
// (a file number beyond 99, an option number that selects nothing, a tolerance of 1 or more that
// would make any point optimal, feasible or unbounded) is refused when the option is decoded,
// instead of changing the answer.

#include <cstdint>
#include <string>

#include "specs/parameters.hpp"

namespace kavro {

// Empty when `value` may be stored in `field` (a field of `p`), else the admissible values as a
// report says them ("0 to 2", "below 1").
std::string outOfRange(const Parameters& p, const int32_t& field, int32_t value);
std::string outOfRange(const Parameters& p, const double& field, double value);

}  // namespace kavro
