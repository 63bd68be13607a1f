#pragma once
// Nonlinear functions given as callables, for library users who prefer lambdas to a class.
//
//   kavro::FunctionsFromCallables functions(
//       [](std::span<const double> x, double& f, std::span<double> g) {
//         f = (1 - x[0]) * (1 - x[0]);
//         g[0] = -2 * (1 - x[0]);
//         return true;                      // false: not defined at x (the step is shortened)
//       });
//   options.functions = &functions;
//
// The objective callable receives the first nNonlinObjVars variables and fills the gradient
// elements it knows; the constraint callable receives the first nNonlinJacVars variables, fills
// the nNonlinCons values and the Jacobian elements it knows, in the matrix's order (column by
// column over the constraint matrix's entries in the nonlinear rows; see problem.hpp).
// Elements left untouched keep kUnsetGradient and are estimated by finite differences
// (a Jacobian element that is never set keeps the value the matrix holds, "Derivative level" 3).
// A callable that returns false marks the point as undefined; one that throws stops the run
// (the exception is caught here and reported as a request to stop).

#include <functional>
#include <span>

#include "kavro/solver.hpp"

namespace kavro {

// Value of a derivative element that the functions did not set.
inline constexpr double kUnsetGradient = -111111.0;

using ObjectiveCallable = std::function<bool(std::span<const double> x, double& f, std::span<double> g)>;
using ConstraintCallable =
    std::function<bool(std::span<const double> x, std::span<double> c, std::span<double> jacobian)>;

class FunctionsFromCallables final : public NonlinearFunctions {
 public:
  explicit FunctionsFromCallables(ObjectiveCallable objective, ConstraintCallable constraints = {})
      : objective_(std::move(objective)), constraints_(std::move(constraints)) {}

  void objective(int& mode, int n, const double* x, double& f, double* g, int) override {
    f = 0.0;
    if (!objective_) return;
    report(mode, [&] {
      return objective_(std::span<const double>(x, static_cast<size_t>(n)), f,
                        std::span<double>(g, static_cast<size_t>(n)));
    });
  }

  void constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int) override {
    if (!constraints_) {
      mode = -2;
      return;
    }
    report(mode, [&] {
      return constraints_(std::span<const double>(x, static_cast<size_t>(n)),
                          std::span<double>(f, static_cast<size_t>(m)),
                          std::span<double>(g, static_cast<size_t>(njac)));
    });
  }

 private:
  // mode stays as it was on success; -1 when the point is undefined, -2 to stop.
  template <class F>
  static void report(int& mode, F&& f) {
    try {
      if (!f()) mode = -1;
    } catch (...) {
      mode = -2;
    }
  }

  ObjectiveCallable objective_;
  ConstraintCallable constraints_;
};

}  // namespace kavro
