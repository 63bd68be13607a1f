#pragma once
// The files a run reads and writes, as the parameters name them by unit, and the check that no
// output lands on an input or on another output before anything is written.

#include <vector>

#include "io/units.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// The print and summary files; the SPECS and MPS files; the basis file a cold start reads (Old
// basis, else Insert, else Load); the New basis, Backup basis, Punch, Dump and Solution files.
std::vector<FileUse> runFileUses(const Parameters& p);

// The clashes among the run's files and the uses declared in the unit table.
std::vector<FileClash> runFileClashes(const Parameters& p, const UnitTable& units);

// Reports the clashes, each with " XXX  ", on the report channels that take no part in one, and
// the exit line. True when there was a clash: the run must not start.
bool refuseFileClashes(const Parameters& p, const UnitTable& units, const ReportChannels& out);

}  // namespace kavro
