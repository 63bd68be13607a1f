#pragma once
// The end of a run as the loop's parts declare it: the exit code, and the EXIT line of the codes
// whose message is the same wherever they arise (the others print their own where they do).

#include "io/units.hpp"
#include "kavro/solver.hpp"

namespace kavro {

// The message of code, or nullptr when it is printed where the code arises.
const char* exitMessage(ExitCode code);

// A reduced gradient below this fraction of the multiplier norm at the end allows "optimal"
// (0.1 rounded to single precision).
inline constexpr double kSinglePrecisionTenth = 0.10000000149011612;

// exit = code, and its message on the print and summary files.
inline void declareExit(ExitCode& exit, ExitCode code, const ReportChannels& out) {
  exit = code;
  if (const char* message = exitMessage(code)) out.both("%s", message);
}

// Optimal by the tests: kOptimal, or kNearOptimal when the reduced gradient is still large.
inline void declareOptimal(ExitCode& exit, double rgNorm, double piNorm, const ReportChannels& out) {
  if (rgNorm / piNorm < kSinglePrecisionTenth) {
    declareExit(exit, kOptimal, out);
    return;
  }
  out.both("%s", " EXIT -- near-optimal solution found");
  out.both("%s", " XXX WARNING: reduced gradient is large -- solution is not really optimal");
  exit = kNearOptimal;
}

}  // namespace kavro
