#include "driver/strategy/run_budget.hpp"

#include "io/timers.hpp"
#include "specs/specs.hpp"

namespace kavro {

namespace {

// A limit the caller set, or -1 when the option was left unset.
int64_t callerLimit(int32_t value) { return value == kUndefinedInt || value < 0 ? -1 : value; }

}  // namespace

RunBudget::RunBudget(const Parameters& callerSet)
    : timeLimit_(callerSet.timeLimit > 0.0 ? callerSet.timeLimit : 0.0),
      start_(threadProcessorSeconds()),
      lastLook_(std::chrono::steady_clock::now()),
      iterationLimit_(callerLimit(callerSet.iterationLimit)),
      majorLimit_(callerLimit(callerSet.majorIterationsLimit)) {}

bool RunBudget::timeUp() {
  if (timeLimit_ <= 0.0) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastLook_ < kLookInterval) return false;
  lastLook_ = now;
  return timeUpNow();
}

bool RunBudget::timeUpNow() const { return timeLimit_ > 0.0 && threadProcessorSeconds() - start_ >= timeLimit_; }

void RunBudget::spend(const SolveResult& r) {
  iterations_ += r.minorIterations;
  majors_ += r.majorIterations;
}

bool RunBudget::iterationsLeft() const {
  return (iterationLimit_ < 0 || iterations_ < iterationLimit_) && (majorLimit_ < 0 || majors_ < majorLimit_);
}

void RunBudget::leaveRemainder(Parameters& p, const ReportChannels& out) const {
  int errors = 0;
  if (iterationLimit_ >= 0) setSpecsInteger(p, "Iterations limit", iterationLimit_ - iterations_, out, errors);
  if (majorLimit_ >= 0) setSpecsInteger(p, "Major iterations", majorLimit_ - majors_, out, errors);
}

}  // namespace kavro
