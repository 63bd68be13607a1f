#include "optimizer/reduced_hessian.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "specs/parameters.hpp"

namespace kavro {
namespace {

using Vec = std::vector<double>;

// Dense square matrix, row-major, for the reference computations.
struct Dense {
  int n = 0;
  Vec a;
  explicit Dense(int size) : n(size), a(static_cast<size_t>(size * size), 0.0) {}
  double& operator()(int i, int j) { return a[static_cast<size_t>(i * n + j)]; }
  double operator()(int i, int j) const { return a[static_cast<size_t>(i * n + j)]; }
};

// x y, or x' y when transposeX.
Dense product(const Dense& x, const Dense& y, bool transposeX = false) {
  Dense c(x.n);
  for (int i = 0; i < x.n; ++i)
    for (int j = 0; j < x.n; ++j)
      for (int k = 0; k < x.n; ++k) c(i, j) += (transposeX ? x(k, i) : x(i, k)) * y(k, j);
  return c;
}

Dense transposeTimes(const Dense& x, const Dense& y) { return product(x, y, true); }

Vec times(const Dense& x, const Vec& v) {
  Vec c(static_cast<size_t>(x.n), 0.0);
  for (int i = 0; i < x.n; ++i)
    for (int k = 0; k < x.n; ++k) c[static_cast<size_t>(i)] += x(i, k) * v[static_cast<size_t>(k)];
  return c;
}

double dot(const Vec& x, const Vec& y) {
  double s = 0.0;
  for (size_t i = 0; i < x.size(); ++i) s += x[i] * y[i];
  return s;
}

// Solves x b = rhs for a general square matrix by Gaussian elimination with partial pivoting.
Vec solveDense(Dense m, Vec rhs) {
  const int n = m.n;
  for (int c = 0; c < n; ++c) {
    int piv = c;
    for (int i = c + 1; i < n; ++i)
      if (std::fabs(m(i, c)) > std::fabs(m(piv, c))) piv = i;
    for (int j = 0; j < n; ++j) std::swap(m(c, j), m(piv, j));
    std::swap(rhs[static_cast<size_t>(c)], rhs[static_cast<size_t>(piv)]);
    for (int i = c + 1; i < n; ++i) {
      const double f = m(i, c) / m(c, c);
      for (int j = c; j < n; ++j) m(i, j) -= f * m(c, j);
      rhs[static_cast<size_t>(i)] -= f * rhs[static_cast<size_t>(c)];
    }
  }
  Vec x(static_cast<size_t>(n));
  for (int i = n - 1; i >= 0; --i) {
    double s = rhs[static_cast<size_t>(i)];
    for (int j = i + 1; j < n; ++j) s -= m(i, j) * x[static_cast<size_t>(j)];
    x[static_cast<size_t>(i)] = s / m(i, i);
  }
  return x;
}

// The approximation the factor holds for ns superbasics: [R'R 0; 0 D^2].
Dense hessianOf(const ReducedHessian& h, int ns) {
  const int nR = h.order(ns);
  Dense r(ns);
  for (int i = 0; i < nR; ++i)
    for (int j = i; j < nR; ++j) r(i, j) = h.entry(i, j);
  for (int k = nR; k < ns; ++k) r(k, k) = h.diagonalBeyond(k);
  return transposeTimes(r, r);
}

// The part of a dense matrix a factor can represent: the leading block of order nR and the
// diagonal beyond it.
Dense blockDiagonalPart(const Dense& m, int nR) {
  Dense c(m.n);
  for (int i = 0; i < m.n; ++i)
    for (int j = 0; j < m.n; ++j)
      if ((i < nR && j < nR) || i == j) c(i, j) = m(i, j);
  return c;
}

void expectNear(const Dense& actual, const Dense& expected, double tol, const char* what) {
  ASSERT_EQ(actual.n, expected.n) << what;
  double scale = 1.0;
  for (double v : expected.a) scale = std::max(scale, std::fabs(v));
  for (int i = 0; i < actual.n; ++i)
    for (int j = 0; j < actual.n; ++j)
      EXPECT_NEAR(actual(i, j), expected(i, j), tol * scale) << what << " entry (" << i << "," << j << ")";
}

Vec randomVector(int n, std::mt19937& rng, double lo = -1.0, double hi = 1.0) {
  std::uniform_real_distribution<double> u(lo, hi);
  Vec v(static_cast<size_t>(n));
  for (double& x : v) x = u(rng);
  return v;
}

Dense randomSpd(int n, std::mt19937& rng) {
  Dense l(n);
  for (double& x : l.a) x = std::uniform_real_distribution<double>(-1.0, 1.0)(rng);
  Dense g = transposeTimes(l, l);
  for (int i = 0; i < n; ++i) g(i, i) += 0.5;
  return g;
}

// Direction of the reduced-gradient step: z = R^-T g1, p = -R^-1 z.
void direction(const ReducedHessian& h, int ns, const Vec& g1, Vec& z, Vec& p) {
  z = g1;
  h.solve(2, ns, z.data());
  p = z;
  h.solve(1, ns, p.data());
  for (double& x : p) x = -x;
}

// The BFGS update of the dense approximation for a step alpha p.
Dense denseBfgs(const Dense& hess, const Vec& g1, const Vec& g2, const Vec& p, double alpha) {
  const double a = dot(g1, p), c = dot(g2, p);
  Dense out = hess;
  Vec y(g1.size());
  for (size_t i = 0; i < y.size(); ++i) y[i] = g2[i] - g1[i];
  for (int i = 0; i < hess.n; ++i)
    for (int j = 0; j < hess.n; ++j) {
      const size_t si = static_cast<size_t>(i), sj = static_cast<size_t>(j);
      out(i, j) += -g1[si] * g1[sj] / (-a) + y[si] * y[sj] / ((c - a) * alpha);
    }
  return out;
}

// One BFGS step on a quadratic with Hessian g: the new gradient is g1 + alpha G p.
int bfgsStep(ReducedHessian& h, int ns, const Dense& g, double alpha, std::mt19937& rng, Dense* expected = nullptr) {
  const Vec g1 = randomVector(ns, rng);
  Vec z, p;
  direction(h, ns, g1, z, p);
  const Vec gp = times(g, p);
  Vec g2(g1.size());
  for (size_t i = 0; i < g2.size(); ++i) g2[i] = g1[i] + alpha * gp[i];
  if (expected) *expected = denseBfgs(hessianOf(h, ns), g1, g2, p, alpha);
  return h.bfgsUpdate(ns, g1.data(), g2.data(), p.data(), alpha, z.data());
}

// A general factor: the identity after a few BFGS updates.
void randomFactor(ReducedHessian& h, int ns, std::mt19937& rng) {
  for (int k = 1; k <= ns; ++k) h.addColumn(k);
  h.markForReset();
  h.reset(ns);
  const Dense g = randomSpd(ns, rng);
  for (int step = 0; step < 3; ++step) ASSERT_GT(bfgsStep(h, ns, g, 0.7, rng), 0);
}

ReducedHessian sized(int maxR, int maxS) {
  ReducedHessian h;
  EXPECT_TRUE(h.resize(maxR, maxS, MachineConstants{}));
  return h;
}

TEST(ReducedHessian, BfgsUpdateMatchesTheDenseFormula) {
  std::mt19937 rng(11);
  // A full triangle, then a triangle of order 3 with three diagonal entries beyond it.
  for (const auto& [maxR, ns] : {std::pair{6, 5}, std::pair{3, 6}, std::pair{10, 9}}) {
    ReducedHessian h = sized(maxR, 10);
    randomFactor(h, ns, rng);
    const Dense g = randomSpd(ns, rng);
    for (int step = 0; step < 6; ++step) {
      Dense expected(ns);
      EXPECT_EQ(bfgsStep(h, ns, g, 0.3 + 0.4 * step, rng, &expected), 1);
      // Beyond maxR only the diagonal of the update is kept.
      expectNear(hessianOf(h, ns), blockDiagonalPart(expected, h.order(ns)), 1e-10, "BFGS");
    }
  }
}

TEST(ReducedHessian, BfgsUpdateIsSkippedExactlyAtTheCurvatureLimit) {
  ReducedHessian h = sized(4, 4);
  h.addColumn(1);
  h.addColumn(2);
  const Vec g1{1.0, 1.0}, p{-0.5, -0.5}, z{1.0, 1.0};  // a = g1'p = -1 with R = I
  const Vec atLimit{0.91, 0.91};                       // c = -0.91 = 0.91 a exactly
  ASSERT_EQ(dot(atLimit, p), 0.91 * dot(g1, p));
  EXPECT_EQ(h.bfgsUpdate(2, g1.data(), atLimit.data(), p.data(), 1.0, z.data()), 0);
  EXPECT_EQ(h.entry(0, 0), 1.0);
  EXPECT_EQ(h.entry(0, 1), 0.0);
  EXPECT_EQ(h.entry(1, 1), 1.0);
  // The next larger c is an update.
  const double above = std::nextafter(0.91, 0.0);
  const Vec justAbove{above, above};
  ASSERT_GT(dot(justAbove, p), 0.91 * dot(g1, p));
  EXPECT_GT(h.bfgsUpdate(2, g1.data(), justAbove.data(), p.data(), 1.0, z.data()), 0);
  EXPECT_NE(h.entry(0, 0), 1.0);
  // An ascent direction or a zero step changes nothing either.
  const Dense before = hessianOf(h, 2);
  const Vec ascent{0.5, 0.5};
  EXPECT_EQ(h.bfgsUpdate(2, g1.data(), g1.data(), ascent.data(), 1.0, z.data()), 0);
  EXPECT_EQ(h.bfgsUpdate(2, g1.data(), justAbove.data(), p.data(), 0.0, z.data()), 0);
  expectNear(hessianOf(h, 2), before, 0.0, "unchanged");
}

// The approximation with superbasic k removed, as a factor of the new ordering can hold it.
Dense withoutIndex(const Dense& m, int k) {
  Dense c(m.n - 1);
  for (int i = 0, ii = 0; i < m.n; ++i) {
    if (i == k) continue;
    for (int j = 0, jj = 0; j < m.n; ++j) {
      if (j == k) continue;
      c(ii, jj++) = m(i, j);
    }
    ++ii;
  }
  return c;
}

TEST(ReducedHessian, DeleteColumnLeavesTheFactorOfTheReducedMatrix) {
  std::mt19937 rng(5);
  // Inside a full triangle, inside a triangle with superbasics beyond it (the first of them
  // moves into the triangle), and beyond the triangle.
  struct Case {
    int maxR, ns, k;
  };
  for (const Case c : {Case{6, 6, 0}, Case{6, 5, 2}, Case{6, 5, 4}, Case{4, 7, 1}, Case{4, 7, 3}, Case{4, 7, 5}}) {
    ReducedHessian h = sized(c.maxR, 8);
    randomFactor(h, c.ns, rng);
    const Dense before = hessianOf(h, c.ns);
    h.deleteColumn(c.k, c.ns);
    const Dense expected = withoutIndex(before, c.k);
    expectNear(hessianOf(h, c.ns - 1), blockDiagonalPart(expected, h.order(c.ns - 1)), 1e-12, "delete");
    for (int i = 0; i < h.order(c.ns - 1); ++i) EXPECT_NE(h.entry(i, i), 0.0);
    // The freed column is clear, so a new superbasic starts as a unit column.
    h.addColumn(c.ns);
    Dense grown = hessianOf(h, c.ns);
    EXPECT_EQ(grown(c.ns - 1, c.ns - 1), 1.0);
    for (int i = 0; i < c.ns - 1; ++i) EXPECT_EQ(grown(i, c.ns - 1), 0.0);
  }
}

TEST(ReducedHessian, MovingOutOfTheTriangleKeepsTheOwnCurvature) {
  std::mt19937 rng(41);
  ReducedHessian h = sized(3, 6);
  randomFactor(h, 6, rng);
  const Dense before = hessianOf(h, 6);
  h.moveOutOfTriangle(1, 6);
  // New order: 0, 2, 3 (which moved in), 4, 5, 1.
  const int order[] = {0, 2, 3, 4, 5, 1};
  Dense expected(6);
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) expected(i, j) = before(order[i], order[j]);
  expectNear(hessianOf(h, 6), blockDiagonalPart(expected, 3), 1e-12, "move out");
}

TEST(ReducedHessian, AMarkedFactorStaysMarkedUntilReset) {
  std::mt19937 rng(43);
  ReducedHessian h = sized(4, 6);
  randomFactor(h, 5, rng);
  h.markForReset();
  const Vec y{0.5, -0.3, 0.8, 0.2, 0.1}, g{1, 1, 1, 1, 1}, p{-1, -1, -1, -1, -1};
  EXPECT_EQ(h.exchangeUpdate(1, 5, y.data()), 0);
  EXPECT_EQ(h.bfgsUpdate(5, g.data(), y.data(), p.data(), 1.0, g.data()), 0);
  h.deleteColumn(0, 5);
  EXPECT_TRUE(h.needsReset());
  h.addColumn(5);
  EXPECT_TRUE(h.needsReset());
  EXPECT_FALSE(h.reset(5).rescaled);
  EXPECT_FALSE(h.needsReset());
}

// Null-space basis Z of a small system: columns of the superbasic variables, basic variables
// following so that A Z = 0.
Dense nullSpaceRows(const Dense& a, const std::vector<int>& basic, const std::vector<int>& superbasic, int nVars) {
  const int m = static_cast<int>(basic.size());
  Dense b(m);
  for (int i = 0; i < m; ++i)
    for (int r = 0; r < m; ++r) b(i, r) = a(i, basic[static_cast<size_t>(r)]);
  // Z is nVars x ns; held in a Dense of order nVars with the unused columns zero.
  Dense z(nVars);
  for (size_t j = 0; j < superbasic.size(); ++j) {
    Vec col(static_cast<size_t>(m));
    for (int i = 0; i < m; ++i) col[static_cast<size_t>(i)] = a(i, superbasic[j]);
    const Vec d = solveDense(b, col);
    z(superbasic[j], static_cast<int>(j)) = 1.0;
    for (int r = 0; r < m; ++r) z(basic[static_cast<size_t>(r)], static_cast<int>(j)) = -d[static_cast<size_t>(r)];
  }
  return z;
}

TEST(ReducedHessian, ExchangeUpdateFollowsTheNewNullSpaceBasis) {
  std::mt19937 rng(23);
  const int m = 3, nVars = 8;
  for (const auto& [maxR, k] : {std::pair{5, 1}, std::pair{5, 4}, std::pair{3, 0}, std::pair{3, 2}}) {
    const int ns = nVars - m;
    // Constraint matrix A (m rows, held in a Dense of order nVars).
    Dense a(nVars);
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < nVars; ++j) a(i, j) = std::uniform_real_distribution<double>(-1, 1)(rng);
    std::vector<int> basic{0, 1, 2}, superbasic{3, 4, 5, 6, 7};
    const int r = 1;  // basic position that leaves
    // Pivot row y_j = w'a_j with B'w = e_r.
    Dense bt(m);
    for (int i = 0; i < m; ++i)
      for (int c = 0; c < m; ++c) bt(i, c) = a(c, basic[static_cast<size_t>(i)]);
    Vec er(static_cast<size_t>(m), 0.0);
    er[static_cast<size_t>(r)] = 1.0;
    const Vec w = solveDense(bt, er);
    Vec y(static_cast<size_t>(ns));
    for (int j = 0; j < ns; ++j)
      for (int i = 0; i < m; ++i)
        y[static_cast<size_t>(j)] += w[static_cast<size_t>(i)] * a(i, superbasic[static_cast<size_t>(j)]);

    ReducedHessian h = sized(maxR, ns);
    randomFactor(h, ns, rng);
    const Dense before = hessianOf(h, ns);
    EXPECT_GT(h.exchangeUpdate(k, ns, y.data()), 0);

    // New sets: superbasic k enters the basis at position r; the leaving variable takes slot k.
    std::vector<int> newBasic = basic, newSuperbasic = superbasic;
    std::swap(newBasic[static_cast<size_t>(r)], newSuperbasic[static_cast<size_t>(k)]);
    const Dense zNew = nullSpaceRows(a, newBasic, newSuperbasic, nVars);
    // Z_new = Z_old M, and Z_old is the identity on the old superbasic rows.
    Dense mTrans(ns);
    for (int i = 0; i < ns; ++i)
      for (int j = 0; j < ns; ++j) mTrans(i, j) = zNew(superbasic[static_cast<size_t>(i)], j);
    Dense hb(ns);
    for (int i = 0; i < ns; ++i)
      for (int j = 0; j < ns; ++j) hb(i, j) = before(i, j);
    const Dense expected = transposeTimes(mTrans, product(hb, mTrans));
    // The triangle follows exactly; its coupling to the superbasics beyond maxR is not kept and
    // their diagonal entries are unchanged.
    const int nR = h.order(ns);
    const Dense after = hessianOf(h, ns);
    for (int i = 0; i < nR; ++i)
      for (int j = 0; j < nR; ++j) EXPECT_NEAR(after(i, j), expected(i, j), 1e-10 * (1 + std::fabs(expected(i, j))));
    for (int i = nR; i < ns; ++i) EXPECT_EQ(after(i, i), before(i, i));

    // Then the leaving variable (now superbasic k) goes to a bound and leaves the set.
    h.deleteColumn(k, ns);
    const Dense reduced = withoutIndex(expected, k);
    const int nR2 = h.order(ns - 1);
    const Dense final = hessianOf(h, ns - 1);
    for (int i = 0; i < nR2; ++i)
      for (int j = 0; j < nR2; ++j) {
        // A superbasic that moved in from beyond maxR brings only its diagonal.
        const bool movedIn = ns > maxR && (i == nR2 - 1 || j == nR2 - 1);
        if (movedIn && i != j) continue;
        const double want = movedIn ? before(maxR, maxR) : reduced(i, j);
        EXPECT_NEAR(final(i, j), want, 1e-10 * (1 + std::fabs(want)));
      }
  }
}

