#pragma once
// The optimizer's problem (include/kavro/problem.hpp) made from a .nl model.
//
// The file already orders what the optimizer needs first: the nonlinear constraints are its
// first rows, the variables that occur nonlinearly in the constraints its first
// Header::nNonlinVarsCons columns, and those of the objectives its first
// Header::nNonlinVarsObjs columns (a prefix that may include variables nonlinear only in the
// constraints, whose objective derivative is then simply 0). The builder checks that the model
// keeps to this order and refuses it otherwise.
//
//   rows      the constraints in file order, then (with an objective) the free objective row
//   columns   the variables in file order
//   matrix    the J segments: in a nonlinear row the entries of the first nNonlinJacVars
//             columns are Jacobian positions (value: the derivative at the starting point), the
//             others constant coefficients; the objective row holds the G coefficients of the
//             columns from nNonlinObjVars on (the nonlinear objective f covers the rest)
//   bounds    variables as given (infinite: +-1e20); a slack holds minus its row's body, so a
//             body range [l, u] becomes the slack range [-u, -l]; the objective row is free
//   start     the model's starting point (0 where none is given), slacks at minus the row
//             bodies there, the initial duals (d segment) as multipliers (negated for
//             maximization: the optimizer's multipliers belong to the problem it minimizes)
//
// A constant objective term goes to objConstant when the objective has no nonlinear part; a
// nonlinear objective keeps its constants in f.

#include <cstdint>
#include <string>

#include "kavro/problem.hpp"
#include "nl/nl_model.hpp"

namespace kavro::nl {

struct BuildOptions {
  int32_t objective = 0;       // 0-based objective to optimize (by default the first; a model
                               // without objectives has none); -1 for none (feasibility)
  bool relaxIntegers = false;  // solve integer and binary variables as continuous
};

struct BuiltProblem {
  Problem problem;
  ProblemState state;
  int32_t objective = -1;  // the model objective in the objective row, -1 for none
  bool maximize = false;
  int64_t nonlinearEntries = 0;  // variables occurring nonlinearly, summed over functions
  bool nonlinear() const { return problem.nNonlinCons > 0 || problem.nNonlinObjVars > 0 || problem.nNonlinJacVars > 0; }
};

// Returns an empty string on success, else why the model cannot be given to the optimizer.
std::string buildProblem(const Model& model, const BuildOptions& options, BuiltProblem& out);

// The number of integer and binary variables (solved as continuous only with relaxIntegers).
inline int32_t integerVariables(const Model& model) { return model.header.nDiscreteVars(); }

}  // namespace kavro::nl
