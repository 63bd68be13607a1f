#pragma once
// The objective that the feasible phases minimize, and the evaluations of the user's functions
// it takes:
//
//   minimized  =  F_sub(x) + sigma * (linear objective),      sigma = +1 minimize, -1 maximize
//   F_sub(x)   =  sigma f(x)                                  without nonlinear constraints
//              =  sigma f(x) + augmented-Lagrangian terms     during major iterations
//   true       =  objConstant + f(x) - s_obj x_objSlack        (the problem's objective, its units)
//
// where the linear objective is minus the objective row's slack, times its scale factor s_obj.
// Its nonlinear part is known once the point has been feasible (evaluated()). Each evaluation
// goes to a trial point; takeTrial() makes it the current one's. The gradient over the columns
// (zero beyond the nonlinear variables) drives the prices and the reduced gradient.
//
// Rules
//  - The point is always the caller's (x of the nonlinear variables, the optimizer's units);
//    stale() says it moved since the current values were evaluated.
//  - Evaluations return 0, kFunctionUndefined, or the exit a failure asks for (kFunctionError,
//    ...); nothing is printed here.
//  - Every array is sized on construction; no evaluation allocates.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"
#include "nonlinear/function_evaluator.hpp"
#include "nonlinear/major_iterations.hpp"
#include "setup/scaling.hpp"
#include "specs/parameters.hpp"

namespace kavro {

class SubproblemObjective {
 public:
  SubproblemObjective(const Problem& prob, const Parameters& params, const RunScaling& scaling,
                      FunctionEvaluator* evaluator, MajorIterations* majors, int32_t nJacElements);

  // A nonlinear objective: the user's, or the augmented Lagrangian of nonlinear constraints.
  bool nonlinear() const { return nonlinear_; }
  double sigma() const { return sigma_; }
  int32_t objSlack() const { return objSlack_; }
  int32_t nonlinearVariables() const { return prob_.nNonlinVars(); }
  int32_t columns() const { return prob_.n; }
  // The objective slack's scale factor (1 without one or unscaled); read afresh, since the
  // scaling may be dropped during the run.
  double objScale() const;

  // ---- values at the current point (x: the optimizer's full vector of variables)
  double trueObjective(const double* x) const;
  double minimized(const double* x) const;
  bool evaluated() const { return evaluated_; }
  double userValue() const { return evaluated_ ? fUser_ : 0.0; }
  const double* gradient() const { return gradient_.data(); }   // n entries
  const double* userGradient() const { return gUser_.data(); }  // nNonlinObjVars entries
  // The user's gradient of f in the user's units, for the reports (zero before any evaluation).
  void userGradientUnscaled(std::vector<double>& g) const;
  // The gradient of the phase's objective for variable j: phase 1 sees only the (weighted)
  // objective row; its basic infeasibilities are counted by the prices.
  double phaseGradient(int32_t j, bool infeasible, double weightOnObjective) const;

  // ---- evaluations
  bool stale() const { return stale_; }
  void markStale() { stale_ = true; }
  // The trial point's values (and gradient) at x.
  int32_t evaluate(const double* x, bool wantGradient);
  void takeTrial();
  // Values and gradient at x made the current ones.
  int32_t evaluateAt(const double* x);
  double trialValue() const { return fTrial_; }
  const double* trialGradient() const { return gTrial_.data(); }
  double* trialPoint() { return xTrial_.data(); }
  // Whether some gradient of the objective comes from differences, and whether forward ones.
  bool gradientsDifferenced() const;
  bool forwardDifferencesInUse() const;
  // The true nonlinear constraints at x (the rows' values, for the reports); 0 or a failure.
  int32_t constraintValuesAt(const double* x);
  const std::vector<double>& constraintValues() const { return conValues_; }
  // ---- second derivatives of the minimized objective (optimizer units, over the nonlinear
  // variables), when the functions offer them: sigma H_f with linear constraints, and during
  // major iterations the augmented Lagrangian's (major_iterations.hpp), taken with the
  // constraint values and Jacobian of the current point.
  bool secondDerivativesOffered() const { return nonlinear_ && evaluator_ && evaluator_->secondDerivativesOffered(); }
  bool prepareHessian(const double* x);  // at x, the current point; false: none there
  bool hessianProduct(const double* v, double* hv);
  // The prepared Hessian as a lower triangle, when it is sigma H_f alone (no major iterations,
  // whose penalty term is known by products only) and the functions keep the matrix.
  bool hessianTriangle(NonlinearFunctions::HessianTriangle& triangle);
  // Basis positions the linesearch follows (scratch, sized for every basic and superbasic one).
  std::vector<int32_t>& linePositions() { return linePositions_; }

 private:
  const Problem& prob_;
  const Parameters& p_;
  const RunScaling& scaling_;
  FunctionEvaluator* evaluator_;
  MajorIterations* majors_;
  const double sigma_;
  const int32_t objSlack_;
  const bool nonlinear_;
  // Current: the user's f, the subproblem's F_sub and its gradient; the user's gradient of f.
  double fUser_ = 0.0, fNonlinear_ = 0.0;
  std::vector<double> gradient_, gUser_;
  // The latest evaluation.
  std::vector<double> xTrial_, gTrial_, gUserTrial_;
  double fTrial_ = 0.0, fUserTrial_ = 0.0;
  std::vector<double> conValues_, conJacobian_;
  std::vector<double> currentCon_, currentJac_, hessianWeights_;  // at the current point
  std::vector<int32_t> linePositions_;
  bool evaluated_ = false;
  bool stale_ = true;
};

}  // namespace kavro
