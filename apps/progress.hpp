#pragma once
// A one-line progress display on standard error, updated in place, for runs that take more
// than about a second (off when standard error is not a terminal or with --quiet). Its callback
// also turns a stop signal (signals.hpp) into the solver's stop request, so that the run ends at
// its next iteration with the current point reported and saved as usual.

#include <chrono>

#include "kavro/solver.hpp"

namespace kavro::app {

class Progress {
 public:
  explicit Progress(bool enabled);
  ~Progress();
  // The callback to hand to the solver; it also reports an interrupt as a stop request.
  IterationCallback callback();
  // Clears the line after a run.
  void done();

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_, last_;
};

}  // namespace kavro::app
