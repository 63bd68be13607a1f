#pragma once
// The basis files as steps of a run: the driver's loading at cycle 0 and the main loop's saves
// are declared in run_hooks.hpp; the solution output (stage 1) writes the Punch and Dump files
// through the two functions here.

namespace kavro {

struct RunContext;

// Writes the PUNCH format on the Punch file, when one is set (unscaled values, external states).
void writePunchFile(const RunContext& ctx);
// Writes the DUMP format on the Dump file, when one is set.
void writeDumpFile(const RunContext& ctx);

}  // namespace kavro
