#pragma once
// Evaluation of the user's nonlinear functions. Every call of the objective routine (funobj)
// and of the constraint routine (funcon) goes through one FunctionEvaluator per run, which owns
// the whole convention around them: call counting, the first-call and last-call protocol
// (nstate), the inventory of the derivatives the routines really provide and the lowering of
// "Derivative level", scaling for "Scale option" 2, the handling of undefined points and of a
// request to stop, forward and central differences for the missing derivatives, and the
// verification of the derivatives the routines provide.
//
//   FunctionEvaluator fe(params, out, &timers, functions, NonlinearShape::fromProblem(prob));
//   fe.setScales(columnScales, rowScales);          // once the run has its scales
//   fe.verifyDerivatives(x, lower, upper);          // at the first feasible point
//   fe.objectiveAndGradient(x, f, g);               // f and a complete gradient
//   fe.constraintValues(x, F);                      // values only, e.g. in a linesearch
//   fe.callAtEnd(xUnscaled, exitCode);              // the last calls of the run
//
// Units. The optimizer works in its own (possibly scaled) units and the routines in the user's:
// with "Scale option" 2 and scales set, variable j is handed to the routines as x_j * c_j,
// gradient element j comes back multiplied by c_j, constraint value i divided by r_i, and
// Jacobian element (i, j) multiplied by c_j / r_i. Every x, f and g below is in the optimizer's
// units unless said otherwise. x always points at the optimizer's full vector of variables; only
// its leading nNonlinObjVars (objective) or nNonlinJacVars (constraints) entries are read, and
// x is never written: differences perturb a copy held here.
//
// Results. 0: values (and derivatives) delivered. kFunctionUndefined (-1): the functions cannot
// be evaluated at this point, because the routine set mode -1 or returned a value that is not
// finite (NaN or infinite values never reach the caller as data). kFunctionError (6): the
// routine asked to stop (mode below -1); "EXIT -- Termination requested by User" has been
// printed. Verification adds kBadObjectiveGradient (7) and kBadConstraintGradient (8). On any
// result other than 0 the output arrays hold no usable values.
//
// Which derivatives are differenced. The inventory is taken at the first successful call with
// mode 2 of each routine (every call is made with mode 2 until then, so it is normally the
// first call): every derivative array is preset with kUnsetDerivative, and the elements still equal to
// it afterwards are the ones the routine does not provide. From then on:
//  - objective: before every mode-2 call the whole gradient is preset with the marker again, so
//    exactly the elements the routine leaves unset are found anew each time and differenced;
//  - constraints: the inventory is remembered per Jacobian element. Before every mode-2 call an
//    element the routine set at the inventory is preset with the marker, and an element it did
//    not set holds its stored (matrix) value while "Derivative level" is 2 or 3 (a constant
//    derivative) or the marker while it is 0 or 1 (differenced). Elements still marked after the
//    call are differenced.
// What the level declares unknown (objective gradients at levels 0 and 2, the Jacobian at 0
// and 1) is marked again after every mode-2 call the optimizer makes, so it is differenced even
// when the routine happens to fill it; verification still checks what the routine sets. So the
// "complete" entry points below never return a marker, whatever the level.
//
// The object holds a reference to the parameter block: it lowers "Derivative level" there, sets
// "Scale option" to 0 while it verifies derivatives (restoring it afterwards), and reads the
// difference intervals, "Timing level", "Verify level" and the check ranges when it needs them.
// All work arrays are sized on construction; no call allocates.

#include <cstdint>
#include <span>
#include <vector>

#include "io/timers.hpp"
#include "io/units.hpp"
#include "kavro/solver.hpp"
#include "nonlinear/nonlinear_shape.hpp"
#include "specs/parameters.hpp"

namespace kavro {

inline constexpr int32_t kFunctionUndefined = -1;

// The exit of a run that an evaluation failed: an undefined point ends it with kFunctionError;
// the other failures (kFunctionError, kBadObjectiveGradient, kBadConstraintGradient) are exit
// codes themselves.
inline ExitCode exitForEvaluation(int32_t status) {
  return status == kFunctionUndefined ? kFunctionError : static_cast<ExitCode>(status);
}

struct FunctionCallCounts {
  int64_t calls = 0;    // every call of the routine ("No. of calls to funobj" / "funcon")
  int64_t mode2 = 0;    // calls with mode 2 ("Calls with mode=2 (f, known g)")
  int64_t forward = 0;  // calls made for forward differences ("Calls for forward differencing")
  int64_t central = 0;  // calls made for central differences ("Calls for central differencing")
};

class FunctionEvaluator {
 public:
  static constexpr int32_t kForward = 1, kCentral = 2;

  // functions may be null only when the shape has no nonlinear part; timers may be null. The
  // report channels are copied (the unit table they point to must outlive the evaluator).
  // Throws std::invalid_argument when the shape is inconsistent (a caller's programming error;
  // the solver entry checks the problem before a run starts).
  FunctionEvaluator(Parameters& params, const ReportChannels& out, Timers* timers, NonlinearFunctions* functions,
                    NonlinearShape shape);
  FunctionEvaluator(const FunctionEvaluator&) = delete;
  FunctionEvaluator& operator=(const FunctionEvaluator&) = delete;

