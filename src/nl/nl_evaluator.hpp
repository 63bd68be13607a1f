#pragma once
// Values and exact first derivatives of a model's objectives and constraints.
//
//   kavro::nl::Evaluator ev(model);
//   ev.setPoint(x);                                   // model.nVars() values
//   double f;
//   if (ev.value(model.objExpression(0), f)) ...      // false: not defined at x
//   std::vector<double> g(model.objLinear.size(0));
//   if (ev.gradient(model.objExpression(0), f, g.data())) ...
//
// A function is an objective (f = model.objExpression(k)) or a constraint
// (f = model.conExpression(i)): its nonlinear part (the expression) plus its linear terms (the
// G or J segment). Gradients are reported on the function's G or J list, in that list's order,
// and hold the derivative of the whole function: the linear coefficient plus the derivative of
// the nonlinear part.
//
// Derivatives come from a backward sweep over the expression's tape. Defined variables are
// evaluated once per point, in an order where each follows the ones it uses, and their
// gradients (sparse, over the variables they depend on) once per point when a gradient is
// first asked for; a function that uses a defined variable takes its value and gradient from
// there instead of expanding it again.
//
// A function that cannot be evaluated at the point (log or sqrt out of their domain, division
// by zero, overflow, NaN, or an infinite derivative such as sqrt at 0) makes the call return
// false; its value and gradient are then not meaningful and must not be used. Only the branch
// of an if-then-else that is taken is evaluated, so an error in the other one does not count.
//
// All storage is sized in the constructor: evaluations allocate nothing. One Evaluator serves
// one caller at a time (it holds the point and the sweep arrays); it keeps a reference to the
// model, which must outlive it.

#include <cstdint>
#include <vector>

#include "nl/nl_model.hpp"

namespace kavro::nl {

class Evaluator {
 public:
  explicit Evaluator(const Model& model);

  // Copies the point; the defined variables are evaluated when first needed at it (and kept
  // when the point is the one before).
  void setPoint(const double* x);

  // Nonlinear part of function f alone.
  bool nonlinearValue(int32_t f, double& value);
  // Whole function: nonlinear part plus linear terms.
  bool value(int32_t f, double& value);
  // The nonlinear part's value and the whole function's gradient on its G or J list.
  bool gradient(int32_t f, double& nonlinear, double* grad);
  // The linear terms of function f at the point.
  double linearValue(int32_t f) const;

  // The G or J list of function f.
  const LinearTerm* termsBegin(int32_t f) const;
  const LinearTerm* termsEnd(int32_t f) const;
  int32_t termCount(int32_t f) const { return static_cast<int32_t>(termsEnd(f) - termsBegin(f)); }

 private:
  // Forward sweep over expression e; false when e or a defined variable it uses could not be
  // evaluated.
  bool forward(int32_t e);
  // Backward sweep from e's root: the derivatives gather in the variables' adjoint slots, with
  // those of the defined variables e uses spread in. False when one of those defined
  // variables has no gradient at the point.
  bool backward(int32_t e);
  void evaluateDefined();
  void differentiateDefined();

  const Model& m_;
  const Tape& tape_;
  std::vector<double> value_, adjoint_;  // per slot; the point is value_[0 .. nVars)
  std::vector<uint8_t> definedError_, definedGradError_;
  std::vector<double> definedGradient_;  // on Model::expressionVars of each defined variable
  std::vector<size_t> definedGradStart_;
  IndexLists definedUsed_;  // per expression, the defined variables it uses
  bool definedValid_ = false, definedGradValid_ = false;
};

}  // namespace kavro::nl
