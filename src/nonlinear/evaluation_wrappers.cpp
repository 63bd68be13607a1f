// The two wrappers through which every call of the user's routines passes: counting, the
// first-call and last-call protocol, the derivative inventory, scaling for "Scale option" 2, and
// the turning of the routine's mode (or of a value that is not finite) into a result code.

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "kernels/vector_ops.hpp"
#include "nonlinear/function_evaluator.hpp"

namespace kavro {

namespace {

// Times one wrapper call on its routine's clock when "Timing level" asks for function timing.
class EvaluationClock {
 public:
  EvaluationClock(Timers* timers, int clock, const Parameters& p, const ReportChannels& out)
      : timers_(p.timingLevel > 1 ? timers : nullptr), clock_(clock), out_(out) {
    if (timers_) timers_->operate(clock_, 0, out_);
  }
  ~EvaluationClock() {
    if (timers_) timers_->operate(-clock_, 0, out_);
  }
  EvaluationClock(const EvaluationClock&) = delete;
  EvaluationClock& operator=(const EvaluationClock&) = delete;

 private:
  Timers* timers_;
  int clock_;
  const ReportChannels& out_;
};

bool allFinite(int32_t n, const double* v) {
  for (int32_t k = 0; k < n; ++k)
    if (!std::isfinite(v[k])) return false;
  return true;
}

int32_t countSet(int32_t n, const double* g) {
  int32_t k = 0;
  for (int32_t e = 0; e < n; ++e)
    if (g[e] != kUnsetDerivative) ++k;
  return k;
}

void checkShape(const NonlinearShape& s, const NonlinearFunctions* functions) {
  const JacobianStructure& jac = s.jacobian;
  bool ok = s.nNonlinObjVars >= 0 && jac.nCons >= 0 && jac.nVars >= 0 &&
            jac.colStart.size() == static_cast<size_t>(jac.nVars) + 1 && jac.colStart.front() == 0 &&
            jac.colStart.back() == jac.elements() && s.storedJacobian.size() == jac.row.size();
  for (int32_t j = 0; ok && j < jac.nVars; ++j) ok = jac.colStart[j] <= jac.colStart[j + 1];
  for (int32_t i : jac.row) ok = ok && i >= 0 && i < jac.nCons;
  if (!ok) throw std::invalid_argument("FunctionEvaluator: inconsistent nonlinear shape");
  if (!functions && (s.nNonlinObjVars > 0 || jac.elements() > 0 || (jac.nCons > 0 && jac.nVars > 0)))
    throw std::invalid_argument("FunctionEvaluator: nonlinear functions are required");
}

}  // namespace

FunctionEvaluator::FunctionEvaluator(Parameters& params, const ReportChannels& out, Timers* timers,
                                     NonlinearFunctions* functions, NonlinearShape shape)
    : p_(params), out_(out), timers_(timers), functions_(functions), shape_(std::move(shape)) {
  checkShape(shape_, functions_);
  const bool hasJacobian = shape_.jacobian.nCons > 0 && shape_.jacobian.nVars > 0;
  nObj_ = shape_.nNonlinObjVars;
  nCon_ = hasJacobian ? shape_.jacobian.nCons : 0;
  nJacVars_ = hasJacobian ? shape_.jacobian.nVars : 0;
  nJac_ = hasJacobian ? shape_.jacobian.elements() : 0;
  nVars_ = nObj_ > nJacVars_ ? nObj_ : nJacVars_;

  const auto nv = static_cast<size_t>(nVars_), nc = static_cast<size_t>(nCon_);
  const auto no = static_cast<size_t>(nObj_), nj = static_cast<size_t>(nJac_);
  jacSetByRoutine_.assign(nj, 1);
  colScale_.assign(nv, 1.0);
  rowScale_.assign(nc, 1.0);
  for (auto* v : {&xWork_, &xUser_, &xBase_, &xTrial_, &lowerV_, &upperV_, &dir1_, &dir2_}) v->assign(nv, 0.0);
  for (auto* v : {&gObjScratch_, &gVerify_}) v->assign(no, 0.0);
  for (auto* v : {&gJacScratch_, &jVerify_}) v->assign(nj, 0.0);
  for (auto* v : {&fScratch1_, &fScratch2_, &fVerify_, &jpVerify_}) v->assign(nc, 0.0);
  rowUsable_.assign(nc, 0);
  hessianWeights_.assign(nc, 0.0);
  hessianVector_.assign(nv, 0.0);
  userX_ = xWork_.data();
}

// ---------------------------------------------------------------- scaling and the point

void FunctionEvaluator::setScales(std::span<const double> columnScales, std::span<const double> rowScales) {
  if (columnScales.size() < colScale_.size() || rowScales.size() < rowScale_.size())
    throw std::invalid_argument("FunctionEvaluator::setScales: too few scale factors");
  const auto usable = [](double s) { return s > 0.0 && std::isfinite(s); };
  if (!std::all_of(columnScales.begin(), columnScales.begin() + static_cast<std::ptrdiff_t>(colScale_.size()),
                   usable) ||
      !std::all_of(rowScales.begin(), rowScales.begin() + static_cast<std::ptrdiff_t>(rowScale_.size()), usable))
    throw std::invalid_argument("FunctionEvaluator::setScales: scale factors must be positive and finite");
  std::copy_n(columnScales.begin(), colScale_.size(), colScale_.begin());
  std::copy_n(rowScales.begin(), rowScale_.size(), rowScale_.begin());
  scalesSet_ = true;
}

bool FunctionEvaluator::scalingInForce() const { return scalesSet_ && scalingEnabled_ && p_.scaleOption == 2; }

void FunctionEvaluator::loadPoint(const double* x, int32_t count, bool userUnits) {
  kernels::dcopy(count, x, xWork_.data());
  projectLoadedPoint(count, userUnits);
  userScaled_ = scalingInForce();
  if (!userScaled_) {
    userX_ = xWork_.data();
    return;
  }
  for (int32_t j = 0; j < count; ++j) xUser_[j] = userValue(j, xWork_[j]);
  userX_ = xUser_.data();
}

double FunctionEvaluator::userValue(int32_t j, double value) const {
  return userScaled_ ? value * colScale_[j] : value;
}

// Differencing moves one variable of the loaded point; only its user copy has to follow.
void FunctionEvaluator::setVariable(int32_t j, double value) {
  xWork_[j] = value;
  if (userScaled_) xUser_[j] = userValue(j, value);
}

// ---------------------------------------------------------------- public wrappers

int32_t FunctionEvaluator::evalObjective(int32_t mode, const double* x, double& f, double* g) {
  loadPoint(x, nObj_);
  return objectiveForOptimizer(mode == 2 ? 2 : 0, f, g);
}

int32_t FunctionEvaluator::evalConstraints(int32_t mode, const double* x, double* f, double* g) {
  loadPoint(x, nJacVars_);
  return constraintsForOptimizer(mode == 2 ? 2 : 0, f, g);
}

// What the optimizer is given: the derivatives that "Derivative level" declares unknown are
// marked for differencing even when the routine filled them, so that a level chosen to distrust
// a routine's derivatives is honoured. (Verification calls the routines directly: it checks
// what they set, whatever the level.)
int32_t FunctionEvaluator::objectiveForOptimizer(int32_t mode, double& f, double* g) {
  const int32_t result = callObjective(mode, f, g);
  if (result == 0 && mode == 2 && g && !objectiveGradientsKnown()) kernels::fill(nObj_, kUnsetDerivative, g);
  return result;
}

int32_t FunctionEvaluator::constraintsForOptimizer(int32_t mode, double* f, double* g) {
  const int32_t result = callConstraints(mode, f, g);
  if (result == 0 && mode == 2 && g && !constraintGradientsKnown()) kernels::fill(nJac_, kUnsetDerivative, g);
  return result;
}

// ---------------------------------------------------------------- the wrappers proper

void FunctionEvaluator::countCall(Routine& r, int32_t mode) {
  ++r.counts.calls;
  if (mode == 2) ++r.counts.mode2;
}

int32_t FunctionEvaluator::resultOfMode(int32_t mode, const Routine& r) {
  if (mode == -1) return kFunctionUndefined;
  stopRequested_ = true;
  out_.both("%s", " EXIT -- Termination requested by User");
  out_.both(" in subroutine %s after %lld calls", r.name, static_cast<long long>(r.counts.calls));
  return kFunctionError;
}

// Counts the call and announces a last call. Until the inventory is taken every call asks for
// derivatives (it is the call that takes it), so a first call with mode 0 cannot make the
// inventory find nothing. Returns the mode the call is made with.
int32_t FunctionEvaluator::startCall(Routine& r, int32_t mode, bool lastCall) {
  if (!r.inventoryTaken && !lastCall) mode = 2;
  countCall(r, mode);
  if (r.nstate >= 2) out_.both(" %s called with nstate =%4d", r.name, r.nstate);
  return mode;
}

int32_t FunctionEvaluator::callObjective(int32_t mode, double& f, double* g, bool lastCall) {
  f = 0.0;
  if (nObj_ == 0) return 0;
  EvaluationClock clock(timers_, obj_.clock, p_, out_);
  mode = startCall(obj_, mode, lastCall);
  const int32_t nstate = obj_.nstate;
  double* gUser = mode == 2 && g ? g : gObjScratch_.data();
  if (mode == 2) kernels::fill(nObj_, kUnsetDerivative, gUser);
  const int32_t result = invokeObjective(mode, f, gUser, nstate);
  if (nstate == 1) obj_.nstate = 0;
  if (result == 0 && mode == 2 && !obj_.inventoryTaken && !lastCall) takeObjectiveInventory(gUser);
  return result;
}

int32_t FunctionEvaluator::callConstraints(int32_t mode, double* f, double* g, bool lastCall) {
  if (nCon_ == 0) return 0;
  EvaluationClock clock(timers_, con_.clock, p_, out_);
  mode = startCall(con_, mode, lastCall);
  const int32_t nstate = con_.nstate;
  double* gUser = mode == 2 && g ? g : gJacScratch_.data();
  if (mode == 2) presetJacobian(gUser);
  int32_t result = invokeConstraints(mode, f, gUser, nstate);
  if (nstate == 1) con_.nstate = 0;
  if (result == 0 && mode == 2 && !con_.inventoryTaken && !lastCall) result = takeJacobianInventory(f, gUser);
  return result;
}

int32_t FunctionEvaluator::invokeObjective(int32_t mode, double& f, double* g, int32_t nstate) {
  int userMode = mode;
  functions_->objective(userMode, nObj_, userX_, f, g, nstate);
  if (userMode < 0) return resultOfMode(userMode, obj_);
  if (mode == 2 && userScaled_) {
    for (int32_t j = 0; j < nObj_; ++j)
      if (g[j] != kUnsetDerivative) g[j] *= colScale_[j];
  }
  if (!std::isfinite(f) || (mode == 2 && !allFinite(nObj_, g))) return kFunctionUndefined;
  return 0;
}

int32_t FunctionEvaluator::invokeConstraints(int32_t mode, double* f, double* g, int32_t nstate) {
  int userMode = mode;
  functions_->constraints(userMode, nCon_, nJacVars_, nJac_, userX_, f, g, nstate);
  if (userMode < 0) return resultOfMode(userMode, con_);
  if (userScaled_) {
    for (int32_t i = 0; i < nCon_; ++i) f[i] /= rowScale_[i];
    const JacobianStructure& jac = shape_.jacobian;
    for (int32_t j = 0; mode == 2 && j < nJacVars_; ++j) {
      const double c = colScale_[j];
      for (int32_t k = jac.colStart[j]; k < jac.colStart[j + 1]; ++k)
        if (g[k] != kUnsetDerivative) g[k] *= c / rowScale_[jac.row[k]];
    }
  }
  if (!allFinite(nCon_, f) || (mode == 2 && !allFinite(nJac_, g))) return kFunctionUndefined;
  return 0;
}

// What "Derivative level" declares known: 3 both, 2 the constraints', 1 the objective's, 0
// neither.
bool FunctionEvaluator::objectiveGradientsKnown() const { return p_.derivativeLevel == 1 || p_.derivativeLevel == 3; }
bool FunctionEvaluator::constraintGradientsKnown() const { return p_.derivativeLevel >= 2; }

// Elements the routine provides are marked so that an element it stops setting is noticed and
// differenced; elements it never set are constants (the stored matrix values, in the user's
// units like everything the routine returns) while the level says constraint gradients are
// known, else marked for differencing.
void FunctionEvaluator::presetJacobian(double* g) const {
  const bool constantsKnown = con_.inventoryTaken && constraintGradientsKnown();
  for (int32_t k = 0; k < nJac_; ++k) {
    const bool constant = constantsKnown && !jacSetByRoutine_[k];
    g[k] = constant ? shape_.storedJacobian[k] : kUnsetDerivative;
  }
}

void FunctionEvaluator::takeObjectiveInventory(const double* g) {
  obj_.inventoryTaken = true;
  const int32_t k = countSet(nObj_, g);
  out_.both(" funobj  sets%8d out of%8d objective  gradients.", k, nObj_);
  if (k < nObj_ && objectiveGradientsKnown()) {
    p_.derivativeLevel -= 1;
    out_.both(" Derivative Level  now reduced to%3d", p_.derivativeLevel);
  }
}

// With elements left unset the routine is called a second time, now with the constants in
// place (levels 2 and 3), so that what it returns is complete in the same way as every later
// call.
int32_t FunctionEvaluator::takeJacobianInventory(double* f, double* g) {
  con_.inventoryTaken = true;
  for (int32_t e = 0; e < nJac_; ++e) jacSetByRoutine_[e] = g[e] != kUnsetDerivative;
  const int32_t k = countSet(nJac_, g);
  out_.both(" funcon  sets%8d out of%8d constraint gradients.", k, nJac_);
  if (k == nJac_) return 0;
  countCall(con_, 2);
  presetJacobian(g);
  return invokeConstraints(2, f, g, con_.nstate);
}

// ---------------------------------------------------------------- end of run

int32_t FunctionEvaluator::callAtEnd(const double* x, int32_t exitCode) {
  const bool enabled = scalingEnabled_;
  scalingEnabled_ = false;
  const int32_t nstate = 2 + exitCode;
  int32_t result = 0;
  if (nCon_ > 0) {
    con_.nstate = nstate;
    loadPoint(x, nJacVars_, true);
    if (callConstraints(0, fScratch1_.data(), nullptr, true) == kFunctionError) result = kFunctionError;
    con_.nstate = 0;
  }
  if (nObj_ > 0) {
    obj_.nstate = nstate;
    loadPoint(x, nObj_, true);
    double f = 0.0;
    if (callObjective(0, f, nullptr, true) == kFunctionError) result = kFunctionError;
    obj_.nstate = 0;
  }
  scalingEnabled_ = enabled;
  return result;
}

}  // namespace kavro
