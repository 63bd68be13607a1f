#pragma once
// Fills a host model object from an MPS file, through the optimizer's own MPS reader.
//
// The first free row is the objective (minimized) and its RHS gives the objective constant;
// the other free rows become =N= rows; a file without a free row gives a model without
// objective (type 8). The host has no ranged rows: a row with a range R becomes an =E= row
// with an added column "rng.<row>" (coefficient -1, bounded by the row's limits), which leaves
// the feasible set, the objective and the duals unchanged. The INITIAL bounds set gives the
// variables' levels; equation levels are the row activities at those levels.

#include <string>

#include "io/input_unit.hpp"

#include "qarn/qarn.h"

namespace qarn {

// Returns an empty string on success, else what went wrong: for a file with errors, every
// message of the MPS reader (each error with its line number), then the count. Integer columns
// are refused unless relaxIntegers asks for the continuous relaxation. The reader's warnings and
// notes about a file that is read (an RHS set that is not used, the relaxation) go to `notes`
// when given. Names and records are shown with their control bytes as "?". `stop` is asked while
// the file is read: true ends the reading (a pipe that never ends).
std::string loadMpsModel(qmoHandle_t model, const std::string& path, bool relaxIntegers = false,
                         std::string* notes = nullptr, const kavro::StopCheck& stop = {});

}  // namespace qarn
