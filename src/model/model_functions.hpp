#pragma once
// The solver entry's nonlinear functions (kavro::NonlinearFunctions) served by a model's
// callbacks.
//
// The solver passes the first nNonlinObjVars (objective) or nNonlinJacVars (constraints)
// columns; they are copied into the caller's numbering over the model's starting point, so a
// callback always sees a whole point (the variables it does not depend on keep their start).
// Gradients come back in the caller's numbering and are copied to the columns; each block's
// Jacobian comes back in its pattern's order and is copied to the places the layout gave it.
// The linear objective terms of the first nNonlinObjVars columns and, for a nonlinear
// objective, the constant are added here.
//
// A callback that returns false or a value that is not finite marks the point undefined (mode
// -1: the solver shortens its step). One that throws stops the run (mode -2); the exception is
// kept for the caller to rethrow. Everything is sized in the constructor: no call allocates.

#include <cstdint>
#include <exception>
#include <vector>

#include "kavro/solver.hpp"
#include "model/model_layout.hpp"

namespace kavro::model {

struct CallCounts {
  int64_t objective = 0, gradient = 0, constraints = 0, jacobian = 0;
};

class ModelFunctions final : public NonlinearFunctions {
 public:
  ModelFunctions(const ModelData& data, const Layout& layout);

  void objective(int& mode, int n, const double* x, double& f, double* g, int nstate) override;
  void constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int nstate) override;

  // The nonlinear rows' values and Jacobian at the caller's point (in the caller's numbering):
  // false when a callback failed there (an exception is kept, as in a run).
  // jacobian is sized to the Jacobian's places and filled only when withJacobian.
  bool evaluateRows(const std::vector<double>& point, bool withJacobian, std::vector<double>& values,
                    std::vector<double>& jacobian);

  const CallCounts& counts() const { return counts_; }
  std::exception_ptr failure() const { return failure_; }

 private:
  void load(const double* x, int n);
  bool callObjective(int n, const double* x, double& f, double* g);
  bool callBlocks(int m, double* f, double* g, int njac);
  template <class Call>
  void guarded(int& mode, Call&& call);

  const ModelData& data_;
  const Layout& layout_;
  std::vector<double> point_;       // the caller's numbering
  std::vector<double> gradient_;    // the caller's numbering
  std::vector<std::vector<double>> values_, jacobian_;  // per block
  CallCounts counts_;
  std::exception_ptr failure_;
};

}  // namespace kavro::model
