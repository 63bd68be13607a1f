#pragma once
// The major iterations for nonlinear constraints. Each major iteration replaces the nonlinear
// rows by their linearization at the current point and hands the main loop a linearly
// constrained subproblem whose objective, with the "Lagrangian" option, is the augmented
// Lagrangian
//
//   L(x) = sigma f(x) - lambda'(F(x) - Flin(x)) + 1/2 rho' |F(x) - Flin(x)|^2,   rho' = rho 100 / C,
//
// Flin(x) = Fk + Jk (x - xk). Between subproblems this object updates the point and the
// multiplier estimates (with damping), measures feasibility and optimality, decides convergence,
// adapts the penalty parameter, switches to full completion, and prints the major log.
//
// Units: everything here is in the optimizer's units (the working problem may be scaled); the
// evaluator hands the user's routines their own units.
//
// The linearized row i holds Jk in the Jacobian positions of the constraint matrix; its constant
// part Fk_i - Jk_i xk becomes a right-hand side: A_i x + slack_i = rhs_i with
// rhs_i = -(Fk_i - Jk_i xk). Rows past the nonlinear ones have right-hand side 0.

#include <cstdint>
#include <utility>
#include <vector>

#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "nonlinear/function_evaluator.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// How the last subproblem ended.
enum SubproblemStatus : int32_t {
  kSubproblemOptimal = 0,
  kSubproblemInfeasible = 1,
  kSubproblemUnbounded = 2,
  kSubproblemLimit = 3
};

// The main loop's state that a major iteration reads and changes.
struct MajorView {
  Problem* prob = nullptr;                  // matrix (Jacobian positions) and bounds
  std::vector<double>* x = nullptr;         // nb values
  const std::vector<double>* pi = nullptr;  // m multipliers of the subproblem
  const std::vector<int32_t>* hs = nullptr;
  double sigma = 1.0;     // +1 minimize, -1 maximize
  int32_t objSlack = -1;  // the objective row's slack, -1 when none
  double objScale = 1.0;  // its scale factor
  double objConstant = 0.0;
  bool hasLinearConstraints = false;
};

// What the major log line shows besides this object's own measures.
struct SubproblemSummary {
  int32_t status = kSubproblemOptimal;
  int32_t minorItn = 0, totalItn = 0, ninf = 0, ns = 0, luNonzeros = 0, basisSwaps = 0;
  double sinf = 0.0;
};

// What a subproblem proposed, absolute and normalized: the largest change of a Jacobian
// variable, relative to 1 + |xk|, and of a multiplier estimate, relative to 1 + |lambda|.
struct MajorChanges {
  double dx = 0.0, normalizedDx = 0.0, dLambda = 0.0, normalizedDLambda = 0.0;
};

class MajorIterations {
 public:
  MajorIterations(Parameters& params, const ReportChannels& out, FunctionEvaluator& evaluator,
                  const IterationCallback* callback, int32_t m, int32_t n);

  // ---- set-up of the run (before the initial basis)
  // Keeps the bounds of the nonlinear rows' slacks (they are relaxed in the first major
  // iteration, which only has to satisfy the linear constraints, and perturbed when a later
  // subproblem is infeasible).
  void saveRowBounds(const Problem& prob);
  // Initial multiplier estimates from the caller's pi (minimization sign, checked), and their
  // scaling when the rows are scaled (rowScales: the nonlinear rows' factors).
  void setInitialMultipliers(const std::vector<double>& pi, double sigma);
  void scaleMultipliers(const double* rowScales);
  // The nonlinear rows' slack bounds as they were before the major iterations changed them.
  void restoreRowBounds(Problem& prob);
  // The run gave up its scaling (factors s, x_user = s x): the point the next damping starts
  // from goes into the user's units too.
  void unscaleStartingPoint(const std::vector<double>& scales);
  // Random values in [0.5, 1.5) in the Jacobian positions, so that a crash sees the Jacobian's
  // structure before any value is known; restoreMatrixJacobian puts the saved values back.
  void randomJacobianForCrash(Problem& prob);
  void restoreMatrixJacobian(Problem& prob);

  // ---- start of major iteration k: returns 0 to go on or the exit code of a failed evaluation
  // (6). With k = 1 the functions are evaluated at the starting point and the nonlinear rows
  // are relaxed; later starts take the subproblem's solution, damp the step, measure, decide
  // convergence, adapt the penalty and print the log line.
  int32_t start(int32_t k, const SubproblemSummary& previous, MajorView& view);
  bool converged() const { return convergedCount_ >= 2 || convergedStrongly_; }
  int32_t unchangedMajors() const { return unchangedCount_; }
  bool stopRequested() const { return stopFlag_; }
  ExitCode stopCode() const { return stopCode_; }

  // ---- the subproblem
  const std::vector<double>& rhs() const { return rhs_; }  // m entries
  bool lagrangianOn() const { return params_.lagrangian == 1; }
  // Adds the augmented-Lagrangian terms at x (the nonlinear variables) given F and, for the
  // gradient, J at x: returns their value and adds (J - Jk)'(rho'(F - Flin) - lambda) to grad
  // over the Jacobian variables (grad may be null).
  double lagrangianTerms(const double* x, const double* F, const double* J, double* grad) const;
  // Their second derivatives at x (F and J at x), which the gradient above differentiates to:
  //   sum_i w_i H_i + rho' (J - Jk)'(J - Jk),    w = rho'(F - Flin) - lambda
  // (H_i the Hessian of F_i). hessianWeights gives w (C entries; zero with "Lagrangian No");
  // addPenaltyProduct adds rho' (J - Jk)'((J - Jk) v) to hv over the Jacobian variables.
  void hessianWeights(const double* x, const double* F, double* w) const;
  void addPenaltyProduct(const double* J, const double* v, double* hv) const;

