// The watch over row singletons against a plain model of their states: a singleton that is
// missing from the pending ones would be skipped by the search and change the pivot order.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "lu/lu_singletons.hpp"

namespace kavro::lu::detail {
namespace {

enum class State { kNone, kPending, kFailed };

struct Model {
  std::vector<State> state;
  std::vector<int32_t> failColumn;
};

// Random sequences of the calls the factorization makes, each only where it would make it,
// checked after every call: which rows are pending, which known to fail, and the first pending
// one under a count-list order that is shuffled as the factorization's swaps shuffle it.
TEST(SingletonWatch, PendingRowsFollowEveryChangeOfState) {
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 gen(seed);
    const int32_t m = 5 + static_cast<int32_t>(gen() % 40), n = 1 + static_cast<int32_t>(gen() % 8);
    std::vector<int32_t> work(static_cast<size_t>(SingletonWatch::workSize(m, n)), -7);
    SingletonWatch w;
    w.start(work.data(), m, n, true);
    Model model{std::vector<State>(m, State::kNone), std::vector<int32_t>(m, -1)};
    std::vector<int32_t> position(m);
    std::iota(position.begin(), position.end(), 0);

    for (int32_t step = 0; step < 3000; ++step) {
      const int32_t i = static_cast<int32_t>(gen() % m);
      const int32_t j = static_cast<int32_t>(gen() % n);
      switch (gen() % 5) {
        case 0:
          if (model.state[i] != State::kNone) break;
          w.rowBecameSingleton(i);
          model.state[i] = State::kPending;
          break;
        case 1:
          if (model.state[i] == State::kNone) break;
          w.rowLeftSingletons(i);
          model.state[i] = State::kNone;
          break;
        case 2:
          if (model.state[i] != State::kPending) break;
          w.failed(i, j);
          model.state[i] = State::kFailed;
          model.failColumn[i] = j;
          break;
        case 3:
          w.columnChanged(j);
          for (int32_t r = 0; r < m; ++r)
            if (model.state[r] == State::kFailed && model.failColumn[r] == j) model.state[r] = State::kPending;
          break;
        default: std::swap(position[i], position[gen() % m]); break;
      }
      int32_t pending = 0, first = -1;
      for (int32_t r = 0; r < m; ++r) {
        ASSERT_EQ(w.knownToFail(r), model.state[r] == State::kFailed) << "row " << r << " step " << step;
        if (model.state[r] != State::kPending) continue;
        ++pending;
        if (first < 0 || position[r] < position[first]) first = r;
      }
      ASSERT_EQ(w.pendingCount(), pending) << "step " << step;
      ASSERT_EQ(w.anyPending(), pending > 0);
      if (pending > 0) {
        ASSERT_EQ(w.firstPending(position.data()), first) << "step " << step;
      }
    }
  }
}

}  // namespace
}  // namespace kavro::lu::detail
