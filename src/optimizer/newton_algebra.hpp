#pragma once
// The algebra of a Newton direction for a symmetric matrix A known by products, given the
// gradient g (the system A p = -g), on plain arrays of length n:
//
//   modifiedCholeskyDirection:  A formed (n x n, by rows), factorized as L D L' with
//                               d_j = max(|c_jj|, theta_j^2 / beta^2, delta),
//                               theta_j = max_{i>j} |c_ij|, beta^2 = max(max|a_ii|,
//                               max|a_ij| / sqrt(n^2 - 1), eps), delta = eps (1 + max|a|);
//                               p = -(L D L')^-1 g.
//   bandedModifiedCholeskyDirection: the same factorization and step for A with bandwidth b,
//                               held by columns: column j's entries a_jj, a_j+1,j, ..., a_j+b,j
//                               at band[j (b + 1) + 0 .. b] (entries past row n - 1 unused).
//                               The factors keep the band, so it costs n b^2 rather than n^3.
//   truncatedConjugateGradients: preconditioned CG from p = 0 on A p = -g, stopping at
//                               |r| <= eta |g|, after maxIterations, or on d'Ad <= 0.
//
// Rules
//  - L D L' is positive definite whatever A is, so g'p < 0 for g != 0 (a descent direction);
//    where A is positive definite with pivots well above delta, p is the Newton step.
//  - Every CG iterate from 0 with a positive definite preconditioner M has g'p < 0. On a
//    direction d of nonpositive curvature the result is d when it is the first (M^-1 times
//    -g), else the iterate so far plus d, turned downhill and scaled to the iterate's size.
//  - Products or preconditioned vectors that are not finite end the solve as failed.
//  - Nothing allocates: the caller hands the work arrays.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kavro {

inline double dotProduct(int32_t n, const double* a, const double* b) {
  double s = 0.0;
  for (int32_t k = 0; k < n; ++k) s += a[k] * b[k];
  return s;
}

// A (n x n by rows, symmetrized and overwritten by L below its diagonal), d: n work entries.
// False when the result is not finite.
bool modifiedCholeskyDirection(int32_t n, double* A, const double* g, double* d, double* p);

// band: n (b + 1) entries, overwritten by L below the diagonal; d: n work entries.
struct BandedDirection {
  bool finite = false;
  int32_t raisedPivots = 0;  // pivots above c_jj: A was not safely positive definite
};
BandedDirection bandedModifiedCholeskyDirection(int32_t n, int32_t b, double* band, const double* g, double* d,
                                                double* p);

struct ConjugateGradientResult {
  bool solved = false;  // false: a product failed
  int32_t iterations = 0;
  bool negativeCurvature = false;
};

// work: five arrays of n entries (r, z, d, q, x). product(v, out) computes A v and returns
// false when it cannot; precondition(r, z) computes z = M^-1 r. firstDirection is M^-1 (-g),
// which the caller often has at hand.
template <class Product, class Precondition>
ConjugateGradientResult truncatedConjugateGradients(int32_t n, const double* g, const double* firstDirection,
                                                    double eta, int32_t maxIterations, Product&& product,
                                                    Precondition&& precondition, double* const work[5], double* p) {
  double *r = work[0], *z = work[1], *d = work[2], *q = work[3], *x = work[4];
  ConjugateGradientResult result;
  for (int32_t k = 0; k < n; ++k) {
    r[k] = -g[k];
    d[k] = firstDirection[k];
    x[k] = 0.0;
  }
  double rz = dotProduct(n, r, d);
  const double target = eta * std::sqrt(dotProduct(n, g, g));
  if (!(rz > 0.0)) return result;
  for (; result.iterations < maxIterations;) {
    ++result.iterations;
    if (!product(d, q)) return result;
    const double curvature = dotProduct(n, d, q);
    if (!(curvature > 0.0)) {
      result.negativeCurvature = true;
      if (result.iterations == 1) {
        std::copy(d, d + n, p);
      } else {
        const double sign = dotProduct(n, g, d) > 0.0 ? -1.0 : 1.0;
        double xMax = 0.0, dMax = 0.0;
        for (int32_t k = 0; k < n; ++k) xMax = std::max(xMax, std::fabs(x[k])), dMax = std::max(dMax, std::fabs(d[k]));
        const double scale = xMax / std::max(dMax, std::numeric_limits<double>::min());
        for (int32_t k = 0; k < n; ++k) p[k] = x[k] + sign * scale * d[k];
      }
      result.solved = true;
      return result;
    }
    const double alpha = rz / curvature;
    for (int32_t k = 0; k < n; ++k) {
      x[k] += alpha * d[k];
      r[k] -= alpha * q[k];
    }
    if (std::sqrt(dotProduct(n, r, r)) <= target) break;
    precondition(r, z);
    const double rzNext = dotProduct(n, r, z);
    if (!(rzNext > 0.0)) break;  // the preconditioner lost definiteness to rounding: stop here
    const double beta = rzNext / rz;
    rz = rzNext;
    for (int32_t k = 0; k < n; ++k) d[k] = z[k] + beta * d[k];
  }
  std::copy(x, x + n, p);
  result.solved = std::all_of(p, p + n, [](double v) { return std::isfinite(v); });
  return result;
}

}  // namespace kavro
