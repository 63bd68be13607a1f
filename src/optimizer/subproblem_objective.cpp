#include "optimizer/subproblem_objective.hpp"

#include <algorithm>

namespace kavro {

SubproblemObjective::SubproblemObjective(const Problem& prob, const Parameters& params, const RunScaling& scaling,
                                         FunctionEvaluator* evaluator, MajorIterations* majors, int32_t nJacElements)
    : prob_(prob),
      p_(params),
      scaling_(scaling),
      evaluator_(evaluator),
      majors_(majors),
      sigma_(params.objectiveSense >= 1 ? 1.0 : -1.0),
      objSlack_(prob.objRow >= 0 ? prob.n + prob.objRow : -1),
      nonlinear_(prob.nNonlinObjVars > 0 || (majors && majors->lagrangianOn())) {
  auto size = [](int32_t n) { return static_cast<size_t>(std::max(n, 0)); };
  gradient_.assign(size(prob.n), 0.0);
  xTrial_.assign(size(prob.nNonlinVars()), 0.0);
  gTrial_.assign(size(prob.nNonlinVars()), 0.0);
  gUser_.assign(size(prob.nNonlinObjVars), 0.0);
  gUserTrial_.assign(size(prob.nNonlinObjVars), 0.0);
  conValues_.assign(size(prob.nNonlinCons), 0.0);
  conJacobian_.assign(size(nJacElements), 0.0);
  currentCon_.assign(size(prob.nNonlinCons), 0.0);
  hessianWeights_.assign(size(prob.nNonlinCons), 0.0);
  currentJac_.assign(size(nJacElements), 0.0);
  linePositions_.reserve(size(prob.m + std::max(1, params.superbasicsLimit) + 1));
}

double SubproblemObjective::objScale() const {
  return (objSlack_ >= 0 && !scaling_.factors.empty()) ? scaling_.factors[objSlack_] : 1.0;
}

double SubproblemObjective::trueObjective(const double* x) const {
  double value = prob_.objConstant + (evaluated_ ? fUser_ : 0.0);
  if (objSlack_ >= 0) value -= x[objSlack_] * objScale();
  return value;
}

// The subproblem's nonlinear part plus sigma times the objective row's.
double SubproblemObjective::minimized(const double* x) const {
  return (evaluated_ ? fNonlinear_ : 0.0) +
         sigma_ * (trueObjective(x) - prob_.objConstant - (evaluated_ ? fUser_ : 0.0));
}

double SubproblemObjective::phaseGradient(int32_t j, bool infeasible, double weightOnObjective) const {
  if (j == objSlack_) return (infeasible ? -weightOnObjective : -1.0) * sigma_ * objScale();
  if (infeasible || !nonlinear_ || j >= prob_.n) return 0.0;
  return gradient_[j];
}

// The user's f, the minimized subproblem value and its gradient over the nonlinear variables.
// Constraints are evaluated first, as the user's routines expect.
int32_t SubproblemObjective::evaluate(const double* x, bool wantGradient) {
  FunctionEvaluator* fe = evaluator_;
  if (!fe) return kFunctionError;
  const bool lagrangian = majors_ && majors_->lagrangianOn();
  if (lagrangian) {
    const int32_t status = wantGradient ? fe->constraintsAndJacobian(x, conValues_.data(), conJacobian_.data())
                                        : fe->constraintValues(x, conValues_.data());
    if (status != 0) return status;
  }
  fUserTrial_ = 0.0;
  const int32_t nObj = prob_.nNonlinObjVars;
  if (nObj > 0) {
    const int32_t status = wantGradient ? fe->objectiveAndGradient(x, fUserTrial_, gUserTrial_.data())
                                        : fe->objectiveValue(x, fUserTrial_);
    if (status != 0) return status;
  }
  fTrial_ = sigma_ * fUserTrial_;
  double* g = gTrial_.data();
  if (wantGradient) {
    std::fill(g, g + prob_.nNonlinVars(), 0.0);
    for (int32_t j = 0; j < nObj; ++j) g[j] = sigma_ * gUserTrial_[j];
  }
  if (lagrangian)
    fTrial_ += majors_->lagrangianTerms(x, conValues_.data(), wantGradient ? conJacobian_.data() : nullptr,
                                        wantGradient ? g : nullptr);
  return 0;
}

void SubproblemObjective::takeTrial() {
  fUser_ = fUserTrial_;
  fNonlinear_ = fTrial_;
  std::copy(gTrial_.begin(), gTrial_.begin() + prob_.nNonlinVars(), gradient_.begin());
  std::copy(gUserTrial_.begin(), gUserTrial_.end(), gUser_.begin());
  if (majors_ && majors_->lagrangianOn()) {
    std::copy(conValues_.begin(), conValues_.end(), currentCon_.begin());
    std::copy(conJacobian_.begin(), conJacobian_.end(), currentJac_.begin());
  }
  stale_ = false;
}

int32_t SubproblemObjective::evaluateAt(const double* x) {
  const int32_t status = evaluate(x, true);
  if (status != 0) return status == kFunctionUndefined ? status : kFunctionError;
  takeTrial();
  evaluated_ = true;
  return 0;
}

// The objective's gradient when "Derivative level" is 0 or 2, the constraints' (inside the
// Lagrangian) when it is 0 or 1.
bool SubproblemObjective::gradientsDifferenced() const {
  const int32_t level = p_.derivativeLevel;
  const bool objective = prob_.nNonlinObjVars > 0 && (level == 0 || level == 2);
  const bool constraints = majors_ && majors_->lagrangianOn() && (level == 0 || level == 1);
  return objective || constraints;
}

bool SubproblemObjective::forwardDifferencesInUse() const {
  return gradientsDifferenced() && evaluator_ && evaluator_->differenceChoice() == FunctionEvaluator::kForward;
}

void SubproblemObjective::userGradientUnscaled(std::vector<double>& g) const {
  g.assign(prob_.nNonlinObjVars, 0.0);
  if (!evaluated_) return;
  const std::vector<double>& scales = scaling_.factors;
  for (int32_t j = 0; j < prob_.nNonlinObjVars; ++j) {
    const double scale = scales.empty() ? 1.0 : scales[j];
    g[j] = gUser_[j] / scale;
  }
}

int32_t SubproblemObjective::constraintValuesAt(const double* x) {
  return evaluator_ ? evaluator_->constraintValues(x, conValues_.data()) : kFunctionError;
}

bool SubproblemObjective::prepareHessian(const double* x) {
  if (!secondDerivativesOffered()) return false;
  if (majors_) majors_->hessianWeights(x, currentCon_.data(), hessianWeights_.data());
  return evaluator_->prepareHessian(x, sigma_, hessianWeights_.data());
}

bool SubproblemObjective::hessianProduct(const double* v, double* hv) {
  if (!evaluator_->hessianProduct(v, hv)) return false;
  if (majors_) majors_->addPenaltyProduct(currentJac_.data(), v, hv);
  return true;
}

bool SubproblemObjective::hessianTriangle(NonlinearFunctions::HessianTriangle& triangle) {
  return !majors_ && evaluator_->hessianTriangle(triangle);
}

}  // namespace kavro
