#include "driver/strategy/divergence_watch.hpp"

namespace kavro {

bool DivergenceWatch::diverged(const IterationLogEntry& e) {
  if (fired_) return true;
  if (e.kind != kMajorLine) return false;
  const double v = e.feasibility;
  if (!(v >= 0.0)) return false;  // no measure on this line
  if (best_ < 0.0 || v < best_) {
    best_ = v;
    bestMajor_ = e.majorItn;
  }
  if (v <= kFactor * best_ || v <= kFloor) lastNearBest_ = e.majorItn;
  if (e.majorItn - lastNearBest_ < kWindow) return false;
  fired_ = true;
  stopMajor_ = e.majorItn;
  return true;
}

}  // namespace kavro
