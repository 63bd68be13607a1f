#pragma once
// The limits that all runs of one solve share. A solve may be several runs (the solve
// strategy's repeats); the caller's limits bound the solve as a whole:
//
//   "Time limit" t      the processor time of the solving thread from the start of the solve
//                       (its functions included) is at most t seconds; 0: no limit
//   "Iterations limit"  the minor iterations of all runs together
//   "Major iterations"  the major iterations of all runs together
//
// Rules:
//   - the time is looked at on the log entries of a run, as the host's resource limit is, and
//     a run that reaches the limit ends with exit 18; the clock is read at most every
//     kLookInterval of wall time (a thread's processor time cannot run ahead of the wall
//     clock, so the limit is overrun by at most that much), since a clock read on every entry
//     would cost a noticeable share of a cheap simplex iteration;
//   - no run starts once a limit is used up;
//   - a repeat runs with what is left of the caller's iteration limits as its own.
// Limits the strategy chose itself (the caller left them unset) are its own tuning and apply to
// each run alone.

#include <chrono>
#include <cstdint>

#include "kavro/solver.hpp"
#include "specs/parameters.hpp"

namespace kavro {

class RunBudget {
 public:
  static constexpr std::chrono::milliseconds kLookInterval{5};

  // callerSet: the parameter block as the caller left it; the clock starts now.
  explicit RunBudget(const Parameters& callerSet);

  // True once the time limit is reached; reads the clock only every kLookInterval.
  bool timeUp();
  // The same, reading the clock now.
  bool timeUpNow() const;
  bool hasTimeLimit() const { return timeLimit_ > 0.0; }

  // Counts the iterations of a finished run.
  void spend(const SolveResult& r);
  // False once one of the caller's iteration limits is used up.
  bool iterationsLeft() const;
  // Sets what is left of the caller's iteration limits in p (as SPECS lines, shown on the
  // print file).
  void leaveRemainder(Parameters& p, const ReportChannels& out) const;

 private:
  double timeLimit_ = 0.0;
  double start_ = 0.0;
  std::chrono::steady_clock::time_point lastLook_;
  int64_t iterationLimit_ = -1, majorLimit_ = -1;  // -1: not the caller's
  int64_t iterations_ = 0, majors_ = 0;
};

}  // namespace kavro
