#pragma once
// Second derivatives along one direction (forward over reverse) on the slot array of the tape
// (nl_tape.hpp): a tangent sweep carries the direction forward through an expression's nodes,
// then a reverse sweep carries the first-order adjoints back together with their derivatives
// along the direction, so that the operands end with (H d) of the seeded function.
//
// Both sweeps read the values of a forward sweep (nl_sweep.hpp) at the same point and follow
// the branch of an if-then-else that it took; nodes of the branch not taken keep tangent and
// adjoints zero and are skipped.

#include <cstdint>

#include "nl/nl_tape.hpp"

namespace kavro::nl {

// First and second partial derivatives of one operation with respect to its operand slots a
// and b (unary operations and powers with a constant part use a only).
struct Partials {
  double da = 0.0, db = 0.0;
  double daa = 0.0, dab = 0.0, dbb = 0.0;
};

// Partials of node n (an operation of kind Tape::kTwo or Tape::kOne other than kJumpIfZero),
// given the operand values and the node's own value v.
Partials partialsOf(const Node& n, const double* value, double v);

// partials[k] for the nodes k in [first, last) on the branches the values took (once per
// point: the sweeps below use them for every direction).
void partialsSweep(const Tape& tape, uint32_t first, uint32_t last, const double* value, Partials* partials);

// tangent[] of the nodes [first, last) from the tangents of their operands. Slots outside
// the range are read, never written.
void tangentSweep(const Tape& tape, uint32_t first, uint32_t last, const double* value, const Partials* partials,
                  double* tangent);

// Reverse sweep over [first, last): adjoint[] and adjointDot[] hold the seeds in the root's
// slot; both are added to the operands' slots (constants included) and every node's slots are
// left at zero again. Nodes whose adjoint and adjointDot are both zero are skipped.
void secondOrderSweep(const Tape& tape, uint32_t first, uint32_t last, const double* value, const Partials* partials,
                      const double* tangent, double* adjoint, double* adjointDot);

}  // namespace kavro::nl
