#pragma once
// The iteration-log callback: every log line the optimizer offers comes here. It is where the
// host's interrupt and resource limit are seen, and it writes a compact log to the host:
// minor-iteration lines every "summary_frequency" iterations (none when that is 0 or less)
// and every major-iteration line, each kind with its heading before the first line and again
// every ten lines; a major line restarts the minor headings.

#include "kavro/solver.hpp"
#include "link/link_context.hpp"

namespace kavro::link {

// Returns 0 to go on, 1 to stop at the resource limit ("ResLim"), 2 to stop on an interrupt.
int logIteration(LinkContext& ctx, const IterationLogEntry& entry);

}  // namespace kavro::link
