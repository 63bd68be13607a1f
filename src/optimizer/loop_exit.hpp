#pragma once
// The end of a run as the loop's parts declare it: the exit code, and the EXIT line of the codes
// whose message is the same wherever they arise (the others print their own where they do).

#include "io/units.hpp"
#include "kavro/solver.hpp"

namespace kavro {

// The message of code, or nullptr when it is printed where the code arises.
const char* exitMessage(ExitCode code);

// exit = code, and its message on the print and summary files.
inline void declareExit(ExitCode& exit, ExitCode code, const ReportChannels& out) {
  exit = code;
  if (const char* message = exitMessage(code)) out.both("%s", message);
}

}  // namespace kavro
