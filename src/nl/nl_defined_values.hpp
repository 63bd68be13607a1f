#pragma once
// The values of a model's defined variables at a point, in the order that puts every defined
// variable after those it uses: its expression's value plus its linear terms, written into the
// defined variable's slot. Shared by the first- and second-order evaluators, which differ only
// in how they run an expression's forward sweep.

#include <cmath>
#include <cstdint>
#include <vector>

#include "nl/nl_model.hpp"
#include "nl/nl_tape.hpp"

namespace kavro::nl {

// forward(e) evaluates expression e into value and returns false when it failed; error[v] is set
// for a defined variable whose value could not be computed or is not finite.
template <class Forward>
void evaluateDefinedVariables(const Model& m, const Tape& tape, std::vector<double>& value, std::vector<uint8_t>& error,
                              Forward forward) {
  for (int32_t v : m.definedOrder) {
    const int32_t e = m.definedExpression(v);
    const bool ok = forward(e);
    double s = value[tape.root[e]];
    for (const LinearTerm* t = m.definedLinear.begin(v); t != m.definedLinear.end(v); ++t) s += t->coef * value[t->var];
    value[tape.definedBase() + static_cast<size_t>(v)] = s;
    error[v] = !ok || !std::isfinite(s);
  }
}

}  // namespace kavro::nl
