#pragma once
// Five accumulating processor-time clocks of a run:
//   1 "for MPS input", 2 "for solving problem", 3 "for solution output",
//   4 "for constraint functions", 5 "for objective function".
// They count only while "Timing level" is above 0.

#include <array>
#include <cstddef>

namespace kavro {

struct ReportChannels;

class Timers {
 public:
  static constexpr int kMpsInput = 1, kSolve = 2, kSolutionOutput = 3, kConstraints = 4, kObjective = 5;

  void setEnabled(bool enabled) { enabled_ = enabled; }
  bool enabled() const { return enabled_; }

  // The timer operation: k > 0 starts clock k, k < 0 stops clock -k and adds the interval,
  // k = 0 with print = 0 resets all clocks. Then print = 1 prints "Last time" of clock k,
  // 2 "Time" (its total), 3 "Mean time"; with k = 0 all five clocks are printed.
  void operate(int k, int print, const ReportChannels& out);

  // An interval measured before the run starts (the MPS input of a stand-alone run): it is
  // added to clock k when the run resets the clocks.
  void recordBeforeRun(int k, double seconds) { pending_[static_cast<std::size_t>(k)] += seconds; }

  double total(int k) const { return clocks_[static_cast<std::size_t>(k)].total; }
  int intervals(int k) const { return clocks_[static_cast<std::size_t>(k)].count; }

 private:
  struct Clock {
    double start = 0.0, total = 0.0, last = 0.0;
    int count = 0;
  };
  void printClock(int k, int print, const ReportChannels& out) const;
  std::array<Clock, 6> clocks_{};
  std::array<double, 6> pending_{};
  bool enabled_ = false;
};

// Processor time of this process in seconds; negative when no clock is available.
double processorSeconds();
// Processor time of the calling thread: what one solve has used, whatever other threads do.
double threadProcessorSeconds();

}  // namespace kavro
