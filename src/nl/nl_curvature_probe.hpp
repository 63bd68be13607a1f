#pragma once
// The solve strategy's second-order test (kavro::CurvatureProbe) for a .nl model: exact second
// derivatives of the model at a run's final point (nl_curvature.hpp), and, when the Lagrangian
// curves downward on the subspace that keeps the active rows and bounds, a point moved along
// that direction where the Lagrangian is lower.
//
//   BuiltProblem built;  buildProblem(model, {}, built);
//   ModelCurvatureProbe probe(model, built);
//   options.curvature = &probe;                 // kavro::SolveOptions
//
// The step: the direction d (unit length on the free variables) is followed either way, as far
// as the first bound of a variable or limit of a row that it crosses (rows by their gradients
// at the point), at most max(1, |x|_inf) long, and halved until the Lagrangian
//   L(x) = sigma f(x) - y'c(x)
// drops by more than a relative 1e-10; the lower of the two ends wins. Along d the active rows
// stay as they are to first order, so the point is feasible for linear rows and nearly so for
// nonlinear ones: the run started from it sees the lower value.
//
// The problem's columns are the model's variables and its first rows the model's constraints,
// in the model's order (nl_problem.hpp). The model must outlive the object.

#include <cstdint>

#include "kavro/solver.hpp"
#include "nl/nl_model.hpp"
#include "nl/nl_problem.hpp"

namespace kavro::nl {

class ModelCurvatureProbe final : public CurvatureProbe {
 public:
  ModelCurvatureProbe(const Model& model, const BuiltProblem& built) : model_(model), objective_(built.objective) {}

  bool escape(const Problem& problem, const ProblemState& state, double sigma, CurvatureEscape& out) override;

  // Free variables beyond which the test is not made (its algebra is dense).
  static constexpr int32_t kMaxFree = 1500;

 private:
  const Model& model_;
  int32_t objective_;
};

}  // namespace kavro::nl
