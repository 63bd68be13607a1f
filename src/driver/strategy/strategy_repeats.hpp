#pragma once
// What the solve strategy tries when a run of a problem with nonlinear constraints ends
// without a solution. In this order, each from the caller's starting point with the first
// run's options:
//
//   1. Penalty parameter 10
//   2. Penalty parameter 100
//   3. Penalty parameter 1 and Crash option 0
//   4. Penalty parameter 10 and Crash option 0
//
// A larger penalty is the augmented Lagrangian's usual remedy when its subproblems drift, run
// away or cannot be satisfied. The all-slack basis ("Crash option 0") replaces the crash's
// triangular basis, which puts the nonbasic variables and slacks on bounds and can start the
// major iterations far from the caller's point, where the linearizations are infeasible or the
// functions undefined. Neither is better on every model (measured over the 493 .nl models
// with nonlinear constraints: the penalty 10 or 100 given to every model loses about as many
// models the default solves as it gains), so the caller's settings run first; as repeats after
// a failure none is lost.
//
// Rules:
//   - a repeat changes only what the caller left unset: the caller's "Penalty parameter" is
//     kept, the caller's "Crash option" too, and a repeat that would then run with the settings
//     of an earlier run is left out;
//   - a run is repeated after an exit that other settings may mend (worthRepeating): not after
//     a limit, an interrupt, a storage, input or derivative error.

#include <cstddef>
#include <string>
#include <vector>

#include "kavro/solver.hpp"
#include "specs/parameters.hpp"

namespace kavro {

struct ReportChannels;

struct Repeat {
  double penalty = -1.0;    // the Penalty parameter to set; negative: the caller's is kept
  bool slackBasis = false;  // set Crash option 0
  // The changes in words: "Penalty parameter 10 and Crash option 0".
  std::string describe() const;
  // Sets the changes in p as SPECS lines (shown on the print file).
  void apply(Parameters& p, const ReportChannels& out) const;
};

class RepeatPlan {
 public:
  RepeatPlan() = default;  // no repeats
  // The repeats of the table that change something, for a caller whose options are callerSet.
  explicit RepeatPlan(const Parameters& callerSet);
  bool hasNext() const { return next_ < repeats_.size(); }
  const Repeat& next() { return repeats_[next_++]; }

 private:
  std::vector<Repeat> repeats_;
  size_t next_ = 0;
};

// True when another run with other settings may end better than r.
bool worthRepeating(const SolveResult& r);

}  // namespace kavro
