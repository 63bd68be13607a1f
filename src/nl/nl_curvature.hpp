#pragma once
// The second-order test of a point of a .nl model: is it a minimum, or a stationary point with a
// direction of negative curvature (a saddle point or a maximum)? A first-order test cannot tell
// them apart.
//
//   Curvature c = kavro::nl::reducedCurvature(model, objective, x, y, sigma);
//   if (c.negative) ... c.direction ...
//
// With multipliers y in the optimizer's convention (sigma grad f - J'y = z), the Hessian H of
// the Lagrangian sigma f - y'c is taken on the subspace S that keeps every active constraint
// and bound as it is: the variables within the tolerance of a bound are held, and the
// directions are orthogonal to the gradients of the rows within the tolerance of a limit.
// S lies inside the critical cone, so a negative eigenvalue of Z'HZ (Z an orthonormal basis of
// S) means that the point is not a local minimum when the active rows are linear (a step along
// the eigenvector, either way, stays feasible and lowers the objective to second order), and
// fails the usual second-order necessary condition otherwise.
//
// Rules:
//   - "negative" means an eigenvalue below -threshold, threshold = tolerance (1 + max |H_ij|):
//     a point returned within the run's tolerances shows rounding-sized curvature of either
//     sign, which is not a reason to move;
//   - gradients of active rows count once when nearly parallel (degenerate active sets):
//     a gradient joins the row basis only when more than 10 tolerance of its length is left
//     after orthogonalization; with a nonlinear row among them and less than sqrt(tolerance)
//     left of one, "negative" is not conclusive (conclusive = false): other multipliers that
//     fit the point as well may curve the Lagrangian upward;
//   - direction (model.nVars() values, unit length, 0 on held variables) satisfies
//     direction'H direction < -threshold when negative: the way down of every negative pivot
//     of an LDL' factorization of Z'HZ at once when that curves down (a chain of saddle points,
//     one per block of variables, is left in one step), else the way down at the smallest
//     eigenvalue; smallest brackets the smallest eigenvalue of Z'HZ to about 1e-3 relative
//     with at most 300 free variables, and beyond is the curvature along direction (a bound);
//   - dense algebra on the free variables, with P H P (P the projection onto S) standing for
//     Z'HZ: O(free^3 + free^2 rows) time and O(free^2) memory; more than maxFree free
//     variables, or more work than about a third of a second's, gives evaluated = false with a
//     failure text, never a long computation.

#include <cstdint>
#include <string>
#include <vector>

#include "nl/nl_model.hpp"

namespace kavro::nl {

struct Curvature {
  bool evaluated = false;
  std::string failure;     // why not evaluated
  int32_t free = 0;        // variables not at a bound
  int32_t activeRows = 0;  // rows at a limit
  int32_t dimension = 0;   // of the subspace S
  bool negative = false;   // an eigenvalue below -threshold
  // false when a nonlinear row is active and the active rows' gradients are nearly dependent
  // (one keeps less than sqrt(tolerance) of its length against the others): the multipliers
  // are then not determined by the point, and neither is the curvature found with them
  bool conclusive = true;
  double threshold = 0.0;
  double smallest = 0.0;          // when negative; otherwise -threshold, a bound
  std::vector<double> direction;  // when negative: a unit direction of negative curvature in S
};

// objective: the model objective in use, -1 for none; x: model.nVars() values; y: model.nCons()
// multipliers; sigma: +1 minimize, -1 maximize.
Curvature reducedCurvature(const Model& model, int32_t objective, const double* x, const double* y, double sigma,
                           double tolerance = 1e-6, int32_t maxFree = 3000);

}  // namespace kavro::nl
