#pragma once
// An answer to a model checked against the model as its file states it, with the reader's own
// evaluator: nothing the optimizer computed enters but the point and the multipliers it returned.
//
//   primal  the largest violation of a variable's bounds or a constraint's limits, absolute and
//           relative to 1 + |bound|;
//   dual    with the constraints' multipliers y (the optimizer's convention: the objective
//           minimized is sigma f, sigma = -1 for maximization), the reduced gradient
//           d = sigma grad f - J'y and, for each row's slack, -y_i; the part of each that points
//           the wrong way for where the variable or the row's body lies (-d at a lower bound, d
//           at an upper one, |d| in between), largest absolute and relative to 1 + max |y|.
// "At a bound" means within the feasibility tolerance of it, relative to 1 + |bound|.

#include <string>
#include <vector>

#include "nl/nl_model.hpp"

namespace kavro::nl {

struct PointCheck {
  bool evaluated = false;  // false: the model cannot be evaluated at the point (see failure)
  std::string failure;
  double objective = 0.0;  // the first objective at the point (0 without one)
  double primalAbsolute = 0.0, primalRelative = 0.0;
  double dualAbsolute = 0.0, dualRelative = 0.0;
  bool passed(double feasibilityTolerance, double optimalityTolerance) const {
    return evaluated && primalRelative <= feasibilityTolerance && dualRelative <= optimalityTolerance;
  }
};

// x: nVars values; y: nCons multipliers (empty for a model without constraints), or nullptr
// for the primal part alone.
PointCheck checkPoint(const Model& model, const double* x, const std::vector<double>* y, double feasibilityTolerance);

}  // namespace kavro::nl
