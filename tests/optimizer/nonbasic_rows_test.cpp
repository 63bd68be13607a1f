// The row copy that keeps each row's nonbasic entries first: after any sequence of basis changes
// its nonbasic parts must hold exactly the entries of the nonbasic columns, with their values.

#include "optimizer/nonbasic_rows.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

#include "random_problem.hpp"

namespace kavro {
namespace {

using Entry = std::tuple<int32_t, int32_t, double>;  // row, column, value

// Every row's two parts against the entries of the matrix split by the states.
void expectSplit(const NonbasicRows& rows, const SparseMatrix& a, int32_t m, const std::vector<int32_t>& hs) {
  std::vector<Entry> wantNonbasic, wantBasic, gotNonbasic, gotBasic;
  for (int32_t j = 0; j < a.columns(); ++j)
    for (int32_t k = a.colStart[static_cast<size_t>(j)]; k < a.colStart[static_cast<size_t>(j) + 1]; ++k) {
      const Entry e{a.row[static_cast<size_t>(k)], j, a.value[static_cast<size_t>(k)]};
      (hs[static_cast<size_t>(j)] == kBasic ? wantBasic : wantNonbasic).push_back(e);
    }
  for (int32_t i = 0; i < m; ++i) {
    for (int32_t k = rows.begin(i); k < rows.begin(i + 1); ++k)
      (k < rows.nonbasicEnd(i) ? gotNonbasic : gotBasic).emplace_back(i, rows.column()[k], rows.value()[k]);
  }
  for (auto* v : {&wantNonbasic, &wantBasic, &gotNonbasic, &gotBasic}) std::sort(v->begin(), v->end());
  EXPECT_EQ(gotNonbasic, wantNonbasic);
  EXPECT_EQ(gotBasic, wantBasic);
  EXPECT_EQ(rows.nonbasicNonzeros(), static_cast<int64_t>(wantNonbasic.size()));
}

TEST(NonbasicRows, PartsFollowEveryBasisChange) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    const int32_t m = 12, n = 30;
    const SparseMatrix a = test_support::randomProblem(m, n, 0.25, seed).a;
    std::vector<int32_t> hs(static_cast<size_t>(n + m), kAtLower);
    NonbasicRows rows;
    rows.build(a, m);
    expectSplit(rows, a, m, hs);
    // Some columns basic at once, as a new framework finds them.
    std::mt19937 rng(seed);
    for (int32_t j = 0; j < n; ++j)
      if (rng() % 3 == 0) hs[static_cast<size_t>(j)] = kBasic;
    rows.partition(hs.data());
    expectSplit(rows, a, m, hs);
    // Then one column in and one out per step; slacks (j >= n) change nothing in the copy.
    for (int step = 0; step < 200; ++step) {
      const int32_t in = static_cast<int32_t>(rng() % static_cast<unsigned>(n + m));
      const int32_t out = static_cast<int32_t>(rng() % static_cast<unsigned>(n + m));
      if (hs[static_cast<size_t>(in)] == kBasic || hs[static_cast<size_t>(out)] != kBasic) continue;
      rows.enter(in);
      rows.leave(out);
      hs[static_cast<size_t>(in)] = kBasic;
      hs[static_cast<size_t>(out)] = kAtUpper;
    }
    expectSplit(rows, a, m, hs);
    // Partitioning again for the same states moves nothing out of place; for others it reorders.
    rows.partition(hs.data());
    expectSplit(rows, a, m, hs);
    std::fill(hs.begin(), hs.end(), kAtLower);
    rows.partition(hs.data());
    expectSplit(rows, a, m, hs);
  }
}

}  // namespace
}  // namespace kavro
