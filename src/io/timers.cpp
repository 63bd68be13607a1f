#include "io/timers.hpp"

#include <ctime>

#include "io/units.hpp"

namespace kavro {

namespace {
const char* const kLabels[] = {"",
                               "for MPS input",
                               "for solving problem",
                               "for solution output",
                               "for constraint functions",
                               "for objective function"};
}

namespace {

double clockSeconds(clockid_t clock) {
  timespec ts{};
  if (clock_gettime(clock, &ts) != 0) return -1.0;
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

}  // namespace

double processorSeconds() { return clockSeconds(CLOCK_PROCESS_CPUTIME_ID); }
double threadProcessorSeconds() { return clockSeconds(CLOCK_THREAD_CPUTIME_ID); }

void Timers::operate(int k, int print, const ReportChannels& out) {
  if (!enabled_) return;
  if (k > 5 || k < -5) return;
  const double now = processorSeconds();
  if (k > 0) {
    clocks_[k].start = now;
  } else if (k < 0) {
    Clock& c = clocks_[-k];
    c.last = now - c.start;
    c.total += c.last;
    ++c.count;
  } else if (print == 0) {
    clocks_ = {};
    for (size_t i = 1; i < pending_.size(); ++i) {
      if (pending_[i] <= 0.0) continue;
      clocks_[i].total = clocks_[i].last = pending_[i];
      clocks_[i].count = 1;
    }
    pending_ = {};
    // A clock that cannot be read switches timing off for the run.
    if (now < 0.0) enabled_ = false;
    return;
  }
  if (print == 0) return;
  if (k == 0) {
    out.print("%s", "");
    out.summary("%s", "");
    for (int i = 1; i <= 5; ++i) printClock(i, print, out);
  } else {
    printClock(k < 0 ? -k : k, print, out);
  }
}

void Timers::printClock(int k, int print, const ReportChannels& out) const {
  const Clock& c = clocks_[k];
  const char* caption = print == 1 ? "Last time" : print == 2 ? "Time" : "Mean time";
  double value = print == 1 ? c.last : print == 2 ? c.total : (c.count > 0 ? c.total / c.count : 0.0);
  out.both(" %-9s %-25s %10.2f seconds", caption, kLabels[k], value);
}

}  // namespace kavro
