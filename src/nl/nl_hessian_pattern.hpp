#pragma once
// Where the Hessian of a Lagrangian sum_f w_f f(x) over some of a model's functions can be
// nonzero, whatever the weights and the point, and a grouping of its columns that lets one
// Hessian-vector product per group give every entry.
//
// The pattern follows the operations with a second derivative (products, quotients, powers,
// the smooth unary functions, atan2): each pairs the variables its operands depend on.
// Operations that are piecewise linear (sums, min, max, abs, if-then-else) pair nothing but
// pass their operands' variables up; piecewise constant ones (rounding, comparisons, logic) pass
// nothing. A defined variable's own second derivatives count wherever it is used, and its
// variables are those it depends on through its expression, its linear terms and the defined
// variables it uses. Both branches of an if-then-else count.

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "nl/nl_model.hpp"

namespace kavro::nl {

// The lower triangle (row >= col) by columns, rows increasing in each column.
struct HessianPattern {
  int32_t n = 0;
  std::vector<int32_t> colStart;  // n + 1 entries
  std::vector<int32_t> row;

  int64_t nonzeros() const { return static_cast<int64_t>(row.size()); }
};

// Raised when the pattern would not fit in memory (more than about 10^8 entries).
class HessianTooLarge : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The pattern of the Hessian of the given functions (objectives and constraints by function
// index, see Model) and of every defined variable.
HessianPattern lagrangianPattern(const Model& model, const std::vector<int32_t>& functions);

// A color per variable (-1 for a variable without entries) such that no two columns of one
// color have an entry in the same row of the symmetric matrix, so that entry (i, j) is row i of
// H times the indicator of column j's color. Greedy, columns of more entries first.
std::vector<int32_t> colorColumns(const HessianPattern& pattern, int32_t& colors);

}  // namespace kavro::nl