  int32_t nNonlinObjVars() const { return nObj_; }
  int32_t nNonlinCons() const { return nCon_; }
  int32_t nNonlinJacVars() const { return nJacVars_; }
  int32_t nJacElements() const { return nJac_; }
  const JacobianStructure& jacobian() const { return shape_.jacobian; }

  // ---- Scaling. Scaling is in force while scales are set, it is enabled, and "Scale option"
  // is 2. columnScales: nNonlinVars factors c_j; rowScales: nNonlinCons factors r_i (all
  // positive). The run computes its scales after set-up, hence a separate call.
  void setScales(std::span<const double> columnScales, std::span<const double> rowScales);
  void setScalingEnabled(bool enabled) { scalingEnabled_ = enabled; }
  bool scalingInForce() const;

  // ---- Difference choice: kForward ("Difference interval") or kCentral ("Central difference
  // int."). Forward at construction; the optimizer switches to central when forward differences
  // are no longer accurate enough and back to forward at each major iteration.
  void setDifferenceChoice(int32_t choice) { differenceChoice_ = choice == kCentral ? kCentral : kForward; }
  int32_t differenceChoice() const { return differenceChoice_; }

  // ---- The two wrappers. mode 2: values and the derivatives the routine provides; elements
  // still to be differenced are kUnsetDerivative in g (see above: Jacobian constants are already
  // in place at levels 2 and 3). mode 0: values only (g may be null and is not written). f of
  // evalConstraints and g hold nNonlinCons, nNonlinObjVars or nJacElements entries. A routine
  // whose count is zero is not called (f = 0 for the objective).
  int32_t evalObjective(int32_t mode, const double* x, double& f, double* g);
  int32_t evalConstraints(int32_t mode, const double* x, double* f, double* g);

  // Fill the elements of g still equal to kUnsetDerivative by differences at x, where f holds
  // the values at x. Objective element by element, Jacobian column by column.
  int32_t differenceObjective(const double* x, double f, double* g);
  int32_t differenceJacobian(const double* x, const double* f, double* g);

  // ---- What the optimizer normally calls.
  // Objective value and complete gradient (mode 2, then differences for what is missing).
  int32_t objectiveAndGradient(const double* x, double& f, double* g);
  // Constraint values and complete Jacobian (mode 2, then differences for what is missing).
  int32_t constraintsAndJacobian(const double* x, double* f, double* g);
  // Values only (mode 0).
  int32_t objectiveValue(const double* x, double& f) { return evalObjective(0, x, f, nullptr); }
  int32_t constraintValues(const double* x, double* f) { return evalConstraints(0, x, f, nullptr); }

  // ---- The variables' bounds are the functions' domain. With the bounds given (optimizer units,
  // the nonlinear variables first), every point the routines see is first projected onto them
  // (the caller's x is never written), and a difference step that would leave them is taken on
  // the other side, or shortened to the room there is.
  void setVariableBounds(const double* lower, const double* upper);

  // ---- Derivative verification, once at the first feasible point. lower and upper are the
  // bounds of the variables in the optimizer's units (at least the nonlinear ones); they keep the
  // test steps feasible. The checks themselves run in the user's units with "Scale option" 0.
  // Nothing is evaluated when "Verify level" is below 0. Results: 0, -1, 6, 7 or 8.
  int32_t verifyObjectiveGradients(const double* x, const double* lower, const double* upper);
  int32_t verifyJacobian(const double* x, const double* lower, const double* upper);
  // Both, objective first, as far as each has something to check; stops at the first failure.
  int32_t verifyDerivatives(const double* x, const double* lower, const double* upper);

  // ---- Last calls at the end of a run: both routines once more at x with nstate = 2 + exitCode
  // and scaling switched off, so x is in the user's units here (the run has unscaled it). nstate
  // is 0 afterwards. Returns kFunctionError when a routine asks to stop, else 0.
  int32_t callAtEnd(const double* x, int32_t exitCode);

  // ---- Whether a routine asked the run to stop (mode below -1): the run then ends without its
  // last calls, which an undefined point does not forbid.
  bool stopRequested() const { return stopRequested_; }

  // ---- Second derivatives, when the routines offer them, in the optimizer's units: with
  // scales in force H = C H_user(sigma, w ./ r) C (C, r the column and row factors), so that
  // the products match the gradients handed out above. x is the point (projected onto the
  // bounds as for any evaluation), w the nNonlinCons weights of the constraints; v and hv hold
  // nNonlinVars entries. Both are false when the Hessian cannot be had at x (a product with an
  // entry that is not a number included).
  bool secondDerivativesOffered() const { return functions_ && functions_->hasSecondDerivatives(); }
  bool prepareHessian(const double* x, double sigma, const double* w);
  bool hessianProduct(const double* v, double* hv);
  int64_t hessianProducts() const { return hessianProducts_; }
  // The prepared Hessian's lower triangle in the optimizer's units (entries scaled by both
  // columns' scales), when the functions keep it as a matrix; false otherwise.
  bool hessianTriangle(NonlinearFunctions::HessianTriangle& triangle);

