#pragma once
// A row of the optimizer's problem, given by its slack's bounds (the slack is minus the row's
// activity), as a host equation. The host has no ranged rows: a row with two different finite
// limits becomes an =E= row with an added column "rng.<row>" (coefficient -1, bounded by the
// row's limits), which leaves the feasible set, the objective and the duals unchanged. A row
// with no finite limit becomes an =N= row.

#include <string>

#include "qarn/qarn.h"

namespace qarn {

// Adds the row (and the column of a range) to the model with the given activity and marginal.
// Returns the host row index, or -1 with a message in error.
int addHostRow(qmoHandle_t model, const std::string& name, double slackLower, double slackUpper, double activity,
               double marginal, std::string& error);

}  // namespace qarn