TEST(ReducedHessian, ExchangeIsNotMadeForOneSuperbasicOrBeyondTheTriangle) {
  std::mt19937 rng(3);
  ReducedHessian h = sized(2, 4);
  randomFactor(h, 4, rng);
  const Dense before = hessianOf(h, 4);
  const Vec y{0.5, -0.3, 0.8, 0.2};
  EXPECT_EQ(h.exchangeUpdate(2, 4, y.data()), 0);  // k beyond maxR
  EXPECT_EQ(h.exchangeUpdate(0, 1, y.data()), 0);  // a single superbasic
  const Vec zeroPivot{0.0, 1.0, 1.0, 1.0};
  EXPECT_EQ(h.exchangeUpdate(0, 4, zeroPivot.data()), 0);
  expectNear(hessianOf(h, 4), before, 0.0, "unchanged");
}

TEST(ReducedHessian, ResetGivesTheIdentityAndRescalingEqualizesTheDiagonal) {
  std::mt19937 rng(8);
  ReducedHessian h = sized(4, 6);
  EXPECT_TRUE(h.needsReset());  // a new factor must be reset before use
  randomFactor(h, 6, rng);
  ASSERT_FALSE(h.needsReset());

  const Dense before = hessianOf(h, 6);
  Vec d(4);
  for (int j = 0; j < 4; ++j) d[static_cast<size_t>(j)] = std::fabs(h.entry(j, j));
  const double dmax = *std::max_element(d.begin(), d.end()), dmin = *std::min_element(d.begin(), d.end());
  ASSERT_GT(dmax / dmin, 1.01);
  const ReducedHessian::ResetResult scaled = h.reset(6);
  EXPECT_TRUE(scaled.rescaled);
  EXPECT_NEAR(scaled.condR, dmax / dmin, 1e-14 * dmax / dmin);
  // Column j scaled by 1/sqrt(d_j): R'R becomes D^-1/2 R'R D^-1/2 on the triangle.
  const Dense after = hessianOf(h, 6);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(std::fabs(h.entry(i, i)), std::sqrt(d[static_cast<size_t>(i)]), 1e-14);
    for (int j = 0; j < 4; ++j)
      EXPECT_NEAR(after(i, j), before(i, j) / std::sqrt(d[static_cast<size_t>(i)] * d[static_cast<size_t>(j)]), 1e-12);
  }
  for (int k = 4; k < 6; ++k) EXPECT_EQ(after(k, k), before(k, k));
  EXPECT_NEAR(h.estimateCondition(6).condR, dmax / dmin, 1e-12 * dmax / dmin);

  h.markForReset();
  EXPECT_TRUE(h.needsReset());
  const ReducedHessian::ResetResult identity = h.reset(6);
  EXPECT_FALSE(identity.rescaled);
  EXPECT_EQ(identity.condR, 1.0);
  Dense eye(6);
  for (int i = 0; i < 6; ++i) eye(i, i) = 1.0;
  expectNear(hessianOf(h, 6), eye, 0.0, "identity");
  EXPECT_EQ(h.estimateCondition(6).condR, 1.0);
  // No superbasics: nothing to reset.
  EXPECT_EQ(h.reset(0).condR, 1.0);
}

