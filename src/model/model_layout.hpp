#pragma once
// The solver entry's problem (include/kavro/problem.hpp) made from a model in the caller's terms.
//
//   columns   the variables the nonlinear functions depend on first, in three groups kept in
//             the caller's order inside each: those of the objective and the constraints, those
//             of the constraints only, those of the objective only; then every other variable.
//             So the Jacobian's variables are the first nNonlinJacVars columns and the
//             objective's lie within the first nNonlinObjVars (a variable of the constraints
//             only that falls inside that prefix simply has objective derivative 0).
//   rows      the nonlinear constraints (block by block), then the linear ones, each group in
//             the order added; then the free objective row
//   matrix    by columns, rows increasing; in a nonlinear row the pattern's entries are the
//             Jacobian's places, numbered column by column as the solver entry numbers them;
//             the objective row holds the linear objective terms of the columns from
//             nNonlinObjVars on (those of earlier columns are added to f by the callbacks)
//   bounds    as given, limits of +-1e20 or beyond infinite; a row's slack holds minus its
//             body, so a body range [l, u] is the slack range [-u, -l]
//
//   Hessian   the pattern's entries as pairs of columns, all among the first
//             max(nNonlinObjVars, nNonlinJacVars): the variables second derivatives may name
//
// A pattern that is empty means dense: every variable, row by row. An objective without a list
// of variables depends on all of them.

#include <cstdint>
#include <string>
#include <vector>

#include "kavro/problem.hpp"
#include "model/model_data.hpp"

namespace kavro::model {

struct Layout {
  Problem problem;
  std::vector<int32_t> columnOf;    // per variable: its column
  std::vector<int32_t> variableOf;  // per column: its variable
  std::vector<int32_t> rowOf;       // per constraint: its row
  std::vector<int32_t> blockRow;    // per block: its first row
  // Per block, per pattern entry (the expanded pattern's order): its place in the Jacobian
  // vector the solver entry passes.
  std::vector<std::vector<int32_t>> jacobianPlace;
  std::vector<int32_t> jacobianElement;  // per Jacobian place: the matrix element it is
  // Per Hessian pattern entry (the caller's order): the two columns it joins.
  std::vector<int32_t> hessianRow, hessianColumn;
  std::vector<double> objectiveInF;  // per column < nNonlinObjVars: linear objective coefficient
  double constantInF = 0.0;          // the objective constant when f is nonlinear
  int64_t nonlinearEntries = 0;      // variables occurring nonlinearly, summed over functions
  bool nonlinear() const { return problem.nNonlinObjVars > 0 || problem.nNonlinJacVars > 0; }
};

// The pattern a block uses: its own, or dense over `variables` when it declared none.
std::vector<JacobianEntry> expandedPattern(const NonlinearConstraintSpec& block, int32_t variables);

// Returns an empty string, or why the model cannot be laid out (bounds crossed or NaN, a
// repeated Jacobian entry, a Hessian entry on a variable no nonlinear function depends on).
std::string buildLayout(const ModelData& data, Layout& out);

}  // namespace kavro::model
