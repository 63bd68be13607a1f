#pragma once
// What the reader derives once the segments are in: an order of the defined variables in
// which each follows the ones it uses, and for every expression the variables its value
// depends on. Checks that every such variable of an objective or a constraint is listed in
// its G or J segment, as the format requires (the derivatives are reported on those lists).

#include "nl/nl_model.hpp"

namespace kavro::nl {

// Fills Model::definedOrder and Model::expressionVars; throws ReadError on a defined variable
// that uses itself (directly or through others) or a variable missing from a G or J segment.
void analyzeStructure(Model& model);

}  // namespace kavro::nl
