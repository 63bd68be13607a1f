#pragma once
// The superbasic subspace: the superbasic variables (their places behind the basic ones in the
// basis list), their reduced gradient, how far the subspace is optimized before pricing again,
// and the model of the objective in it from which the search direction comes:
//
//   rg = g_S - S' pi                      (S: the superbasic columns)
//   R'R pS = -rg  with the model,  pS = -rg  without it (infeasible, or a linear objective)
//
// The model is the quasi-Newton one (subspace_hessian.hpp: a dense triangle R of order "Hessian
// dimension" with a diagonal beyond it, or the last "Hessian memory" updates). With exact
// second derivatives (subspace_newton.hpp, when given) the direction is the Newton direction
// of the subspace instead, the quasi-Newton model its preconditioner and fallback; the model
// keeps learning from every step either way.
//
// Rules
//  - Superbasic k (0-based) is the variable at basis position m + k; its reduced gradient is
//    rg(k). Adding, removing and exchanging superbasics keep the list, rg and the model in step.
//  - rgNorm() is max |rg| over every superbasic, rgNormR() over those inside the model's triangle.
//  - Every array is sized once; nothing here allocates afterwards.

#include <cstdint>
#include <vector>

#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "optimizer/basis_factors.hpp"
#include "optimizer/iteration_log.hpp"
#include "optimizer/pricing.hpp"
#include "optimizer/subproblem_objective.hpp"
#include "optimizer/subspace_hessian.hpp"
#include "optimizer/subspace_newton.hpp"
#include "specs/parameters.hpp"

namespace kavro {

class Subspace {
 public:
  // How far the subspace is optimized before pricing again, and what the last steps found.
  struct Control {
    double tolrg = 0.0;             // optimize until rgNorm <= tolrg
    int32_t lvltol = 1;             // 2 once tolrg has reached its floor
    int32_t searchFailures = 0;     // failed linesearches, each one retry further
    int32_t restrictedRun = 0;      // consecutive directions with more superbasics than R holds
    int32_t replaceFailures = 0;    // consecutive failures to find a superbasic to replace a basic
    bool restricted = false;        // the last direction kept to the superbasics inside R
    bool exact = false;             // the last direction came from exact second derivatives
    bool lastStepBlocked = false;   // the last step ended at a bound (the active set changed)
    bool modelResetPending = true;  // the set changed in ways the model does not follow
    SubspaceConvergence conv;       // the tests of the last step
  };

  Subspace(const Problem& prob, ProblemState& state, BasisFactors& basis, const Parameters& params,
           const ReportChannels& out);

  int32_t count() const { return state_.ns; }
  int32_t variable(int32_t k) const { return basis_.at(m_ + k); }
  Control& control() { return control_; }
  const Control& control() const { return control_; }
  const double* rg() const { return rg_.data(); }
  double rgNorm() const { return rgNorm_; }
  double rgNormR() const { return rgNormR_; }
  const double* direction() const { return pS_.data(); }  // pS, after searchDirection
  SubspaceHessian& model() { return model_; }
  // Exact second derivatives for the directions it wants (null: the model alone).
  void useSecondDerivatives(SubspaceNewton* newton) { newton_ = newton; }
  const SubspaceHessian& model() const { return model_; }

  // ---- the set
  // The superbasics of a warm start take the places behind the basics (at most the limit).
  void load(const std::vector<int32_t>& superbasics);
  void add(int32_t j, double rg);
  void remove(int32_t k);
  // Every superbasic becomes nonbasic where it stands (for a crash, which counts basics only).
  void makeNonbasic();
  // The variables chosen by pricing join the set, unless the subspace is still far from optimal
  // beside what they offer (with the model in use): then false, and tolrg is lowered for the
  // subspace to be optimized first.
  bool admit(const PricingResult& pr, bool withModel, double piNorm);

  // ---- the reduced gradient
  void computeReducedGradient(const double* pi, const SubproblemObjective& objective, bool infeasible,
                              double weightOnObjective);
  // The norms after rg changed by a step (with the model's triangle, or over every superbasic).
  void updateNorms(bool withModel);

  // ---- the model and the direction
  bool modelResetDue() const { return control_.modelResetPending || model_.needsReset(); }
  // Resets the model (to the identity when marked, else by rescaling, which is printed).
  void resetModel();
  const double* searchDirection(bool withModel);
  // What R learns from a step alpha along pS, after which rg is the reduced gradient at the new
  // point (previousRg: before the step). Returns the update's "Hmod" code.
  int learn(double alpha, double fBefore, bool gradientsDifferenced);
  void keepReducedGradient();  // previousRg := rg, before a step

  // ---- a basic variable leaves for a superbasic
  // y(k) = w' a_k for each superbasic (w: a row of B^-1, by row); returns max |y(k)|.
  double pivotsInRow(const double* w);
  // The superbasic with a pivot of at least a tenth of yMax that lies farthest from its bounds.
  int32_t farthestWithPivot(double yMax) const;
  // Superbasic k becomes basic and variable leaving takes its place: the model and rg follow the
  // new null-space basis, and the leaving variable leaves the set. Returns the pivot y(k).
  double exchangeWithBasic(int32_t k, int32_t leaving);
  // The quasi-Newton factor's result for the last exchange (the second "Hmod" digit).
  int32_t lastExchangeResult() const { return lastExchange_; }

  // With more superbasics than R holds: the one outside R with the largest |rg| changes places
  // with the one inside with the smallest, when that is worth it (recorded for the log).
  bool exchangeAcrossModelBoundary(IterationRecord& record);

 private:
  int32_t lastExchange_ = 0;
  const Problem& prob_;
  ProblemState& state_;
  BasisFactors& basis_;
  const Parameters& p_;
  const ReportChannels out_;
  const int32_t m_, n_;
  SubspaceHessian model_;
  SubspaceNewton* newton_ = nullptr;
  Control control_;
  std::vector<double> rg_, previousRg_, pS_, z_, y_;  // each "Superbasics limit" + 1 long
  std::vector<double> exactPS_, g1Model_, g2Model_;   // the same, for exact directions
  double rgNorm_ = 0.0, rgNormR_ = 0.0;
};

}  // namespace kavro
