// The limited-memory quasi-Newton model: secant property, skipped updates, and the pairs
// following the superbasic set as it grows, shrinks and is reordered.

#include <gtest/gtest.h>

#include <vector>

#include "optimizer/limited_memory_hessian.hpp"

namespace kavro {
namespace {

// Feeds a step alpha p from gradient g1 to g2 = g1 + alpha H p for the diagonal H = diag(h).
void step(LimitedMemoryHessian& m, const std::vector<double>& h, std::vector<double>& g, const std::vector<double>& p,
          double alpha) {
  std::vector<double> g2 = g;
  for (size_t j = 0; j < g.size(); ++j) g2[j] += alpha * h[j] * p[j];
  m.update(static_cast<int32_t>(g.size()), g.data(), g2.data(), p.data(), alpha);
  g = g2;
}

TEST(LimitedMemoryHessian, WithoutPairsTheDirectionIsSteepestDescent) {
  LimitedMemoryHessian m;
  m.resize(5, 10);
  const std::vector<double> rg{1.0, -2.0, 0.5};
  std::vector<double> p(3);
  m.direction(3, rg.data(), p.data());
  EXPECT_EQ(p, (std::vector<double>{-1.0, 2.0, -0.5}));
}

TEST(LimitedMemoryHessian, TheNewestPairSatisfiesTheSecantEquation) {
  LimitedMemoryHessian m;
  m.resize(3, 10);
  const std::vector<double> h{1.0, 4.0, 9.0, 2.0};
  // Steepest-descent steps (each a descent direction, so each pair is kept).
  std::vector<double> g{1.0, -2.0, 0.5, 3.0};
  std::vector<double> last(4);
  for (double alpha : {0.10, 0.12, 0.15}) {  // each long enough for the curvature test (h >= 1)
    std::vector<double> p(4);
    for (size_t j = 0; j < 4; ++j) p[j] = -g[j];
    for (size_t j = 0; j < 4; ++j) last[j] = alpha * p[j];
    step(m, h, g, p, alpha);
  }
  ASSERT_EQ(m.pairs(), 3);
  // H y = s for the newest pair: direction(y) = -s.
  const std::vector<double> s = last;
  std::vector<double> y(4), p(4);
  for (size_t j = 0; j < 4; ++j) y[j] = h[j] * s[j];
  m.direction(4, y.data(), p.data());
  for (size_t j = 0; j < 4; ++j) EXPECT_NEAR(p[j], -s[j], 1e-12);
}

TEST(LimitedMemoryHessian, AStepWithoutEnoughCurvatureIsNotKept) {
  LimitedMemoryHessian m;
  m.resize(3, 4);
  const std::vector<double> g1{1.0, 0.0}, p{-1.0, 0.0};
  // a = g1'p = -1; c = 0.91 a exactly is skipped, just above is kept.
  const std::vector<double> skipped{0.91, 0.0};
  EXPECT_EQ(m.update(2, g1.data(), skipped.data(), p.data(), 1.0), 0);
  EXPECT_EQ(m.pairs(), 0);
  const std::vector<double> kept{0.9, 0.0};
  EXPECT_EQ(m.update(2, g1.data(), kept.data(), p.data(), 1.0), 1);
  EXPECT_EQ(m.pairs(), 1);
}

TEST(LimitedMemoryHessian, PairsFollowTheSuperbasicSet) {
  // Three superbasics, two pairs; then a fourth joins, the second leaves and two swap places: the
  // model must equal one built directly on the final coordinates.
  const std::vector<double> h{2.0, 3.0, 5.0};
  LimitedMemoryHessian m;
  m.resize(4, 8);
  std::vector<double> g{1.0, -1.0, 0.5};
  step(m, h, g, {-1.0, 1.0, -0.5}, 0.4);
  step(m, h, g, {0.3, 0.6, -0.2}, 0.9);
  m.addColumn(4);        // superbasic 3 is new: zero in every pair
  m.deleteColumn(1, 4);  // superbasic 1 leaves: coordinates 0, 2, 3 remain
  m.swapColumns(0, 2);   // order 3, 2, 0

  LimitedMemoryHessian direct;
  direct.resize(4, 8);
  // The same pairs in the coordinates (new, 2, 0): s and y of each step restricted and reordered.
  auto feed = [&](const std::vector<double>& full, const std::vector<double>& p, double alpha,
                  const std::vector<double>& gNext) {
    const std::vector<double> g1r{0.0, full[2], full[0]}, g2r{0.0, gNext[2], gNext[0]}, pr{0.0, p[2], p[0]};
    direct.update(3, g1r.data(), g2r.data(), pr.data(), alpha);
  };
  std::vector<double> g0{1.0, -1.0, 0.5}, g1 = g0, g2;
  for (size_t j = 0; j < 3; ++j) g1[j] += 0.4 * h[j] * std::vector<double>{-1.0, 1.0, -0.5}[j];
  feed(g0, {-1.0, 1.0, -0.5}, 0.4, g1);
  g2 = g1;
  for (size_t j = 0; j < 3; ++j) g2[j] += 0.9 * h[j] * std::vector<double>{0.3, 0.6, -0.2}[j];
  feed(g1, {0.3, 0.6, -0.2}, 0.9, g2);

  const std::vector<double> rg{0.7, -0.4, 1.3};
  std::vector<double> a(3), b(3);
  m.direction(3, rg.data(), a.data());
  direct.direction(3, rg.data(), b.data());
  for (size_t j = 0; j < 3; ++j) EXPECT_NEAR(a[j], b[j], 1e-12);
}

TEST(LimitedMemoryHessian, OnlyTheLastPairsAreKept) {
  LimitedMemoryHessian m;
  m.resize(2, 4);
  const std::vector<double> h{1.0, 2.0};
  std::vector<double> g{1.0, 1.0};
  for (int k = 0; k < 5; ++k) step(m, h, g, {-1.0, -0.3 * (k + 1)}, 0.2);
  EXPECT_EQ(m.pairs(), 2);
  m.reset();
  EXPECT_EQ(m.pairs(), 0);
}

}  // namespace
}  // namespace kavro
