#pragma once
// The shape of a problem's nonlinear part: how many leading variables enter the nonlinear
// objective, how many leading rows are nonlinear constraints, and where the constraint Jacobian
// lies in the constraint matrix.
//
// Jacobian order: the elements of the first nNonlinJacVars columns that lie in the first
// nNonlinCons rows, column after column, and inside a column in the order of the matrix (rows
// increasing). The constraint routine returns its derivatives in exactly this order.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"

namespace kavro {

struct JacobianStructure {
  int32_t nCons = 0;              // nonlinear constraints (rows 0..nCons-1)
  int32_t nVars = 0;              // nonlinear Jacobian variables (columns 0..nVars-1)
  std::vector<int32_t> colStart;  // nVars + 1 entries: elements of column j are colStart[j]..colStart[j+1]-1
  std::vector<int32_t> row;       // 0-based row of each element
  std::vector<int32_t> position;  // index of each element in the matrix's value array (empty when built by hand)

  int32_t elements() const { return static_cast<int32_t>(row.size()); }
};

struct NonlinearShape {
  int32_t nNonlinObjVars = 0;
  JacobianStructure jacobian;
  // The matrix's values at the Jacobian positions, in the user's (unscaled) units. Elements that
  // the constraint routine never sets keep these values while "Derivative level" is 2 or 3.
  std::vector<double> storedJacobian;

  int32_t nNonlinCons() const { return jacobian.nCons; }
  int32_t nNonlinJacVars() const { return jacobian.nVars; }
  int32_t nJacElements() const { return jacobian.elements(); }
  int32_t nNonlinVars() const { return nNonlinObjVars > jacobian.nVars ? nNonlinObjVars : jacobian.nVars; }

  // Reads the shape from a problem whose matrix is still in the user's units. A problem with no
  // nonlinear rows has no Jacobian variables and the reverse, whatever the counts say.
  static NonlinearShape fromProblem(const Problem& prob);
};

}  // namespace kavro
