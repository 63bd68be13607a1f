#pragma once
// The best candidate of each block of consecutive variables, for the weighted pricing rules
// while their reduced costs are updated step by step. A step changes the reduced costs and
// weights of the variables its pivot row touches, and the states of the two that change places;
// every other variable keeps its score. Only the blocks holding a changed variable are scanned
// again, and the choice is the best of the block bests: the same variable a scan of all of them
// would choose, ties to the lowest index included.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kavro {

// The choice among candidates: the largest d^2 / w, compared by cross-multiplying, the lowest
// index among equals. A variable outside the framework may have a projected norm below 1; it
// counts as 1.
struct BestCandidate {
  double d2 = 0.0, w = 1.0;
  int32_t j = -1;

  void offer(int32_t candidate, double d, double weight) {
    const double wj = std::max(weight, 1.0);
    const double mine = d * d * w, theirs = d2 * wj;
    if (mine > theirs || (!(theirs > mine) && candidate < j)) {
      d2 = d * d;
      w = wj;
      j = candidate;
    }
  }
};

// What a variable's score is made of: its state (0 at lower, 1 at upper, -1 between bounds,
// 2 or more: not a candidate), reduced cost and weight.
struct CandidateScores {
  const int32_t* hs = nullptr;
  const double* reducedCost = nullptr;
  const double* weight = nullptr;
};

// The variables of [first, last) whose measure exceeds tol, in order, into out; returns their
// count. Which ones do is irregular, so they are gathered without a branch per variable.
inline int32_t gatherCandidates(const CandidateScores& s, int32_t first, int32_t last, double tol, int32_t* out) {
  int32_t count = 0;
  for (int32_t j = first; j < last; ++j) {
    const int32_t h = s.hs[j];
    const double dj = s.reducedCost[j];
    double d = h == 1 ? dj : -dj;
    d = h == -1 ? std::fabs(dj) : d;
    out[count] = j;
    count += (h < 2) & (d > tol);
  }
  return count;
}

inline double scoreMeasure(const CandidateScores& s, int32_t j) {
  const int32_t h = s.hs[j];
  const double dj = s.reducedCost[j];
  if (h >= 2) return 0.0;
  return h == 0 ? -dj : (h == 1 ? dj : std::fabs(dj));
}

class CandidateBlocks {
 public:
  static constexpr int32_t kBlock = 64;

  // For variables 0 .. n-1, nothing kept. Allocates.
  void size(int32_t n) {
    n_ = n;
    const size_t blocks = static_cast<size_t>((n + kBlock - 1) / kBlock);
    best_.assign(blocks, -1);
    count_.assign(blocks, 0);
    stale_.assign(blocks, 0);
    staleList_.clear();
    staleList_.reserve(blocks);
    scratch_.assign(kBlock, 0);
    kept_ = false;
    skipBuilds_ = backoff_ = 0;
  }
  bool kept() const { return kept_; }
  double tolerance() const { return tol_; }
  void forget() { kept_ = false; }

  // Every block from the candidates of a full scan (ascending, all of them at tol); returns the
  // best of them (-1: none).
  int32_t rebuild(const CandidateScores& s, double tol, const int32_t* above, int32_t count) {
    std::fill(best_.begin(), best_.end(), -1);
    std::fill(count_.begin(), count_.end(), 0);
    for (int32_t b : staleList_) stale_[b] = 0;
    staleList_.clear();
    // Each block's best and count stay in registers until the next block starts.
    BestCandidate block;
    int32_t current = -1, inBlock = 0;
    auto flush = [&] {
      if (current < 0) return;
      best_[current] = block.j;
      count_[current] = inBlock;
    };
    for (int32_t k = 0; k < count; ++k) {
      const int32_t j = above[k], b = j / kBlock;
      if (b != current) {
        flush();
        block = BestCandidate{};
        current = b;
        inBlock = 0;
      }
      block.offer(j, scoreMeasure(s, j), s.weight[j]);
      ++inBlock;
    }
    flush();
    total_ = count;
    tol_ = tol;
    kept_ = true;
    usedSinceBuilt_ = false;
    return bestOfBlocks(s);
  }

  // j's reduced cost, weight or state has changed, or will before the next choice. Once half
  // the blocks are stale, a full scan costs no more than rescanning them: the blocks are given up.
  void markStale(int32_t j) {
    if (!kept_) return;
    const int32_t b = j / kBlock;
    if (stale_[b]) return;
    stale_[b] = 1;
    staleList_.push_back(b);
    if (2 * staleList_.size() <= best_.size()) return;
    kept_ = false;
    if (usedSinceBuilt_) return;
    backoff_ = std::min(2 * backoff_ + 1, kMostSkipped);
    skipBuilds_ = backoff_;
  }
  // Whether the next full scan should build the blocks: not for a while after blocks were given
  // up before any choice used them (pivot rows that touch most blocks every step), for longer
  // each time that happens again.
  bool worthBuilding() {
    if (skipBuilds_ == 0) return true;
    --skipBuilds_;
    return false;
  }

  // The best candidate of all (-1: none) and in count how many there are. A block whose best no
  // longer prices out (a bound flip moved it to its other bound, which no step reports) is
  // scanned again: such a change never makes another variable a candidate.
  int32_t choose(const CandidateScores& s, int32_t& count) {
    for (int32_t b : staleList_) {
      stale_[b] = 0;
      rescan(s, b);
    }
    staleList_.clear();
    usedSinceBuilt_ = true;
    backoff_ = 0;
    const int32_t best = bestOfBlocks(s);  // may rescan blocks, which updates the count
    count = total_;
    return best;
  }

 private:
  int32_t bestOfBlocks(const CandidateScores& s) {
    BestCandidate best;
    for (int32_t b = 0; b < static_cast<int32_t>(best_.size()); ++b) {
      int32_t j = best_[b];
      if (j < 0) continue;
      if (!(scoreMeasure(s, j) > tol_)) {
        rescan(s, b);
        j = best_[b];
        if (j < 0) continue;
      }
      best.offer(j, scoreMeasure(s, j), s.weight[j]);
    }
    return best.j;
  }

  void rescan(const CandidateScores& s, int32_t b) {
    const int32_t first = b * kBlock, last = std::min(n_, first + kBlock);
    const int32_t count = gatherCandidates(s, first, last, tol_, scratch_.data());
    BestCandidate block;
    for (int32_t k = 0; k < count; ++k) {
      const int32_t j = scratch_[k];
      block.offer(j, scoreMeasure(s, j), s.weight[j]);
    }
    total_ += count - count_[b];
    count_[b] = count;
    best_[b] = block.j;
  }

  int32_t n_ = 0;
  std::vector<int32_t> best_, count_;  // by block: its best candidate (-1: none), their number
  std::vector<uint8_t> stale_;         // by block
  std::vector<int32_t> staleList_, scratch_;
  static constexpr int32_t kMostSkipped = 63;
  int32_t total_ = 0;
  int32_t skipBuilds_ = 0, backoff_ = 0;
  double tol_ = 0.0;
  bool kept_ = false;
  bool usedSinceBuilt_ = false;
};

}  // namespace kavro
