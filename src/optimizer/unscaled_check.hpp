#pragma once
// The check a point must pass before a run may call it optimal: feasible and optimal for the
// problem the user gave, not only for the scaled problem the iterations work on.
//
//   every variable and every row activity within its bounds to
//       Feasibility tolerance x (1 + |bound|),
//   no nonbasic variable whose reduced cost points the wrong way by more than
//       Optimality tolerance x (1 + |its objective coefficient|)
//   (a variable between its bounds, or superbasic, may not have a reduced cost or reduced
//   gradient of that size either way).
//
// The optimality test of the iterations compares reduced costs with the Optimality tolerance
// times the largest multiplier, on the scaled problem; with large multipliers or poor scaling
// that lets clearly improvable points through, which this check catches.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"

namespace kavro {

struct UnscaledCheckInput {
  const Problem* prob = nullptr;                // the working problem, scaled when scales is set
  const std::vector<double>* scales = nullptr;  // nb factors (x = s x_scaled); empty: unscaled
  const double* x = nullptr;                    // nb working values
  const int32_t* hs = nullptr;                  // nb states, internal form (4 fixed, -1 between bounds)
  const double* pi = nullptr;                   // m working multipliers of the objective
  const double* gradient = nullptr;             // n working gradient entries (nullptr: a linear objective)
  double infBound = 1.0e20;
  double feasibilityTolerance = 1.0e-6;
  double optimalityTolerance = 1.0e-6;
  // The factors the run scaled the problem with before it went on unscaled (nullptr: none).
  // The test of the iterations is then repeated with them: a reduced cost d_j s_j of the
  // wrong sign beyond Optimality tolerance x max(1, max |pi_i r_i|) fails too. Without this a
  // row with huge coefficients could keep a tiny multiplier of the wrong sign that the scaled
  // test saw and the user's units hide.
  const std::vector<double>* formerScales = nullptr;
};

struct Violation {
  int32_t j = -1;          // variable (slack n + i for row i), -1 when none
  double amount = 0.0;     // by how much, unscaled
  double tolerance = 0.0;  // what it was allowed
};

struct UnscaledCheckResult {
  int32_t primalCount = 0, dualCount = 0;
  int32_t scaledDualCount = 0;       // failures of the test repeated with the former factors
  Violation worstPrimal, worstDual;  // the largest amount / tolerance of each kind
  bool passed() const { return primalCount == 0 && dualCount == 0 && scaledDualCount == 0; }
};

// rowActivity is scratch of m entries.
UnscaledCheckResult checkUnscaled(const UnscaledCheckInput& in, std::vector<double>& rowActivity);

// The objective coefficient of variable j in the user's units: its entry in the objective row
// plus its nonlinear gradient, as the tolerance of the check uses it (0 for slacks).
double unscaledObjectiveCoefficient(const UnscaledCheckInput& in, int32_t j);

// The reduced cost of variable j in the working (scaled) problem, and in the user's units.
double workingReducedCost(const UnscaledCheckInput& in, int32_t j);
double unscaledReducedCost(const UnscaledCheckInput& in, int32_t j);

// The dual side of the check for one nonbasic or superbasic variable j.
struct DualViolation {
  double workingReducedCost = 0.0;
  double reducedCost = 0.0;  // in the user's units
  double wrongWay = 0.0;     // how far it points the wrong way (0 or less: the right way)
  double tolerance = 0.0;    // Optimality tolerance x (1 + |objective coefficient|)
  double scaledRatio = 0.0;  // the repeated scaled test: wrong way / its tolerance (0 without former factors)
  bool fails() const { return wrongWay > tolerance || scaledRatio > 1.0; }
  double ratio() const { return wrongWay / tolerance > scaledRatio ? wrongWay / tolerance : scaledRatio; }
};
// max(1, max |pi_i r_i|) with the former factors, the multiplier norm of the scaled test.
double formerPiNorm(const UnscaledCheckInput& in);
DualViolation dualViolation(const UnscaledCheckInput& in, int32_t j, double formerPiNorm);

}  // namespace kavro