  // ---- infeasible or unbounded subproblems
  // Raises the penalty (up to five times); true when the subproblem changed.
  bool raisePenalty();
  bool forgetMultipliers();
  // The first subproblem's nonlinear rows are relaxed until given back their bounds here: a
  // subproblem unbounded without them says nothing about the problem (a minimax model's
  // objective variable is bounded only by its nonlinear rows). True when the rows were relaxed.
  bool giveRowsTheirBounds(Problem& prob);
  bool rowsRelaxed() const { return rowsRelaxed_; }
  // Moves the finite bounds of the nonlinear rows outwards (up to three times); true when done.
  bool perturbRowBounds(Problem& prob, double sinf);
  int32_t infeasibleRetries() const { return infeasibleRetries_; }
  void countInfeasibleRetry() {
    if (infeasibleRetries_++ == 0) violationAtFirstRetry_ = violation_;
  }
  // An infeasible linearization still gives a step toward feasibility (the subproblem's least
  // infeasible point, a Gauss-Newton step on the violated rows). True while such steps keep
  // reducing the true violation: the subproblem then ends as it is, without a retry counted.
  bool restorationProgressing();

  // ---- results
  // The violation of the true nonlinear constraints at the last start: absolute and relative
  // to (1 + |x|) over the Jacobian variables.
  double violation() const { return violation_; }
  double relativeViolation() const { return feasible_; }
  double optimality() const { return optimal_; }
  double penalty() const { return params_.currentPenalty; }
  // The range the penalty may be decreased and increased within (fixed at the first major).
  std::pair<double, double> penaltyBounds() const { return {rhoMin_, rhoMax_}; }
  // The true slack of nonlinear row i at the current point, and the constraint values there.
  const std::vector<double>& constraintValues() const { return F_; }
  const std::vector<double>& jacobian() const { return J_; }
  // The bounds of nonlinear row i's slack as the problem states them.
  double rowLower(int32_t i) const { return savedLower_[i]; }
  double rowUpper(int32_t i) const { return savedUpper_[i]; }
  // The last (damped) step length.
  double dampingStep() const { return step_; }

 private:
  // Lines a report file held after the last log line and before this major iteration's own
  // diagnostics: what came between tells whether the heading is still in sight.
  struct LogMark {
    long afterLogLine = -1, beforeDiagnostics = -1;
  };
  int32_t evaluateAt(const Problem& prob, std::vector<double>& x);
  void updateMultipliers(const MajorView& view);
  int32_t dampStep(MajorView& view, double cx, double cLambda, bool restoring);
  std::pair<double, double> violationAt(const Problem& prob, const std::vector<double>& x);
  void measureViolation(const MajorView& view);
  void measureOptimality(const MajorView& view);
  void adaptPenalty(double cx, double cLambda, int32_t k);
  void raisePenaltyWhenViolationStalls();
  void linearize(MajorView& view);
  void relaxRows(Problem& prob);
  void printLogLine(int32_t k, const SubproblemSummary& s, const MajorView& view);
  void printChanges(const MajorChanges& c) const;
  void markDiagnosticsStart();
  bool headingOutOfSight(const LogMark& mark) const;
  void printPointAndEstimates(const MajorView& view) const;
  void printPointAndJacobian(const double* x) const;

  Parameters& params_;
  ReportChannels out_;
  FunctionEvaluator& fe_;
  const IterationCallback* callback_;
  const int32_t m_, n_, C_, nJ_, nJac_;
  const JacobianStructure& jac_;

  std::vector<double> xk_, xStart_, xSub_, Fk_, Jk_, F_, J_, lambda_, lambdaNew_, lambdaOld_, rhs_;
  std::vector<double> linearPart_, prices_;
  mutable std::vector<double> departure_;
  std::vector<double> savedLower_, savedUpper_, savedMatrix_;
  std::vector<double> fScratch_, gScratch_;
  double rhoMin_ = 0.0, rhoMax_ = 0.0, rhoLastPositive_ = 0.0;
  double minViolation_ = 1e20, minOptimality_ = 1e20, minSum_ = 1e20;
  double step_ = 1.0, violation_ = 0.0, violationSum_ = 0.0, feasible_ = 0.0, optimal_ = 0.0;
  double objective_ = 0.0;
  bool goodStep_ = false;
  bool firstUpdate_ = false;
  int32_t convergedCount_ = 0, unchangedCount_ = 0, penaltyDecreases_ = 0;
  bool convergedStrongly_ = false;
  int32_t penaltyRaises_ = 0, rowPerturbations_ = 0, infeasibleRetries_ = 0;
  bool rowsRelaxed_ = false;
  bool boundsPerturbed_ = false;  // in the subproblem being solved
  double perturbBase_ = 0.0;
  double restorationViolation_ = 1e20;
  double stallReference_ = 0.0, raisedAtViolation_ = 0.0, violationAtFirstRetry_ = 0.0;
  int32_t stalledMajors_ = 0;
  int32_t printLines_ = 0, summaryLines_ = 0;
  LogMark printMark_, summaryMark_;  // see LogMark
  bool stopFlag_ = false;
  ExitCode stopCode_ = kOptimal;
};

}  // namespace kavro
