#pragma once
// A function as a weighted sum of elements: the subexpressions below the sums, differences,
// negations and products by a constant at the top of its expression. Each element depends on
// fewer variables than the function as a whole (for a sum of squares, on two or three out of
// thousands), so second derivatives along a direction need only sweep the elements that
// depend on it.
//
// An element is a contiguous run of the function's nodes (in postfix order every subtree is),
// with the slot of its value and its coefficient in the function. An element without nodes is
// a defined variable (its own expression is the element's); variables and constants at the top
// are linear and make no element.

#include <cstdint>
#include <vector>

#include "nl/nl_model.hpp"

namespace kavro::nl {

struct Element {
  uint32_t first = 0, last = 0;  // nodes [first, last)
  uint32_t root = 0;             // the slot of its value
  double coef = 1.0;             // its factor in the function
  int32_t function = 0;          // the function (expression index) it belongs to
};

struct Elements {
  std::vector<Element> list;
  IndexLists vars;  // per element, the variables it depends on (through defined variables too)
};

Elements splitIntoElements(const Model& model, const std::vector<int32_t>& functions);

}  // namespace kavro::nl