  // ---- Counters for the run statistics; they run across the whole run.
  const FunctionCallCounts& objectiveCounts() const { return obj_.counts; }
  const FunctionCallCounts& constraintCounts() const { return con_.counts; }

 private:
  struct Routine {
    const char* name;
    int clock;
    int32_t nstate = 1;
    bool inventoryTaken = false;
    FunctionCallCounts counts;
  };

  // The point handed to the routines: xWork_ in the optimizer's units, userX_ in the user's.
  void loadPoint(const double* x, int32_t count, bool userUnits = false);
  void setVariable(int32_t j, double value);
  double userValue(int32_t j, double value) const;

  void projectLoadedPoint(int32_t count, bool userUnits);
  enum class DifferenceKind { kForward, kCentral, kOneSidedSecondOrder };
  struct DifferenceStep {
    double h;  // the step, negative for a backward difference
    DifferenceKind kind;
    // The second point: x - h for central differences, x + 2h for the one-sided formula.
    double secondOffset() const { return kind == DifferenceKind::kCentral ? -h : 2.0 * h; }
    bool twoPoints() const { return kind != DifferenceKind::kForward; }
    double derivative(double f0, double f1, double f2) const;
  };
  DifferenceStep differenceStep(int32_t j, double h) const;

  // The wrappers on the loaded point.
  int32_t callObjective(int32_t mode, double& f, double* g, bool lastCall = false);
  int32_t callConstraints(int32_t mode, double* f, double* g, bool lastCall = false);
  int32_t objectiveForOptimizer(int32_t mode, double& f, double* g);
  int32_t constraintsForOptimizer(int32_t mode, double* f, double* g);
  int32_t invokeObjective(int32_t mode, double& f, double* g, int32_t nstate);
  int32_t invokeConstraints(int32_t mode, double* f, double* g, int32_t nstate);
  void countCall(Routine& r, int32_t mode);
  int32_t startCall(Routine& r, int32_t mode, bool lastCall);
  int32_t resultOfMode(int32_t mode, const Routine& r);
  bool objectiveGradientsKnown() const;
  bool constraintGradientsKnown() const;
  void presetJacobian(double* g) const;
  void takeObjectiveInventory(const double* g);
  int32_t takeJacobianInventory(double* f, double* g);

  // Differences at the loaded point.
  int32_t evaluateAround(bool objective, int32_t j, DifferenceStep step, double* at1, double* at2);
  int32_t differenceObjectiveHere(double f, double* g);
  int32_t differenceJacobianHere(const double* f, double* g);
  bool columnHasUnset(int32_t j, const double* g) const;

  // Verification pieces (user units, loaded point xBase_).
  void loadVerificationPoint(const double* x, const double* lower, const double* upper, int32_t count);
  int32_t cheapObjectiveTest(double f, bool& done);
  int32_t fullObjectiveCheck(double f, int32_t first, int32_t last);
  int32_t cheapJacobianTest(bool& done);
  int32_t fullJacobianCheck(int32_t first, int32_t last);
  int32_t checkJacobianColumn(int32_t j, double& largest, int32_t& largestRow, int32_t& nOk, int32_t& nBad);
  double stepWithinBounds(int32_t j, double h) const;
  int32_t turnIntoBounds(int32_t count, double h, double* p) const;
  double differenceInterval() const;

  Parameters& p_;
  ReportChannels out_;
  Timers* timers_;
  NonlinearFunctions* functions_;
  NonlinearShape shape_;
  int32_t nObj_, nCon_, nJacVars_, nJac_, nVars_;

  Routine obj_{"funobj", Timers::kObjective, 1, false, {}};
  Routine con_{"funcon", Timers::kConstraints, 1, false, {}};
  std::vector<uint8_t> jacSetByRoutine_;  // per Jacobian element, from the inventory

  std::vector<double> colScale_, rowScale_;
  bool scalesSet_ = false;
  bool scalingEnabled_ = true;
  int32_t differenceChoice_ = kForward;
  bool stopRequested_ = false;

  std::vector<double> xWork_, xUser_;
  const double* userX_ = nullptr;  // xUser_ while scaling is in force, else xWork_
  bool userScaled_ = false;        // whether userX_ was made with scaling
  std::vector<double> gObjScratch_, gJacScratch_, fScratch1_, fScratch2_;

  // Verification.
  std::vector<double> xBase_, xTrial_, lowerV_, upperV_, dir1_, dir2_;
  std::vector<double> boundLower_, boundUpper_;  // the variables' bounds (optimizer units), or empty
  std::vector<double> gVerify_, jVerify_, fVerify_, jpVerify_;
  std::vector<uint8_t> rowUsable_;

  // Second derivatives.
  std::vector<double> hessianWeights_, hessianVector_;
  std::vector<double> scaledTriangle_;  // the triangle's values in our units, sized at first use
  bool hessianScaled_ = false;          // scaling was in force when the Hessian was prepared
  int64_t hessianProducts_ = 0;
};

}  // namespace kavro