TEST(ReducedHessian, DimensionOneKeepsDiagonalEntriesForTheOtherSuperbasics) {
  std::mt19937 rng(17);
  ReducedHessian h = sized(1, 5);
  for (int k = 1; k <= 4; ++k) h.addColumn(k);
  EXPECT_FALSE(h.needsReset());
  EXPECT_EQ(h.order(4), 1);
  EXPECT_EQ(h.entry(0, 0), 1.0);
  for (int k = 1; k < 4; ++k) EXPECT_EQ(h.diagonalBeyond(k), 1.0);
  const Dense g = randomSpd(4, rng);
  for (int step = 0; step < 3; ++step) {
    Dense expected(4);
    EXPECT_EQ(bfgsStep(h, 4, g, 0.5, rng, &expected), 1);
    expectNear(hessianOf(h, 4), blockDiagonalPart(expected, 1), 1e-10, "dimension 1");
  }
  // Moving the superbasic with the largest |rg| beyond maxR to the front of that part.
  const double d1 = h.diagonalBeyond(1), d3 = h.diagonalBeyond(3);
  h.swapDiagonal(1, 3);
  EXPECT_EQ(h.diagonalBeyond(1), d3);
  EXPECT_EQ(h.diagonalBeyond(3), d1);
  Vec b{2.0, 3.0, 4.0, 5.0};
  h.solve(1, 4, b.data());
  EXPECT_DOUBLE_EQ(b[0], 2.0 / h.entry(0, 0));
  for (int k = 1; k < 4; ++k) EXPECT_DOUBLE_EQ(b[static_cast<size_t>(k)], (k + 2.0) / h.diagonalBeyond(k));
}

