#pragma once
// Exact second derivatives in the superbasic subspace: the Newton direction of the subspace,
//
//   (Z'HZ) pS = -rg,     Z = [ -B^-1 S ; I ]   (basic positions, then superbasic ones),
//
// H the Hessian of the minimized objective at the point (subproblem_objective.hpp). A product
// Z'HZ v costs a solve with B, one with B' and one Hessian-vector product; Z'HZ is never
// stored beyond a small subspace.
//
//  - ns <= kDenseOrder: Z'HZ is formed column by column and factorized by a modified Cholesky
//    (LDL' with each pivot raised to max(|c_jj|, theta_j^2 / beta^2, delta), theta_j the
//    largest entry below it, beta^2 from the largest diagonal and off-diagonal entries): the
//    Newton step where Z'HZ is safely positive definite, a descent direction in any case.
//  - larger, when no basic variable is nonlinear (bounds and linear rows only in the basis, as
//    on unconstrained and bound-constrained models): Z'HZ is H over the superbasics, taken from
//    the functions' own triangle, and factorized by the same modified Cholesky in band form
//    with the superbasics in the variables' order (models number their variables along their
//    structure: a chain, a grid by rows), when the band is narrow enough to pay and no pivot
//    had to be raised (elsewhere conjugate gradients follow the curvature they meet).
//  - otherwise: truncated conjugate gradients from pS = 0, preconditioned by the quasi-Newton
//    model M (positive definite, kept up to date by the subspace), stopping when
//    |r| <= eta |rg|, eta = min(0.5, sqrt(max|rg|)) (the forcing sequence of an inexact Newton
//    method that converges superlinearly), after kMaxCgIterations, or on a direction d with
//    d'(Z'HZ)d <= 0: then the first iteration's d (the quasi-Newton direction), else the
//    iterate so far plus d turned downhill and scaled to it (the way down along the negative
//    curvature, which the linesearch follows as far as it pays).
//
// Rules
//  - A direction returned satisfies rg'pS < 0 whenever rg != 0: every conjugate-gradient
//    iterate from 0 with a positive definite preconditioner does, and so does the modified
//    Cholesky step. A direction that would not (rounding) is refused.
//  - direction() is false, and nothing is counted as used, when there are no second
//    derivatives at the point: the caller keeps the quasi-Newton direction.
//  - Every array is sized on construction, except the band, which grows to its largest size
//    once; nothing else allocates afterwards.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"
#include "optimizer/basis_factors.hpp"
#include "optimizer/subproblem_objective.hpp"
#include "optimizer/subspace_hessian.hpp"
#include "specs/parameters.hpp"

namespace kavro {

class SubspaceNewton {
 public:
  // Subspaces beyond this are solved by conjugate gradients: forming Z'HZ takes ns products,
  // which CG rarely needs, and the factorization grows as ns^3.
  static constexpr int32_t kDenseOrder = 40;
  // A cap on the products per direction; a truncated Newton direction is still a descent
  // direction, and the next iteration goes on from the better point.
  static constexpr int32_t kMaxCgIterations = 250;
  // "Hessian option 2" takes exact second derivatives once the subspace outgrows the dense
  // quasi-Newton factor ("Hessian dimension"), or from this many superbasics on when the
  // limited-memory model is in use. Within the dense factor the quasi-Newton directions cost
  // no function evaluations and the iterations are mostly spent changing the active set (on
  // cvxqp1, 1,000 variables: 862 iterations in 1.1 s with it, 981 in 2.6 s with exact steps).
  static constexpr int32_t kAutomaticThreshold = 100;
  // The band factorization's limits: its entries (32 MB) and its work ns b^2 (about a second;
  // 250 conjugate-gradient products on a grid model of 10,000 variables take longer).
  static constexpr double kMaxBandEntries = 4.0e6;
  static constexpr double kMaxBandWork = 4.0e8;

  SubspaceNewton(const Problem& prob, const ProblemState& state, BasisFactors& basis, SubproblemObjective& objective,
                 const Parameters& params);

  // Whether the direction for ns superbasics comes from here.
  bool wanted(int32_t ns) const;
  // pS for the superbasics at the current point; qnDirection is the quasi-Newton direction
  // (-M^-1 rg) already computed, the preconditioner applies M^-1. False: keep qnDirection.
  bool direction(int32_t ns, const double* rg, const double* qnDirection, const SubspaceHessian& model, double* pS);

  int64_t products() const { return products_; }
  int64_t cgIterations() const { return cgIterations_; }

  // (Z'HZ) v for the current basis, over ns superbasics; false when a product is not finite.
  bool reducedProduct(int32_t ns, const double* v, double* out);

 private:
  bool conjugateGradients(int32_t ns, const double* rg, const double* qnDirection, const SubspaceHessian& model,
                          double* pS);
  bool modifiedCholesky(int32_t ns, const double* rg, double* pS);
  bool basisFree() const;
  bool bandedNewton(int32_t ns, const double* rg, double* pS);
  bool bandedDirection(int32_t ns, const NonlinearFunctions::HessianTriangle& h, const double* rg, double* pS);
  void precondition(int32_t ns, const SubspaceHessian& model, const double* r, double* z);

  const Problem& prob_;
  const ProblemState& state_;
  BasisFactors& basis_;
  SubproblemObjective& objective_;
  const int32_t option_;
  const int32_t automaticFrom_;  // superbasics from which "Hessian option 2" is exact
  const int32_t m_, n_, nnv_;
  std::vector<double> hv_, d_;                                  // nonlinear variables: H's argument and result
  std::vector<double> rowWork_, rowSolution_;                   // m
  std::vector<double> r_, z_, dir_, q_, x_, scratch_, modelZ_;  // each superbasics limit + 1
  std::vector<double> dense_;                                   // kDenseOrder^2: Z'HZ, then its factors
  std::vector<int32_t> order_;                                  // superbasics limit + 1: band position -> superbasic
  std::vector<int32_t> rank_;                                   // nonlinear variables: band position, -1 outside
  std::vector<double> band_;                                    // H over the superbasics in band form, then L
  int64_t products_ = 0, cgIterations_ = 0;
};

}  // namespace kavro
