#pragma once
// The row singletons of the active submatrix that the Markowitz search knows to fail.
//
// The search takes the first row singleton (in count-list order) whose entry passes the
// stability test. Under threshold partial or rook pivoting a singleton that fails keeps failing
// until its column changes: its entry and the column maximum are all the test reads. On some
// bases (a bump entered through many row singletons on long columns) over a hundred singletons
// fail at every step, and looking at each of them every time cost most of the factorization.
//
// The watch gives every row singleton a state: pending (to be looked at) or failed (kept in a
// list per column, since a change of the column makes it pending again). The search passes the
// failed ones by with a test of their state, and all of them at once when none is pending; it
// counts them as examined either way, so that it stops exactly where a full scan would.
//
// The pending ones are also kept in a list of their own. When they are few next to the row
// singletons in the count list, the search takes them in count-list order from that list instead
// of walking the count list past the failed ones, which on those bases are most of it.

#include <cstdint>

namespace kavro::lu::detail {

class SingletonWatch {
 public:
  static constexpr int64_t workSize(int64_t m, int64_t n) { return 6 * m + n; }

  // Work arrays: workSize(m, n) entries (LuStorage::singletonLists). on: the rule is threshold
  // partial or rook pivoting; otherwise every call does nothing.
  void start(int32_t* work, int32_t m, int32_t n, bool on) {
    on_ = on;
    pendingCount_ = 0;
    if (!on_) return;
    state_ = work;
    failColumn_ = work + m;
    failPrev_ = work + 2 * m;
    failNext_ = work + 3 * m;
    pending_ = work + 4 * m;
    pendingSlot_ = work + 5 * m;
    failHead_ = work + 6 * m;
    for (int32_t i = 0; i < m; ++i) state_[i] = kNone;
    for (int32_t j = 0; j < n; ++j) failHead_[j] = -1;
  }
  bool on() const { return on_; }

  // Row i's count has become 1 (from 0 or 2).
  void rowBecameSingleton(int32_t i) {
    if (!on_) return;
    addPending(i);
  }
  // Row i's count is no longer 1 (it became 0 or 2, or the row was pivoted).
  void rowLeftSingletons(int32_t i) {
    if (!on_) return;
    if (state_[i] == kPending) removePending(i);
    else if (state_[i] == kFailed) unlink(i);
    state_[i] = kNone;
  }
  // Column j changed: the singletons that failed in it must be looked at again.
  void columnChanged(int32_t j) {
    if (!on_) return;
    for (int32_t i = failHead_[j]; i >= 0; i = failNext_[i]) addPending(i);
    failHead_[j] = -1;
  }

  // For the search.
  bool anyPending() const { return pendingCount_ > 0; }
  int32_t pendingCount() const { return pendingCount_; }
  bool knownToFail(int32_t i) const { return state_[i] == kFailed; }
  // The pending singleton that comes first in the count list (position[i] is row i's place there).
  int32_t firstPending(const int32_t* position) const {
    int32_t first = pending_[0];
    for (int32_t k = 1; k < pendingCount_; ++k)
      if (position[pending_[k]] < position[first]) first = pending_[k];
    return first;
  }
  // The pending singleton i failed in column j.
  void failed(int32_t i, int32_t j) {
    removePending(i);
    state_[i] = kFailed;
    failColumn_[i] = j;
    failPrev_[i] = -1;
    failNext_[i] = failHead_[j];
    if (failHead_[j] >= 0) failPrev_[failHead_[j]] = i;
    failHead_[j] = i;
  }

 private:
  enum : int32_t { kNone = 0, kPending = 1, kFailed = 2 };

  void addPending(int32_t i) {
    state_[i] = kPending;
    pendingSlot_[i] = pendingCount_;
    pending_[pendingCount_++] = i;
  }
  void removePending(int32_t i) {
    const int32_t last = pending_[--pendingCount_];
    pending_[pendingSlot_[i]] = last;
    pendingSlot_[last] = pendingSlot_[i];
  }
  void unlink(int32_t i) {
    const int32_t prev = failPrev_[i], next = failNext_[i];
    if (prev >= 0) failNext_[prev] = next;
    else failHead_[failColumn_[i]] = next;
    if (next >= 0) failPrev_[next] = prev;
  }

  bool on_ = false;
  int32_t pendingCount_ = 0;
  int32_t* state_ = nullptr;
  int32_t* failColumn_ = nullptr;
  int32_t* failPrev_ = nullptr;
  int32_t* failNext_ = nullptr;
  int32_t* pending_ = nullptr;
  int32_t* pendingSlot_ = nullptr;
  int32_t* failHead_ = nullptr;
};

}  // namespace kavro::lu::detail
