// The block bests of the weighted pricing against a scan of every variable, after changes that
// are reported and after bound flips that are not.

#include "optimizer/candidate_blocks.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace kavro {
namespace {

struct Scores {
  std::vector<int32_t> hs;
  std::vector<double> d, w;
  CandidateScores view() const { return CandidateScores{hs.data(), d.data(), w.data()}; }
};

// The best of all variables whose measure exceeds tol, ties to the lowest index; count: how many.
int32_t bruteForce(const Scores& s, double tol, int32_t& count) {
  BestCandidate best;
  count = 0;
  for (int32_t j = 0; j < static_cast<int32_t>(s.hs.size()); ++j) {
    const double m = scoreMeasure(s.view(), j);
    if (!(m > tol)) continue;
    ++count;
    best.offer(j, m, s.w[static_cast<size_t>(j)]);
  }
  return best.j;
}

void randomize(Scores& s, int32_t j, std::mt19937& rng) {
  std::uniform_real_distribution<double> d(-1.0, 1.0), w(0.5, 4.0);
  const int32_t states[] = {0, 0, 1, -1, 3, 4};
  s.hs[static_cast<size_t>(j)] = states[rng() % 6];
  // Coarse values, so that equal scores (ties) happen.
  s.d[static_cast<size_t>(j)] = std::round(d(rng) * 8.0) / 8.0;
  s.w[static_cast<size_t>(j)] = std::round(w(rng));
}

TEST(CandidateBlocks, ChooseAsAFullScanAfterEachRoundOfChanges) {
  const double tol = 0.1;
  for (int32_t n : {1, 63, 64, 1000}) {
    SCOPED_TRACE(n);
    std::mt19937 rng(static_cast<unsigned>(n));
    Scores s{std::vector<int32_t>(static_cast<size_t>(n)), std::vector<double>(static_cast<size_t>(n)),
             std::vector<double>(static_cast<size_t>(n))};
    for (int32_t j = 0; j < n; ++j) randomize(s, j, rng);
    CandidateBlocks blocks;
    blocks.size(n);
    std::vector<int32_t> above(static_cast<size_t>(n));
    const int32_t count = gatherCandidates(s.view(), 0, n, tol, above.data());
    int32_t want = 0;
    EXPECT_EQ(blocks.rebuild(s.view(), tol, above.data(), count), bruteForce(s, tol, want));
    EXPECT_EQ(count, want);
    for (int round = 0; round < 50; ++round) {
      // A few reported changes: too many would give the blocks up.
      for (int k = 0; k < 3; ++k) {
        const int32_t j = static_cast<int32_t>(rng() % static_cast<unsigned>(n));
        randomize(s, j, rng);
        blocks.markStale(j);
      }
      if (!blocks.kept()) break;
      int32_t got = 0;
      const int32_t chosen = blocks.choose(s.view(), got);
      ASSERT_EQ(chosen, bruteForce(s, tol, want)) << "round " << round;
      EXPECT_EQ(got, want) << "round " << round;
    }
  }
}

TEST(CandidateBlocks, ABestMovedToItsOtherBoundUnreportedIsReplaced) {
  const int32_t n = 200;
  const double tol = 0.1;
  Scores s{std::vector<int32_t>(n, 0), std::vector<double>(n, -0.5), std::vector<double>(n, 1.0)};
  s.d[70] = -2.0;   // the best of all, in the second block
  s.d[100] = -1.5;  // the best after it, in the same block
  CandidateBlocks blocks;
  blocks.size(n);
  std::vector<int32_t> above(n);
  const int32_t count = gatherCandidates(s.view(), 0, n, tol, above.data());
  ASSERT_EQ(blocks.rebuild(s.view(), tol, above.data(), count), 70);
  s.hs[70] = 1;  // at its upper bound a negative reduced cost no longer prices out
  int32_t got = 0;
  EXPECT_EQ(blocks.choose(s.view(), got), 100);
  EXPECT_EQ(got, n - 1);
}

TEST(CandidateBlocks, GivenUpWhenHalfTheBlocksAreStaleAndNotBuiltForAWhileAfter) {
  const int32_t n = 640;  // 10 blocks
  Scores s{std::vector<int32_t>(n, 0), std::vector<double>(n, -1.0), std::vector<double>(n, 1.0)};
  CandidateBlocks blocks;
  blocks.size(n);
  std::vector<int32_t> above(n);
  const int32_t count = gatherCandidates(s.view(), 0, n, 0.1, above.data());
  ASSERT_TRUE(blocks.worthBuilding());
  blocks.rebuild(s.view(), 0.1, above.data(), count);
  for (int32_t b = 0; b < 5; ++b) blocks.markStale(b * CandidateBlocks::kBlock);
  EXPECT_TRUE(blocks.kept());
  blocks.markStale(5 * CandidateBlocks::kBlock);
  EXPECT_FALSE(blocks.kept());
  // Given up before any choice used them: the next full scan does not build them.
  EXPECT_FALSE(blocks.worthBuilding());
  EXPECT_TRUE(blocks.worthBuilding());
  // Used once, then given up: built again at once.
  blocks.rebuild(s.view(), 0.1, above.data(), count);
  int32_t got = 0;
  blocks.choose(s.view(), got);
  for (int32_t b = 0; b < 6; ++b) blocks.markStale(b * CandidateBlocks::kBlock);
  EXPECT_FALSE(blocks.kept());
  EXPECT_TRUE(blocks.worthBuilding());
}

}  // namespace
}  // namespace kavro
