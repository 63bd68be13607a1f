#include <gtest/gtest.h>

#include <csignal>

#include "progress.hpp"
#include "signals.hpp"

namespace kavro::app {
namespace {

// Ctrl-C, SIGTERM and SIGHUP must end a run through the solver's stop request (so the point is
// still reported and the files written), and a second stop signal must not be caught again.
// Each signal runs in a child process, since the first one is remembered for the process's life.
TEST(CommandInterrupt, FirstStopSignalBecomesAStopRequestAndTheSecondIsNotCaught) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signalName(signal));
    EXPECT_EXIT(
        {
          watchStopSignals();
          Progress progress(false);
          const IterationCallback callback = progress.callback();
          const IterationLogEntry entry{};
          if (callback(entry) != 0 || stopRequested()) std::_Exit(10);
          std::raise(signal);
          if (callback(entry) != 2 || stopSignal() != signal || *stopFlag() != signal) std::_Exit(11);
          for (int s : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction now {};
            sigaction(s, nullptr, &now);
            if (now.sa_handler != SIG_DFL) std::_Exit(12);
          }
          std::raise(SIGTERM);
          std::_Exit(13);
        },
        ::testing::KilledBySignal(SIGTERM), "");
  }
}

}  // namespace
}  // namespace kavro::app
