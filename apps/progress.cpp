#include "progress.hpp"

#include <unistd.h>

#include <cstdio>

#include "signals.hpp"

namespace kavro::app {

Progress::Progress(bool enabled) : enabled_(enabled && isatty(STDERR_FILENO)) {
  start_ = last_ = std::chrono::steady_clock::now();
}

Progress::~Progress() { done(); }

IterationCallback Progress::callback() {
  return [this](const IterationLogEntry& e) {
    if (stopRequested()) return 2;
    if (!enabled_ || e.kind == kBetweenRuns) return 0;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)) return 0;
    last_ = now;
    shown_ = true;
    if (e.ninf > 0)
      std::fprintf(stderr, "\r  itn %9d   phase %d   infeasibilities %7d   sum %14.6e   ", e.minorItn, e.phase, e.ninf,
                   e.sinf);
    else
      std::fprintf(stderr, "\r  itn %9d   phase %d   objective %22.12e            ", e.minorItn, e.phase, e.objective);
    std::fflush(stderr);
    return 0;
  };
}

void Progress::done() {
  if (!shown_) return;
  std::fprintf(stderr, "\r%78s\r", "");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace kavro::app
