#include "nonlinear/major_iterations.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "kernels/column_view.hpp"
#include "kernels/vector_ops.hpp"

#include "nonlinear/wichmann_hill.hpp"

namespace kavro {

namespace {

constexpr double kSinglePrecisionTenth = 0.10000000149011612;
// A restoration step is halved down to this length at the least before it is taken as it is.
constexpr double kShortestRestorationStep = 1.0e-3;
// How far past its usual ceiling a stalled violation may raise the penalty.
constexpr double kStalledPenaltyCeiling = 1.0e4;
// A stalled violation raises the penalty only when above this share of the optimality measure.
constexpr double kStallOptimalityShare = 0.01;

}  // namespace

MajorIterations::MajorIterations(Parameters& params, const ReportChannels& out, FunctionEvaluator& evaluator,
                                 const IterationCallback* callback, int32_t m, int32_t n)
    : params_(params),
      out_(out),
      fe_(evaluator),
      callback_(callback),
      m_(m),
      n_(n),
      C_(evaluator.nNonlinCons()),
      nJ_(evaluator.nNonlinJacVars()),
      nJac_(evaluator.nJacElements()),
      jac_(evaluator.jacobian()) {
  for (auto* v : {&Fk_, &F_, &lambda_, &lambdaNew_, &lambdaOld_, &savedLower_, &savedUpper_, &fScratch_, &departure_})
    v->assign(C_, 0.0);
  for (auto* v : {&Jk_, &J_, &savedMatrix_}) v->assign(nJac_, 0.0);
  xk_.assign(nJ_, 0.0);
  gScratch_.assign(std::max(1, evaluator.nNonlinObjVars()), 0.0);
  rhs_.assign(m, 0.0);
  xStart_.assign(n + m, 0.0);
  xSub_.assign(n + m, 0.0);
  linearPart_.assign(C_, 0.0);
  prices_.assign(m, 0.0);
  const double rho0 = params_.currentPenalty > 0.0 ? params_.currentPenalty : 1.0;
  rhoMin_ = 1.0e-4 * rho0;
  rhoMax_ = 10.0 * rho0;
  rhoLastPositive_ = rho0;
}

// ---------------------------------------------------------------- set-up of the run

void MajorIterations::saveRowBounds(const Problem& prob) {
  // The nonlinear rows' slacks are the first C_ after the n columns.
  const double* rowLower = prob.lower.data() + n_;
  const double* rowUpper = prob.upper.data() + n_;
  std::copy(rowLower, rowLower + C_, savedLower_.begin());
  std::copy(rowUpper, rowUpper + C_, savedUpper_.begin());
}

void MajorIterations::relaxRows(Problem& prob) {
  rowsRelaxed_ = true;
  std::fill_n(prob.lower.begin() + n_, C_, -params_.machine.infBound);
  std::fill_n(prob.upper.begin() + n_, C_, params_.machine.infBound);
}

void MajorIterations::restoreRowBounds(Problem& prob) {
  rowsRelaxed_ = false;
  std::copy(savedLower_.begin(), savedLower_.end(), prob.lower.begin() + n_);
  std::copy(savedUpper_.begin(), savedUpper_.end(), prob.upper.begin() + n_);
}

void MajorIterations::unscaleStartingPoint(const std::vector<double>& scales) {
  for (size_t j = 0; j < xStart_.size() && j < scales.size(); ++j) xStart_[j] *= scales[j];
}

void MajorIterations::setInitialMultipliers(const std::vector<double>& pi, double sigma) {
  double biggest = 0.0;
  for (int32_t i = 0; i < C_; ++i) {
    lambda_[i] = sigma * pi[i];
    biggest = std::max(biggest, std::fabs(pi[i]));
  }
  if (biggest >= 1.0e10) {
    out_.both("%s", " XXX Warning: pi(*) is big (perhaps not initialized).");
    out_.both("%s", " XXX Setting  pi(*) = 0  for use as initial lambda.");
    std::fill(lambda_.begin(), lambda_.end(), 0.0);
  }
}

void MajorIterations::scaleMultipliers(const double* rowScales) {
  double* lambda = lambda_.data();
  for (int32_t i = 0; i < C_; ++i) lambda[i] *= rowScales[i];
}

void MajorIterations::randomJacobianForCrash(Problem& prob) {
  WichmannHill random;
  const int32_t* position = jac_.position.data();
  double* value = prob.a.value.data();
  double* saved = savedMatrix_.data();
  for (int32_t e = 0; e < nJac_; ++e) {
    saved[e] = value[position[e]];
    value[position[e]] = random.next() + 0.5;
  }
}

void MajorIterations::restoreMatrixJacobian(Problem& prob) {
  const int32_t* position = jac_.position.data();
  double* value = prob.a.value.data();
  for (int32_t e = 0; e < nJac_; ++e) value[position[e]] = savedMatrix_[e];
}

// ---------------------------------------------------------------- the start of a major iteration

// The functions at x, whose nonlinear variables are first put within their bounds: the bounds
// are the functions' domain, and the linearization must be made at the point the functions
// were evaluated at. (Basic values moved this way are recomputed by the next factorization.)
int32_t MajorIterations::evaluateAt(const Problem& prob, std::vector<double>& x) {
  const int32_t nonlinear = std::max(nJ_, fe_.nNonlinObjVars());
  for (int32_t j = 0; j < nonlinear; ++j)
    x[j] = std::clamp(x[j], prob.lower[j], std::max(prob.lower[j], prob.upper[j]));
  if (C_ > 0) {
    const int32_t status = fe_.constraintsAndJacobian(x.data(), F_.data(), J_.data());
    if (status != 0) return status;
  }
  objective_ = 0.0;
  if (fe_.nNonlinObjVars() > 0) return fe_.objectiveAndGradient(x.data(), objective_, gScratch_.data());
  return 0;
}

int32_t MajorIterations::start(int32_t k, const SubproblemSummary& previous, MajorView& view) {
  if (k == 1) {
    // The first subproblem has only the linear constraints to satisfy: with the rows relaxed,
    // an infeasible first subproblem means the linear constraints themselves are infeasible.
    saveRowBounds(*view.prob);
    relaxRows(*view.prob);
    const int32_t status = evaluateAt(*view.prob, *view.x);
    if (status != 0) return status;
    std::tie(violation_, violationSum_) = violationAt(*view.prob, *view.x);
    step_ = 1.0;
    linearize(view);
    return 0;
  }
  markDiagnosticsStart();
  // Every subproblem after the first has the nonlinear rows with their own bounds (a
  // perturbation only helps the subproblem it was made for).
  restoreRowBounds(*view.prob);
  // The retries for infeasible subproblems count the ones in a row: a subproblem solved since
  // with the rows' own bounds, or one that halved the violation since the retries began, shows
  // that the linearizations can be satisfied again, and a later infeasible stretch gets its own
  // retries.
  if (previous.status == kSubproblemOptimal && (!boundsPerturbed_ || violation_ <= 0.5 * violationAtFirstRetry_)) {
    infeasibleRetries_ = 0;
    rowPerturbations_ = 0;
    restorationViolation_ = 1e20;
  }
  boundsPerturbed_ = false;
  // The prices of an infeasible subproblem belong to its sum of infeasibilities, not to the
  // objective: the estimates stay as they were.
  if (previous.status == kSubproblemInfeasible) lambdaNew_ = lambda_;
  else updateMultipliers(view);
  const double* x = view.x->data();
  const double* xk = xk_.data();
  double dx = 0.0;
  for (int32_t j = 0; j < nJ_; ++j) dx = std::max(dx, std::fabs(x[j] - xk[j]));
  const double cx = dx / (kernels::maxNorm(nJ_, xk_.data()) + 1.0);
  const double lambdaNorm = kernels::maxNorm(C_, lambda_.data());
  const double* lambda = lambda_.data();
  const double* lambdaNew = lambdaNew_.data();
  double dLambda = 0.0;
  for (int32_t i = 0; i < C_; ++i) dLambda = std::max(dLambda, std::fabs(lambdaNew[i] - lambda[i]));
  const double cLambda = lambdaNorm > params_.machine.eps2 ? dLambda / (lambdaNorm + 1.0) : 1.0;
  firstUpdate_ = k == 2;
  const int32_t status = dampStep(view, cx, cLambda, previous.status == kSubproblemInfeasible);
  if (status != 0) return status;
  printChanges(MajorChanges{dx, cx, dLambda, cLambda});
  measureViolation(view);
  linearize(view);
  measureOptimality(view);
  if (cx <= params_.machine.eps0) {
    out_.both("%s", " Jacobian variables have not changed");
    ++unchangedCount_;
  } else {
    unchangedCount_ = 0;
  }
  if (previous.status != kSubproblemInfeasible && previous.status != kSubproblemUnbounded) {
    const bool within = optimal_ <= params_.optimalityTolerance && feasible_ <= params_.rowTolerance;
    convergedCount_ = within ? convergedCount_ + 1 : 0;
    convergedStrongly_ = within && optimal_ <= params_.machine.eps2 && feasible_ <= params_.machine.eps2;
  }
  if (params_.completion == 0 && previous.status == kSubproblemOptimal && feasible_ <= kSinglePrecisionTenth &&
      optimal_ <= kSinglePrecisionTenth) {
    params_.completion = 1;
    out_.both("%s", " Completion Full    now requested");
  }
  adaptPenalty(cx, cLambda, k);
  if (previous.status == kSubproblemOptimal || previous.status == kSubproblemLimit) raisePenaltyWhenViolationStalls();
  printPointAndEstimates(view);
  printLogLine(k, previous, view);
  return 0;
}

// The subproblem's multipliers of the nonlinear rows, with the sign that the state of the row's
// slack allows, bounded in size.
void MajorIterations::updateMultipliers(const MajorView& view) {
  const double bound = 1.0 / params_.machine.eps0;
  const double* pi = view.pi->data();
  const int32_t* rowState = view.hs->data() + n_;
  for (int32_t i = 0; i < C_; ++i) {
    double v = pi[i];
    if (rowState[i] == kAtLower) v = std::min(v, 0.0);
    else if (rowState[i] == kAtUpper) v = std::max(v, 0.0);
    lambdaNew_[i] = std::clamp(v, -bound, bound);
  }
}

// Moves the point and the multipliers part of the way when the subproblem proposes a large
// change, and evaluates the functions there; an undefined point shortens the step further. A
// step from an infeasible subproblem is only a step toward feasibility: it is shortened until
// the sum of violations of the true constraints falls below its value at the linearization point.
int32_t MajorIterations::dampStep(MajorView& view, double cx, double cLambda, bool restoring) {
  const double damping = params_.majorDampingParameter;
  double sigma = std::min(1.0, damping / (cx + 1.0e-15));
  if (view.hasLinearConstraints || !firstUpdate_) sigma = std::min(sigma, damping / (cLambda + 1.0e-15));
  if (sigma >= 0.99) sigma = 1.0;
  std::vector<double>& x = *view.x;
  std::copy(x.begin(), x.end(), xSub_.begin());
  std::copy(lambda_.begin(), lambda_.end(), lambdaOld_.begin());
  const double sumAtStart = violationSum_;
  for (;;) {
    if (sigma < 1.0)
      for (size_t j = 0; j < x.size(); ++j) x[j] = xStart_[j] + sigma * (xSub_[j] - xStart_[j]);
    for (size_t i = 0; i < lambda_.size(); ++i) lambda_[i] = lambdaOld_[i] + sigma * (lambdaNew_[i] - lambdaOld_[i]);
    const int32_t status = evaluateAt(*view.prob, x);
    if (status == kFunctionUndefined && sigma >= 1.0e-5) {
      sigma *= 0.1;
      continue;
    }
    if (status == 0 && restoring && sigma >= kShortestRestorationStep &&
        violationAt(*view.prob, x).second >= sumAtStart) {
      sigma *= 0.5;
      continue;
    }
    step_ = sigma;
    return status;
  }
}

// Violation of the true nonlinear constraints at x (F_ evaluated there): the largest and the
// sum over the rows.
std::pair<double, double> MajorIterations::violationAt(const Problem& prob, const std::vector<double>& x) {
  std::fill(linearPart_.begin(), linearPart_.end(), 0.0);
  double* linearPart = linearPart_.data();
  const kernels::ColumnView a(prob.a);
  for (int32_t j = nJ_; j < n_; ++j) {
    const double v = x[j];
    if (v == 0.0) continue;
    for (int32_t e = a.start[j]; e < a.start[j + 1]; ++e)
      if (a.row[e] < C_) linearPart[a.row[e]] += a.value[e] * v;
  }
  double largest = 0.0, sum = 0.0;
  for (size_t i = 0; i < linearPart_.size(); ++i) {
    const double slack = -(F_[i] + linearPart[i]);
    const double v = std::max({0.0, savedLower_[i] - slack, slack - savedUpper_[i]});
    largest = std::max(largest, v);
    sum += v;
  }
  return {largest, sum};
}

// Violation at the (damped) point, normalized.
void MajorIterations::measureViolation(const MajorView& view) {
  const std::vector<double>& x = *view.x;
  std::tie(violation_, violationSum_) = violationAt(*view.prob, x);
  feasible_ = violation_ / (kernels::maxNorm(nJ_, x.data()) + 1.0);
  if (params_.printLevel % 10 > 0)
    out_.print(" Maximum constraint violation    = %12.4e ( = %12.4e normalized)", violation_, feasible_);
}

// The optimality measure of the problem itself at the new point: reduced costs of the true
// Lagrangian, g - J' lambda - A' pi, with the Jacobian just loaded into the matrix, the new
// estimates for the nonlinear rows and the subproblem's prices for the linear ones. (The
// subproblem's own reduced gradient is zero at its solution whatever the penalty holds back, so
// it cannot tell whether the problem is optimal.)
void MajorIterations::measureOptimality(const MajorView& view) {
  const Problem& prob = *view.prob;
  const std::vector<double>& x = *view.x;
  const std::vector<double>& pi = *view.pi;
  std::copy(pi.begin(), pi.end(), prices_.begin());
  std::copy(lambda_.begin(), lambda_.end(), prices_.begin());
  const double* prices = prices_.data();
  double priceNorm = 0.0;
  for (int32_t i = 0; i < m_; ++i)
    if (n_ + i != view.objSlack) priceNorm = std::max(priceNorm, std::fabs(prices[i]));
  const int32_t nObj = fe_.nNonlinObjVars();
  double o = 0.0;
  auto contribution = [&](int32_t j, double dj) {
    const double lo = prob.lower[j], up = prob.upper[j];
    if (lo == up || j == view.objSlack) return;
    if (dj > 0.0) o = std::max(o, dj * std::min(1.0, x[j] - lo));
    else if (dj < 0.0) o = std::max(o, -dj * std::min(1.0, up - x[j]));
  };
  const kernels::ColumnView a(prob.a);
  for (int32_t j = 0; j < n_; ++j) {
    double dj = j < nObj ? view.sigma * gScratch_[j] : 0.0;
    for (int32_t e = a.start[j]; e < a.start[j + 1]; ++e) dj -= a.value[e] * prices[a.row[e]];
    contribution(j, dj);
  }
  for (int32_t i = 0; i < m_; ++i) contribution(n_ + i, -prices[i]);
  optimal_ = o / (priceNorm + 1.0);

  goodStep_ = (step_ == 1.0 && feasible_ <= 1.1 * (minViolation_ + 0.1) && optimal_ <= 1.1 * (minOptimality_ + 0.1)) ||
              feasible_ + optimal_ < minSum_;
  minViolation_ = std::min(minViolation_, feasible_);
  minOptimality_ = std::min(minOptimality_, optimal_);
  minSum_ = std::min(minSum_, feasible_ + optimal_);
}

void MajorIterations::adaptPenalty(double cx, double cLambda, int32_t k) {
  double& rho = params_.currentPenalty;
  const double radius = params_.radiusOfConvergence;
  if (raisedAtViolation_ > 0.0 && feasible_ <= 0.5 * raisedAtViolation_) raisedAtViolation_ = 0.0;
  if (rho > rhoMin_ && cLambda <= radius && feasible_ <= radius && cx <= radius && goodStep_ && step_ == 1.0 &&
      raisedAtViolation_ == 0.0) {
    rho = std::max(rho / 10.0, rhoMin_);
    ++penaltyDecreases_;
  }
  if (rho > 0.0) rhoLastPositive_ = rho;
  if (k > 5 && cLambda >= 1.0e5 && rho < rhoMax_) {
    const double before = rho;
    rho = std::min(2.0 * rhoLastPositive_, rhoMax_);
    rhoLastPositive_ = rho;
    if (rho > before) out_.both(" Penalty parameter increased to %12.4e", rho);
    penaltyDecreases_ = 0;
  }
}

// The penalty keeps each subproblem's point near its linearization. When it is too weak for the
// constraints' curvature, or the problem has directions in which the objective does not care
// (a symmetric model), the subproblems drift along the constraints and the violation stays where
// it is for hundreds of major iterations: a violation that has not halved in three major
// iterations with full steps raises the penalty tenfold (to its initial value at least), and it
// is not lowered again before the violation has halved. A violation below a hundredth of the
// optimality measure is left alone: there the objective has the work to do and a large penalty
// would only hold it back.
void MajorIterations::raisePenaltyWhenViolationStalls() {
  const bool violationMatters = feasible_ > kStallOptimalityShare * optimal_;
  if (feasible_ <= params_.rowTolerance || !violationMatters || step_ < 1.0) {
    stalledMajors_ = 0;
    stallReference_ = feasible_;
    return;
  }
  if (stalledMajors_ == 0 || feasible_ <= 0.5 * stallReference_) {
    stallReference_ = feasible_;
    stalledMajors_ = 1;
    return;
  }
  if (++stalledMajors_ < 4) return;
  double& rho = params_.currentPenalty;
  const double ceiling = kStalledPenaltyCeiling * rhoMax_;
  if (rho >= ceiling) return;
  rho = std::min(std::max(10.0 * rho, 0.1 * rhoMax_), ceiling);
  rhoLastPositive_ = rho;
  raisedAtViolation_ = feasible_;
  out_.both(" Penalty parameter increased to %12.4e", rho);
  penaltyDecreases_ = 0;
  stalledMajors_ = 0;
}

// The new subproblem: the nonlinear rows linearized at the current point.
void MajorIterations::linearize(MajorView& view) {
  Problem& prob = *view.prob;
  const std::vector<double>& x = *view.x;
  std::copy(x.begin(), x.begin() + nJ_, xk_.begin());
  std::copy(F_.begin(), F_.end(), Fk_.begin());
  std::copy(J_.begin(), J_.end(), Jk_.begin());
  std::copy(x.begin(), x.end(), xStart_.begin());
  std::fill(rhs_.begin(), rhs_.end(), 0.0);
  const int32_t* start = jac_.colStart.data();
  const int32_t* row = jac_.row.data();
  const int32_t* position = jac_.position.data();
  const double* Jk = Jk_.data();
  const double* xk = xk_.data();
  double* value = prob.a.value.data();
  double* rhs = rhs_.data();
  for (int32_t j = 0; j < nJ_; ++j) {
    for (int32_t e = start[j]; e < start[j + 1]; ++e) {
      value[position[e]] = Jk[e];
      rhs[row[e]] += Jk[e] * xk[j];
    }
  }
  for (int32_t i = 0; i < C_; ++i) rhs[i] -= Fk_[i];
}

// ---------------------------------------------------------------- the subproblem objective

double MajorIterations::lagrangianTerms(const double* x, const double* F, const double* J, double* grad) const {
  const double rho = params_.currentPenalty > 0.0 ? params_.currentPenalty * 100.0 / C_ : 0.0;
  double* d = departure_.data();
  const int32_t* start = jac_.colStart.data();
  const int32_t* row = jac_.row.data();
  const double* Fk = Fk_.data();
  const double* Jk = Jk_.data();
  const double* xk = xk_.data();
  const double* lambda = lambda_.data();
  for (int32_t i = 0; i < C_; ++i) d[i] = F[i] - Fk[i];
  for (int32_t j = 0; j < nJ_; ++j) {
    const double dxj = x[j] - xk[j];
    if (dxj == 0.0) continue;
    for (int32_t e = start[j]; e < start[j + 1]; ++e) d[row[e]] -= Jk[e] * dxj;
  }
  double value = 0.0;
  for (int32_t i = 0; i < C_; ++i) value += d[i] * (0.5 * rho * d[i] - lambda[i]);
  if (!grad) return value;
  for (int32_t i = 0; i < C_; ++i) d[i] = rho * d[i] - lambda[i];
  for (int32_t j = 0; j < nJ_; ++j) {
    double sum = 0.0;
    for (int32_t e = start[j]; e < start[j + 1]; ++e) sum += (J[e] - Jk[e]) * d[row[e]];
    grad[j] += sum;
  }
  return value;
}

void MajorIterations::hessianWeights(const double* x, const double* F, double* w) const {
  if (!lagrangianOn()) {
    std::fill(w, w + C_, 0.0);
    return;
  }
  lagrangianTerms(x, F, nullptr, nullptr);
  const double rho = params_.currentPenalty > 0.0 ? params_.currentPenalty * 100.0 / C_ : 0.0;
  const double* d = departure_.data();
  const double* lambda = lambda_.data();
  for (int32_t i = 0; i < C_; ++i) w[i] = rho * d[i] - lambda[i];
}

void MajorIterations::addPenaltyProduct(const double* J, const double* v, double* hv) const {
  const double rho = params_.currentPenalty > 0.0 ? params_.currentPenalty * 100.0 / C_ : 0.0;
  if (!lagrangianOn() || rho == 0.0) return;
  double* t = departure_.data();
  std::fill(t, t + C_, 0.0);
  const int32_t* start = jac_.colStart.data();
  const int32_t* row = jac_.row.data();
  const double* Jk = Jk_.data();
  for (int32_t j = 0; j < nJ_; ++j)
    for (int32_t e = start[j]; e < start[j + 1]; ++e) t[row[e]] += (J[e] - Jk[e]) * v[j];
  for (int32_t j = 0; j < nJ_; ++j) {
    double sum = 0.0;
    for (int32_t e = start[j]; e < start[j + 1]; ++e) sum += (J[e] - Jk[e]) * t[row[e]];
    hv[j] += rho * sum;
  }
}

// ---------------------------------------------------------------- infeasible subproblems

bool MajorIterations::raisePenalty() {
  ++penaltyRaises_;
  if (penaltyRaises_ >= 6 || !lagrangianOn()) return false;
  double& rho = params_.currentPenalty;
  rho = rho <= 0.0 ? C_ / 100.0 : 10.0 * rho;
  rhoLastPositive_ = rho;
  out_.both(" Penalty parameter increased to %12.4e", rho);
  return true;
}

bool MajorIterations::forgetMultipliers() {
  if (std::all_of(lambda_.begin(), lambda_.end(), [](double v) { return v == 0.0; })) return false;
  std::fill(lambda_.begin(), lambda_.end(), 0.0);
  std::fill(lambdaNew_.begin(), lambdaNew_.end(), 0.0);
  out_.both("%s", " Multiplier estimates of the nonlinear rows set to zero");
  return true;
}

bool MajorIterations::giveRowsTheirBounds(Problem& prob) {
  if (!rowsRelaxed_) return false;
  restoreRowBounds(prob);
  return true;
}

bool MajorIterations::restorationProgressing() {
  if (violation_ > 0.9 * restorationViolation_) return false;
  restorationViolation_ = violation_;
  return true;
}

bool MajorIterations::perturbRowBounds(Problem& prob, double sinf) {
  if (rowPerturbations_ >= 3) return false;
  const int32_t t = ++rowPerturbations_;
  boundsPerturbed_ = true;
  if (t == 1) perturbBase_ = sinf;
  const double factor = std::pow(10.0, t - 3);
  out_.both("%s", " XXX  Infeasible subproblem.");
  out_.both(" RHS perturbed by %8.1e * (|RHS|  + %10.2e)", factor, perturbBase_);
  const double infinite = 0.9 * params_.machine.infBound;
  double* rowLower = prob.lower.data() + n_;
  double* rowUpper = prob.upper.data() + n_;
  for (int32_t i = 0; i < C_; ++i) {
    double& lo = rowLower[i];
    double& up = rowUpper[i];
    if (lo > -infinite) lo -= (std::fabs(lo) + perturbBase_) * factor;
    if (up < infinite) up += (std::fabs(up) + perturbBase_) * factor;
  }
  return true;
}

}  // namespace kavro
