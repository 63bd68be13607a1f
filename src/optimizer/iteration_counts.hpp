#pragma once
// The counters of a run of the main loop, and the test that ends a run whose objective no
// longer changes.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace kavro {

struct IterationCounts {
  int32_t itn = 0;               // every iteration of the run (the log's "Itn")
  int32_t major = 0;             // major iterations started (1 without nonlinear constraints)
  int32_t minor = 0;             // minor iterations of the current major iteration
  int32_t feasibleMinor = 0;     // of those, the ones made while feasible
  int32_t infeasibleJudged = 0;  // infeasible minor iterations already judged in this major one
  int32_t degenerate = 0;        // steps raised to the anti-degeneracy minimum in this major one
};

// The objective (or, infeasible, the sum of infeasibilities) unchanged to within eps^0.67
// relative for min(max(1000, m), 10000) iterations in a row ends the run.
class StallWatch {
 public:
  explicit StallWatch(int32_t m) : limit_(std::min(std::max(1000, m), 10000)) {}
  // f after an iteration; true when the limit is reached.
  bool stalled(double f, double eps1) {
    bool stalled = false;
    if (havePrevious_ && std::fabs(previous_ - f) <= (std::fabs(f) + 1.0) * eps1) stalled = ++count_ >= limit_;
    else count_ = 0;
    previous_ = f;
    havePrevious_ = true;
    return stalled;
  }
  int32_t count() const { return count_; }

 private:
  int32_t count_ = 0;
  const int32_t limit_;
  double previous_ = 0.0;
  bool havePrevious_ = false;
};

}  // namespace kavro
