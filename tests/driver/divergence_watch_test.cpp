// The solve strategy's watch for runs that have run away: the violation must stay above ten times
// its best, and above the floor, for the whole window before the run is stopped.

#include "driver/strategy/divergence_watch.hpp"

#include <gtest/gtest.h>

namespace kavro {
namespace {

IterationLogEntry majorLine(int32_t major, double feasibility) {
  IterationLogEntry e;
  e.kind = kMajorLine;
  e.majorItn = major;
  e.feasibility = feasibility;
  return e;
}

// Feeds majors first..last with the given violation; returns the major that stopped the run (0: none).
int32_t feed(DivergenceWatch& w, int32_t first, int32_t last, double feasibility) {
  for (int32_t k = first; k <= last; ++k)
    if (w.diverged(majorLine(k, feasibility))) return k;
  return 0;
}

TEST(DivergenceWatch, StopsAfterTheWindowFarFromTheBest) {
  DivergenceWatch w;
  EXPECT_EQ(feed(w, 1, 30, 2.7e-3), 0);
  EXPECT_EQ(feed(w, 31, 200, 0.5), 130);  // 100 majors after the last one near the best
  EXPECT_TRUE(w.fired());
  EXPECT_EQ(w.bestMajor(), 1);
  EXPECT_DOUBLE_EQ(w.bestViolation(), 2.7e-3);
  // Once stopped, every later entry (minor lines too) says so.
  IterationLogEntry minor;
  EXPECT_TRUE(w.diverged(minor));
}

TEST(DivergenceWatch, AViolationThatComesBackNearItsBestRestartsTheWindow) {
  DivergenceWatch w;
  feed(w, 1, 10, 1e-2);
  EXPECT_EQ(feed(w, 11, 100, 1.0), 0);
  EXPECT_EQ(feed(w, 101, 101, 5e-2), 0);  // within ten times the best
  EXPECT_EQ(feed(w, 102, 200, 1.0), 0);
  EXPECT_EQ(feed(w, 201, 201, 1.0), 201);
}

TEST(DivergenceWatch, RunsNearFeasibilityAndMinorLinesAreLeftAlone) {
  DivergenceWatch w;
  feed(w, 1, 13, 1.2e-9);
  EXPECT_EQ(feed(w, 14, 600, 1e-7), 0);  // 100 times the best, but below the floor
  IterationLogEntry minor;
  minor.kind = 1;
  minor.majorItn = 900;
  EXPECT_FALSE(w.diverged(minor));
  EXPECT_FALSE(w.fired());
}

}  // namespace
}  // namespace kavro
