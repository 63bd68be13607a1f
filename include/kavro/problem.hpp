#pragma once
// The problem as the optimizer sees it.
//
//   minimize or maximize   f(x_1..x_nNonlinObjVars) + objConstant - x_slack(objRow)
//   subject to             F_i(x_1..x_nNonlinJacVars) + sum_j a_ij x_j + x_slack(i) = 0,  i = 0..m-1
//                          lower_j <= x_j <= upper_j,                                    j = 0..nb-1
//
// There are n structural columns and m rows; every row i has a slack variable n + i that holds
// minus the row's activity, so a row's limits are bounds on its slack:
//   activity <= r  ->  slack in [-r, +inf];   activity >= r  ->  [-inf, -r];   activity == r  ->  [-r, -r].
// The objective row (if any) is a free row whose coefficients are the linear objective terms.
// Nonlinear rows come first (rows 0..nNonlinCons-1) and nonlinear columns come first.
//
// All indices in this interface are 0-based. Numbers printed in reports and files are 1-based
// (variable j is printed as j+1, the slack of row i as n+i+1).
// A bound of magnitude 1.0e+20 or more is infinite.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kavro {

inline constexpr double kInfinity = 1.0e20;

// Variable states (hs).
enum VariableState : int32_t {
  kAtLower = 0,     // nonbasic at its lower bound
  kAtUpper = 1,     // nonbasic at its upper bound
  kSuperbasic = 2,  // off its bounds, free to move, not in the basis
  kBasic = 3,
};

// Constraint matrix stored by columns: the entries of column j are
// value[colStart[j] .. colStart[j+1]-1] in rows row[...], rows increasing inside a column.
struct SparseMatrix {
  std::vector<double> value;
  std::vector<int32_t> row;
  std::vector<int32_t> colStart;  // n + 1 entries

  int32_t columns() const { return colStart.empty() ? 0 : static_cast<int32_t>(colStart.size()) - 1; }
  int32_t elements() const { return static_cast<int32_t>(value.size()); }
};

struct Problem {
  int32_t m = 0;               // rows, the objective row included
  int32_t n = 0;               // structural columns
  int32_t nNonlinCons = 0;     // nonlinear rows 0..nNonlinCons-1
  int32_t nNonlinObjVars = 0;  // columns 0..nNonlinObjVars-1 enter the nonlinear objective
  int32_t nNonlinJacVars = 0;  // columns 0..nNonlinJacVars-1 enter the nonlinear constraints
  int32_t objRow = -1;         // the free objective row, -1 when there is none
  double objConstant = 0.0;

  // Problem name, then the objective, RHS, ranges and bounds set names (8 characters each).
  std::array<std::string, 5> names{"        ", "        ", "        ", "        ", "        "};

  SparseMatrix a;
  std::vector<double> lower;  // nb = n + m bounds: columns first, then slacks
  std::vector<double> upper;

  // Optional names; when empty, generated names ("x" / "r" and the number) are used.
  std::vector<std::string> columnNames;
  std::vector<std::string> rowNames;

  int32_t nb() const { return n + m; }
  int32_t nElements() const { return a.elements(); }
  int32_t nNonlinVars() const { return nNonlinObjVars > nNonlinJacVars ? nNonlinObjVars : nNonlinJacVars; }
};

// What a solve starts from and returns: states, values, multipliers and reduced costs.
struct ProblemState {
  std::vector<int32_t> hs;          // nb states (VariableState)
  std::vector<double> x;            // nb values: starting point in, solution out
  std::vector<double> pi;           // m multipliers; in: initial estimates for nonlinear rows
  std::vector<double> reducedCost;  // nb reduced costs, slacks included (out)
  int32_t ns = 0;                   // number of superbasic variables (in/out)

  // Sizes every vector for the problem and zeroes it.
  void resizeFor(const Problem& p) {
    hs.assign(p.nb(), 0);
    x.assign(p.nb(), 0.0);
    pi.assign(p.m, 0.0);
    reducedCost.assign(p.nb(), 0.0);
    ns = 0;
  }
};

}  // namespace kavro
