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

#include "qarn/qarn.h"

namespace qarn {

// Returns an empty string on success, else what went wrong (the MPS reader's own messages go
// to the listing, which is discarded).
std::string loadMpsModel(qmoHandle_t model, const std::string& path);

}  // namespace qarn
