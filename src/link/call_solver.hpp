#pragma once
// kavCallSolver's work: model transfer, the solve, and the outcome back to the host.

#include "link/link_context.hpp"

namespace kavro::link {

void callSolver(LinkContext& ctx);

}  // namespace kavro::link
