#pragma once
// Small hand-written nonlinear functions with known derivatives, whose routines can be told to
// leave derivatives unset, return wrong ones, fail or ask to stop at a given call, and which
// record what they were called with.
//
//   objective   f(x) = 100 (x2 - x1^2)^2 + (1 - x1)^2 + x3^3
//   constraints F1(x) = x1^2 + 3 x3
//               F2(x) = x1 x2 + sin(x2)
//
// The Jacobian in its column order: (1,1) = 2 x1, (2,1) = x2, (2,2) = x1 + cos(x2), (1,3) = 3.
// The problem around them has a fourth, linear column, a linear row and an objective row, so
// the Jacobian is a proper part of the matrix.

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "specs/parameters.hpp"

namespace kavro::testing {

inline double objectiveAt(const double* x) {
  const double a = x[1] - x[0] * x[0];
  return 100.0 * a * a + (1.0 - x[0]) * (1.0 - x[0]) + x[2] * x[2] * x[2];
}

inline std::vector<double> gradientAt(const double* x) {
  const double a = x[1] - x[0] * x[0];
  return {-400.0 * x[0] * a - 2.0 * (1.0 - x[0]), 200.0 * a, 3.0 * x[2] * x[2]};
}

inline std::vector<double> constraintsAt(const double* x) {
  return {x[0] * x[0] + 3.0 * x[2], x[0] * x[1] + std::sin(x[1])};
}

inline std::vector<double> jacobianAt(const double* x) { return {2.0 * x[0], x[1], x[0] + std::cos(x[1]), 3.0}; }

// Rows of the Jacobian elements (0-based) and their columns.
inline constexpr int kJacRow[4] = {0, 1, 1, 0};
inline constexpr int kJacCol[4] = {0, 0, 1, 2};

// m = 4 (two nonlinear rows, a linear row, the objective row), n = 4 (three nonlinear columns and
// a linear one). The values at the Jacobian positions are 0.5, 0.25, 0.75 and jacobianConstant.
inline Problem testProblem(double jacobianConstant = 3.0) {
  Problem p;
  p.m = 4;
  p.n = 4;
  p.nNonlinCons = 2;
  p.nNonlinObjVars = 3;
  p.nNonlinJacVars = 3;
  p.objRow = 3;
  p.a.value = {0.5, 0.25, 1.0, 1.0, 0.75, 1.0, jacobianConstant, 2.0, 1.0, 1.0};
  p.a.row = {0, 1, 2, 3, 1, 2, 0, 3, 2, 3};
  p.a.colStart = {0, 4, 6, 8, 10};
  p.lower.assign(8, -1e20);
  p.upper.assign(8, 1e20);
  return p;
}

inline Parameters testParameters() {
  Parameters p;
  p.differenceInterval = 1.4901161193847656e-08;
  p.centralDifferenceInterval = 6.0554544523933395e-06;
  p.scaleOption = 0;
  p.timingLevel = 0;
  p.verifyLevel = 0;
  p.derivativeLevel = 3;
  p.startObjectiveCheck = 1;
  p.stopObjectiveCheck = 3;
  p.startConstraintCheck = 1;
  p.stopConstraintCheck = 3;
  return p;
}

class TestFunctions : public NonlinearFunctions {
 public:
  // Which derivative elements the routines set, and factors applied to the ones they set.
  std::vector<bool> objSets{true, true, true};
  std::vector<bool> conSets{true, true, true, true};
  std::vector<double> gradientFactor{1.0, 1.0, 1.0};
  std::vector<double> jacobianFactor{1.0, 1.0, 1.0, 1.0};
  // At call number ...At (1-based, counted per routine) return mode ...Mode; 0 means never.
  int objModeAt = 0, objMode = 0, conModeAt = 0, conMode = 0;
  // At call number ...At return a value that is not finite (f, a gradient element, F2).
  int objNanAt = 0, objInfGradientAt = 0, conNanAt = 0;
  // Both routines are undefined (mode -1) wherever x1 lies below this value, like log(x1).
  double undefinedBelow = -std::numeric_limits<double>::infinity();

  // What the routines saw.
  std::vector<int> objNstates, conNstates, objModes, conModes;
  std::vector<std::vector<double>> objPoints, conPoints;

  void objective(int& mode, int n, const double* x, double& f, double* g, int nstate) override {
    objNstates.push_back(nstate);
    objModes.push_back(mode);
    objPoints.emplace_back(x, x + n);
    const int call = static_cast<int>(objNstates.size());
    f = objectiveAt(x);
    if (mode == 2) {
      const std::vector<double> exact = gradientAt(x);
      for (int j = 0; j < n; ++j)
        if (objSets[static_cast<size_t>(j)])
          g[j] = exact[static_cast<size_t>(j)] * gradientFactor[static_cast<size_t>(j)];
      if (call == objInfGradientAt) g[1] = std::numeric_limits<double>::infinity();
    }
    if (call == objNanAt) f = std::numeric_limits<double>::quiet_NaN();
    if (call == objModeAt) mode = objMode;
    if (x[0] < undefinedBelow) mode = -1;
  }

  void constraints(int& mode, int m, int n, int njac, const double* x, double* f, double* g, int nstate) override {
    conNstates.push_back(nstate);
    conModes.push_back(mode);
    conPoints.emplace_back(x, x + n);
    const int call = static_cast<int>(conNstates.size());
    const std::vector<double> values = constraintsAt(x);
    for (int i = 0; i < m; ++i) f[i] = values[static_cast<size_t>(i)];
    if (mode == 2) {
      const std::vector<double> exact = jacobianAt(x);
      for (int k = 0; k < njac; ++k)
        if (conSets[static_cast<size_t>(k)])
          g[k] = exact[static_cast<size_t>(k)] * jacobianFactor[static_cast<size_t>(k)];
    }
    if (call == conNanAt) f[1] = std::numeric_limits<double>::quiet_NaN();
    if (call == conModeAt) mode = conMode;
    if (x[0] < undefinedBelow) mode = -1;
  }
};

inline bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines)
    if (l == line) return true;
  return false;
}

inline int linesContaining(const std::vector<std::string>& lines, const std::string& text) {
  int count = 0;
  for (const auto& l : lines)
    if (l.find(text) != std::string::npos) ++count;
  return count;
}

}  // namespace kavro::testing
