#pragma once
// The files of the kavro command: its own units (4 SPECS, 6 summary, 9 print, 98 problem), the
// checks that none of its outputs lands on an input or on another output, and the report of the
// outputs that could not be written.

#include <string>
#include <vector>

#include "command_line.hpp"
#include "io/units.hpp"
#include "kavro/solver.hpp"

namespace kavro::app {

inline constexpr int kSpecsUnit = 4;
inline constexpr int kSummaryUnit = 6;
inline constexpr int kPrintUnit = 9;
inline constexpr int kProblemUnit = 98;

// Connects the units the command line names (standard output as the summary file without
// --summary) and declares the problem file's use, so that every run checks its outputs against it.
void connectCommandUnits(Optimizer& opt, const CommandLine& cl);

// The clashes that exist before any option is read: the print and summary files against the
// SPECS and problem files and each other, and any --unit file against the print and summary
// files (whatever the options make of it, the reports would write over it).
std::vector<FileClash> commandLineClashes(const UnitTable& units, const CommandLine& cl);

// Prints each clash on standard error; true when there was one (the command must stop).
bool refuseClashes(const std::vector<FileClash>& clashes);

// The outputs that could not be written, each printed once on standard error with its path and
// the system's reason ("kavro: cannot write run.print: No space left on device").
class WriteFailures {
 public:
  // Prints the failures found since the last call; true when there has been any so far.
  bool report(const UnitTable& units);
  // Closes every output of the table, reports what failed, and checks standard output itself.
  bool finish(UnitTable& units);

 private:
  size_t reported_ = 0;
  bool any_ = false;
};

// Flushes standard output; false (said on standard error when asked) when it could not be written.
bool standardOutputWritten(bool reportFailure = true);

}  // namespace kavro::app
