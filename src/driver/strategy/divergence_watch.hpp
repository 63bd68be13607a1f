#pragma once
// Watches the major iterations of a run that the solve strategy may repeat with other settings.
// A run whose nonlinear constraints have stayed far from the best violation it reached, for many
// major iterations, has usually run away (the penalty too small for the model): it is stopped
// so that the repeat gets the time instead of the major iterations limit taking it all.
// Measured on optctrl6: its violation, 2.7e-3 at best (major 30), stays between 0.02 and 1 while
// the objective grows to 1e9; left alone the run takes 500 majors and 6.4 s, stopped at major 140
// the tenfold penalty solves it in 1.3 s in all.

#include <cstdint>

#include "kavro/solver.hpp"

namespace kavro {

class DivergenceWatch {
 public:
  // Major iterations the violation may stay above kFactor times its best (and above kFloor,
  // so that a run creeping along near feasibility is left alone) before the stop.
  static constexpr int32_t kWindow = 100;
  static constexpr double kFactor = 10.0;
  static constexpr double kFloor = 1.0e-3;

  // Takes every log entry; true once the run should stop (from the major line that decides it).
  bool diverged(const IterationLogEntry& e);

  bool fired() const { return fired_; }
  int32_t stopMajor() const { return stopMajor_; }
  double bestViolation() const { return best_; }
  int32_t bestMajor() const { return bestMajor_; }

 private:
  bool fired_ = false;
  double best_ = -1.0;
  int32_t bestMajor_ = 0;
  int32_t lastNearBest_ = 0;
  int32_t stopMajor_ = 0;
};

}  // namespace kavro
