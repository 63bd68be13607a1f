#pragma once
// The small problem the kavro command solves when it is given no problem file.

#include "kavro/problem.hpp"

namespace kavro::app {

// A three-product blending problem with an equality, a ">=" and a "<=" row and bounded
// columns. Its optimal objective is 28.
Problem builtinExample();

}  // namespace kavro::app