TEST(ReducedHessian, SolvesAgreeWithDenseSolves) {
  std::mt19937 rng(29);
  for (const auto& [maxR, ns] : {std::pair{5, 5}, std::pair{5, 3}, std::pair{3, 6}}) {
    ReducedHessian h = sized(maxR, 6);
    randomFactor(h, ns, rng);
    const int nR = h.order(ns);
    Dense r(ns);
    for (int i = 0; i < nR; ++i)
      for (int j = i; j < nR; ++j) r(i, j) = h.entry(i, j);
    for (int k = nR; k < ns; ++k) r(k, k) = h.diagonalBeyond(k);
    Dense rt(ns);
    for (int i = 0; i < ns; ++i)
      for (int j = 0; j < ns; ++j) rt(i, j) = r(j, i);
    const Vec b = randomVector(ns, rng);
    for (int mode : {1, 2}) {
      Vec x = b;
      h.solve(mode, ns, x.data());
      const Vec want = solveDense(mode == 1 ? r : rt, b);
      for (int i = 0; i < ns; ++i) EXPECT_NEAR(x[static_cast<size_t>(i)], want[static_cast<size_t>(i)], 1e-12);
    }
  }
}

TEST(ReducedHessian, ConditionEstimateUsesTheTriangleDiagonal) {
  std::mt19937 rng(31);
  ReducedHessian h = sized(4, 6);
  randomFactor(h, 6, rng);
  double dmax = 0.0, dmin = 1e300;
  for (int i = 0; i < 4; ++i) {
    dmax = std::max(dmax, std::fabs(h.entry(i, i)));
    dmin = std::min(dmin, std::fabs(h.entry(i, i)));
  }
  const ReducedHessian::Condition c = h.estimateCondition(6);
  EXPECT_EQ(c.dmax, dmax);
  EXPECT_EQ(c.dmin, dmin);
  EXPECT_NEAR(c.condR, (dmax / dmin) * (dmax / dmin), 1e-12 * c.condR);
  // A triangle of order 1 is perfectly conditioned.
  EXPECT_EQ(h.estimateCondition(1).condR, 1.0);
  EXPECT_EQ(h.estimateCondition(0).condR, 1.0);
}

}  // namespace
}  // namespace kavro
