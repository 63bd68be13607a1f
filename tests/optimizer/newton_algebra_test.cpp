// The Newton direction's algebra on dense symmetric matrices: the modified Cholesky step is the
// Newton step where the matrix is safely positive definite and a descent direction wherever it
// is not; truncated conjugate gradients solve a positive definite system, stop on negative
// curvature with a descent direction, and the quasi-Newton update along a direction that is not
// its own (the exact steps') keeps the secant condition.

#include "optimizer/newton_algebra.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "optimizer/reduced_hessian.hpp"
#include "optimizer/subspace_hessian.hpp"
#include "specs/parameters.hpp"

namespace kavro {
namespace {

using Vec = std::vector<double>;

// A symmetric matrix Q diag(eigenvalues) Q' with Q from random plane rotations.
Vec symmetricWithEigenvalues(const Vec& eigenvalues, std::mt19937& rng) {
  const int n = static_cast<int>(eigenvalues.size());
  Vec a(static_cast<size_t>(n * n), 0.0);
  for (int i = 0; i < n; ++i) a[static_cast<size_t>(i * n + i)] = eigenvalues[static_cast<size_t>(i)];
  std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
  std::uniform_int_distribution<int> index(0, n - 1);
  for (int t = 0; t < 4 * n; ++t) {
    const int p = index(rng), q = index(rng);
    if (p == q) continue;
    const double theta = angle(rng), c = std::cos(theta), s = std::sin(theta);
    for (int k = 0; k < n; ++k) {  // rows p, q
      const double x = a[static_cast<size_t>(p * n + k)], y = a[static_cast<size_t>(q * n + k)];
      a[static_cast<size_t>(p * n + k)] = c * x - s * y;
      a[static_cast<size_t>(q * n + k)] = s * x + c * y;
    }
    for (int k = 0; k < n; ++k) {  // columns p, q
      const double x = a[static_cast<size_t>(k * n + p)], y = a[static_cast<size_t>(k * n + q)];
      a[static_cast<size_t>(k * n + p)] = c * x - s * y;
      a[static_cast<size_t>(k * n + q)] = s * x + c * y;
    }
  }
  return a;
}

Vec times(const Vec& a, const Vec& v) {
  const size_t n = v.size();
  Vec out(n, 0.0);
  for (size_t i = 0; i < n; ++i)
    for (size_t k = 0; k < n; ++k) out[i] += a[i * n + k] * v[k];
  return out;
}

Vec randomVector(int n, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Vec v(static_cast<size_t>(n));
  for (double& x : v) x = u(rng);
  return v;
}

TEST(ModifiedCholesky, NewtonStepWhenPositiveDefiniteDescentOtherwise) {
  std::mt19937 rng(7);
  for (int n : {1, 2, 5, 12, 40}) {
    SCOPED_TRACE(n);
    Vec definite(static_cast<size_t>(n)), indefinite(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
      definite[static_cast<size_t>(k)] = 0.5 + k;
      indefinite[static_cast<size_t>(k)] = (k % 2 ? -1.0 : 1.0) * (0.1 + k);  // half negative
    }
    const Vec g = randomVector(n, rng);
    Vec a = symmetricWithEigenvalues(definite, rng), work = a, d(static_cast<size_t>(n)), p(static_cast<size_t>(n));
    ASSERT_TRUE(modifiedCholeskyDirection(n, work.data(), g.data(), d.data(), p.data()));
    const Vec ap = times(a, p);
    for (int k = 0; k < n; ++k) EXPECT_NEAR(ap[static_cast<size_t>(k)], -g[static_cast<size_t>(k)], 1e-9);

    a = symmetricWithEigenvalues(indefinite, rng);
    work = a;
    ASSERT_TRUE(modifiedCholeskyDirection(n, work.data(), g.data(), d.data(), p.data()));
    EXPECT_LT(dotProduct(n, g.data(), p.data()), 0.0);
    for (double dk : d) EXPECT_GT(dk, 0.0);
  }
  // A zero matrix still gives a (steepest-descent-like) finite direction.
  Vec zero(9, 0.0), d(3), p(3);
  const Vec g{1.0, -2.0, 0.5};
  ASSERT_TRUE(modifiedCholeskyDirection(3, zero.data(), g.data(), d.data(), p.data()));
  EXPECT_LT(dotProduct(3, g.data(), p.data()), 0.0);
}

struct CgRun {
  ConjugateGradientResult result;
  Vec p;
  int products = 0;
};

// CG with the diagonal preconditioner 1 / precondition[k].
CgRun runCg(const Vec& a, const Vec& g, const Vec& diagonal, double eta, int maxIterations) {
  const int n = static_cast<int>(g.size());
  std::vector<Vec> arrays(5, Vec(g.size()));
  double* const work[5] = {arrays[0].data(), arrays[1].data(), arrays[2].data(), arrays[3].data(), arrays[4].data()};
  Vec first(g.size());
  for (size_t k = 0; k < g.size(); ++k) first[k] = -g[k] / diagonal[k];
  CgRun run;
  run.p.assign(g.size(), 0.0);
  run.result = truncatedConjugateGradients(
      n, g.data(), first.data(), eta, maxIterations,
      [&](const double* v, double* out) {
        ++run.products;
        const Vec av = times(a, Vec(v, v + n));
        std::copy(av.begin(), av.end(), out);
        return true;
      },
      [&](const double* r, double* z) {
        for (int k = 0; k < n; ++k) z[k] = r[k] / diagonal[static_cast<size_t>(k)];
      },
      work, run.p.data());
  return run;
}

// The band form must give the dense factorization's direction on the same matrix: a banded
// random symmetric matrix, definite (the Newton step) and indefinite (the same modified step),
// with bandwidths from diagonal to full.
TEST(ModifiedCholesky, BandFormGivesTheDenseDirection) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int n = 30;
  for (int b : {0, 1, 3, 29}) {
    for (double shift : {2.0 * b + 1.0, -0.5}) {  // diagonally dominant; then indefinite
      SCOPED_TRACE("b " + std::to_string(b) + " shift " + std::to_string(shift));
      Vec dense(static_cast<size_t>(n * n), 0.0), band(static_cast<size_t>(n * (b + 1)), 0.0);
      for (int j = 0; j < n; ++j)
        for (int i = j; i <= std::min(n - 1, j + b); ++i) {
          const double v = i == j ? shift + u(rng) : u(rng);
          dense[static_cast<size_t>(i * n + j)] = dense[static_cast<size_t>(j * n + i)] = v;
          band[static_cast<size_t>(j * (b + 1) + (i - j))] = v;
        }
      const Vec a = dense, g = randomVector(n, rng);
      Vec d(static_cast<size_t>(n)), pDense(static_cast<size_t>(n)), pBand(static_cast<size_t>(n));
      ASSERT_TRUE(modifiedCholeskyDirection(n, dense.data(), g.data(), d.data(), pDense.data()));
      const BandedDirection banded = bandedModifiedCholeskyDirection(n, b, band.data(), g.data(), d.data(),
                                                                     pBand.data());
      ASSERT_TRUE(banded.finite);
      EXPECT_EQ(banded.raisedPivots > 0, shift < 0.0);
      for (int i = 0; i < n; ++i)
        EXPECT_NEAR(pBand[static_cast<size_t>(i)], pDense[static_cast<size_t>(i)],
                    1e-9 * (1.0 + std::fabs(pDense[static_cast<size_t>(i)])));
      EXPECT_LT(dotProduct(n, g.data(), pBand.data()), 0.0);
      if (shift > 1.0) {  // definite: A p = -g
        const Vec ap = times(a, pBand);
        for (int i = 0; i < n; ++i) EXPECT_NEAR(ap[static_cast<size_t>(i)], -g[static_cast<size_t>(i)], 1e-10);
      }
    }
  }
}

TEST(TruncatedConjugateGradients, SolvesDefiniteSystemsAndStopsDownhillOnNegativeCurvature) {
  std::mt19937 rng(11);
  const int n = 30;
  Vec eig(n);
  for (int k = 0; k < n; ++k) eig[static_cast<size_t>(k)] = 1.0 + 0.5 * k;
  const Vec a = symmetricWithEigenvalues(eig, rng), g = randomVector(n, rng);
  Vec diagonal(n);
  for (int k = 0; k < n; ++k) diagonal[static_cast<size_t>(k)] = a[static_cast<size_t>(k * n + k)];

  CgRun exact = runCg(a, g, diagonal, 1e-12, n + 5);
  ASSERT_TRUE(exact.result.solved);
  EXPECT_FALSE(exact.result.negativeCurvature);
  EXPECT_LE(exact.result.iterations, n + 1);
  const Vec ap = times(a, exact.p);
  for (int k = 0; k < n; ++k) EXPECT_NEAR(ap[static_cast<size_t>(k)], -g[static_cast<size_t>(k)], 1e-8);

  // Truncated after three iterations: still downhill.
  CgRun truncated = runCg(a, g, diagonal, 1e-12, 3);
  EXPECT_EQ(truncated.products, 3);
  EXPECT_LT(dotProduct(n, g.data(), truncated.p.data()), 0.0);

  // Indefinite: negative curvature found, the direction is downhill.
  for (int k = 0; k < n; k += 3) eig[static_cast<size_t>(k)] = -eig[static_cast<size_t>(k)];
  const Vec b = symmetricWithEigenvalues(eig, rng);
  for (int k = 0; k < n; ++k)
    diagonal[static_cast<size_t>(k)] = std::max(1.0, std::fabs(b[static_cast<size_t>(k * n + k)]));
  CgRun bent = runCg(b, g, diagonal, 1e-12, n + 5);
  ASSERT_TRUE(bent.result.solved);
  EXPECT_TRUE(bent.result.negativeCurvature);
  EXPECT_LT(dotProduct(n, g.data(), bent.p.data()), 0.0);
}

// The update along a direction p that R'R did not give (an exact Newton step): afterwards the
// model maps the step to the change of gradient, R'R (alpha p) = g2 - g1.
TEST(SubspaceHessian, UpdateAlongAnyDirectionKeepsTheSecantCondition) {
  Parameters params;
  std::mt19937 rng(3);
  for (int memory : {0, 5}) {
    SCOPED_TRACE(memory);
    const int ns = 6;
    SubspaceHessian model;
    model.resize(ns, ns, memory, params.machine);
    for (int k = 1; k <= ns; ++k) model.addColumn(k);
    model.reset(ns);
    const Vec g1 = randomVector(ns, rng);
    Vec p = randomVector(ns, rng);
    if (dotProduct(ns, g1.data(), p.data()) > 0.0)
      for (double& v : p) v = -v;
    Vec g2(ns);
    for (int k = 0; k < ns; ++k)
      g2[static_cast<size_t>(k)] = g1[static_cast<size_t>(k)] + 2.0 * p[static_cast<size_t>(k)] +
                                   0.1 * (k + 1) * p[static_cast<size_t>(k)];
    const double alpha = 0.5;
    Vec s1(ns), s2(ns), z(ns);
    EXPECT_GT(model.bfgsUpdateAlong(ns, g1.data(), g2.data(), p.data(), alpha, s1.data(), s2.data(), z.data()), 0);
    if (memory > 0) continue;  // the limited-memory pairs satisfy it by construction
    // The model's direction for y = g2 - g1 is -(R'R)^-1 y = -alpha p.
    Vec y(ns), dir(ns);
    for (int k = 0; k < ns; ++k) y[static_cast<size_t>(k)] = g2[static_cast<size_t>(k)] - g1[static_cast<size_t>(k)];
    model.direction(ns, y.data(), z.data(), dir.data());
    for (int k = 0; k < ns; ++k) EXPECT_NEAR(dir[static_cast<size_t>(k)], -alpha * p[static_cast<size_t>(k)], 1e-10);
  }
}

}  // namespace
}  // namespace kavro
