#include <gtest/gtest.h>

#include <csignal>

#include "progress.hpp"

namespace kavro::app {
namespace {

// Ctrl-C must end a run through the solver's stop request (so the point is still reported),
// and a second Ctrl-C must not be caught again.
TEST(CommandInterrupt, FirstCtrlCBecomesAStopRequestAndTheSecondIsNotCaught) {
  Progress progress(false);
  const IterationCallback callback = progress.callback();
  ASSERT_TRUE(callback);
  const IterationLogEntry entry{};
  EXPECT_EQ(callback(entry), 0);
  std::raise(SIGINT);
  EXPECT_EQ(callback(entry), 2);
  struct sigaction now {};
  sigaction(SIGINT, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

}  // namespace
}  // namespace kavro::app
