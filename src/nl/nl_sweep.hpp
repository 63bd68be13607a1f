#pragma once
// The two sweeps over one expression's nodes: forward (the value of every node, operands
// first) and backward (the derivative of the root with respect to every node and operand, the
// root first). Both work on the slot array of the tape (nl_tape.hpp).

#include <cstdint>

#include "nl/nl_tape.hpp"

namespace kavro::nl {

// Values of nodes [first, last) into their slots of value[]; returns the number of nodes
// whose value is not a finite number. Only the branch of an if-then-else that is taken is
// evaluated.
int32_t forwardSweep(const Tape& tape, uint32_t first, uint32_t last, double* value);

// Backward sweep over nodes [first, last) with the values of the forward sweep. adjoint[] holds
// the seed in the root's slot; the derivatives are added to the operands' slots (variables,
// defined variables and constants included) and every node's slot is left at zero again.
// Nodes whose adjoint is zero are skipped, which also skips the branch of an if-then-else
// not taken.
void backwardSweep(const Tape& tape, uint32_t first, uint32_t last, const double* value, double* adjoint);

}  // namespace kavro::nl
