#pragma once
// The certificate of a returned point: how far it is from feasible and from stationary for the
// user's (unscaled) problem, from the functions evaluated at that point.
//
//   row activity   a_i = F_i(x) + sum_j a_ij x_j        (F_i = 0 for linear rows; the matrix's
//                                                         entries in the Jacobian block are left
//                                                         out, F carries them)
//   primal         max over variables and rows of the distance beyond a bound, absolute and
//                  over 1 + |bound| (a row's bounds are its slack's, the slack being -a_i)
//   reduced grad.  d_j = sigma g_j - sum_i pi_i a_ij   (J(x) in the Jacobian block; d = -pi_i
//                                                       for the slack of row i)
//   dual           the part of d_j that points the wrong way for where x_j lies: -d_j at a lower
//                  bound, d_j at an upper bound, |d_j| strictly between (nothing for a fixed
//                  variable), over 1 + max |pi_i| (the objective row left out)
//
// Rules
//  - Only the point, the problem's data and the given function values are read: no state of the
//    iterations (variable states, basis, factors) enters, so the certificate is an evaluation
//    independent of how the point was reached. "At a bound" is decided by the value.
//  - Inputs may be in the optimizer's (scaled) units: with scales s (nb factors, x_user = s_j x,
//    slack_user = s_(n+i) slack, a_user = r_i a / c_j, pi_user = pi / r_i, d_user = d / c_j) the
//    measures are made in the user's units. The Jacobian and gradient are then the scaled ones.
//  - Tolerances: Row tolerance for nonlinear rows, Feasibility tolerance for linear rows and
//    variables, Optimality tolerance for the dual part; each relative as above.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"
#include "kavro/solver.hpp"

namespace kavro {

struct CertificateInput {
  const Problem* prob = nullptr;                // bounds and linear entries (working units)
  const std::vector<double>* scales = nullptr;  // nb factors, or nullptr / empty: unscaled
  const double* x = nullptr;                    // n values of the columns (slacks are recomputed)
  const double* pi = nullptr;                   // m multipliers, the objective row's included
  double sigma = 1.0;                           // +1 minimize, -1 maximize
  const double* objectiveGradient = nullptr;    // nNonlinObjVars entries, or nullptr
  const double* constraintValues = nullptr;     // nNonlinCons entries, or nullptr when none
  const double* jacobian = nullptr;             // Jacobian block in column order, or nullptr
  double infBound = kInfinity;
  double feasibilityTolerance = 1.0e-6;
  double rowTolerance = 1.0e-6;
  double optimalityTolerance = 1.0e-6;
};

// Scratch and results beside the certificate: row activities (m) and, when wanted, the reduced
// gradient d in the input's units (nb), which the run reports as the final reduced costs.
struct CertificateWork {
  std::vector<double> activity;
  std::vector<double> reducedGradient;
};

// When the problem has nonlinear rows, constraintValues and jacobian are required; when it has
// a nonlinear objective, objectiveGradient is. Without pi the dual part is not measured.
Certificate certify(const CertificateInput& in, CertificateWork& work);

}  // namespace kavro
