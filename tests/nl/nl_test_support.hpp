#pragma once
// Small .nl models written in the text format for the tests: every function lists every
// variable in its G or J segment (coefficient 0 unless given), so gradients come on the full
// variable list in variable order.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nl/nl_reader.hpp"

namespace kavro::nl::testing {

struct TextModel {
  int nVars = 1;
  std::vector<std::string> objectives;  // expressions, one node a line
  std::vector<std::string> constraints;
  std::vector<std::string> defined;      // whole V segments ("V3 0 0\no2\nv0\nv1\n")
  std::vector<double> objCoef, conCoef;  // linear coefficients of every variable (default 0)
  std::string extra;                     // further segments (x, d, S, ...)
  std::vector<int> maxSense;             // objectives to maximize

  std::string text() const {
    const int m = static_cast<int>(constraints.size()), nObj = static_cast<int>(objectives.size());
    std::string s = "g3 1 1 0\t# test model\n";
    s += " " + std::to_string(nVars) + " " + std::to_string(m) + " " + std::to_string(nObj) + " 0 0\n";
    s += " " + std::to_string(m) + " " + std::to_string(nObj) + "\n 0 0\n";
    const std::string n = std::to_string(nVars);
    s += " " + (m ? n : "0") + " " + (nObj ? n : "0") + " " + (m && nObj ? n : "0") + "\n";
    s += " 0 0 0 1\n 0 0 0 0 0\n";
    s += " " + std::to_string(nVars * m) + " " + std::to_string(nVars * nObj) + "\n 0 0\n";
    s += " " + std::to_string(defined.size()) + " 0 0 0 0\n";
    for (const std::string& v : defined) s += v;
    for (int i = 0; i < m; ++i) s += "C" + std::to_string(i) + "\n" + constraints[static_cast<size_t>(i)];
    for (int k = 0; k < nObj; ++k) {
      const bool max = std::find(maxSense.begin(), maxSense.end(), k) != maxSense.end();
      s += "O" + std::to_string(k) + (max ? " 1\n" : " 0\n") + objectives[static_cast<size_t>(k)];
    }
    s += "b\n";
    for (int j = 0; j < nVars; ++j) s += "3\n";
    if (m > 0) {
      s += "r\n";
      for (int i = 0; i < m; ++i) s += "3\n";
    }
    s += extra;
    for (int i = 0; i < m; ++i) s += "J" + std::to_string(i) + " " + n + "\n" + terms(conCoef);
    for (int k = 0; k < nObj; ++k) s += "G" + std::to_string(k) + " " + n + "\n" + terms(objCoef);
    return s;
  }

 private:
  std::string terms(const std::vector<double>& coef) const {
    std::string s;
    for (int j = 0; j < nVars; ++j) {
      char line[64];
      std::snprintf(line, sizeof line, "%d %.17g\n", j, coef.empty() ? 0.0 : coef[static_cast<size_t>(j)]);
      s += line;
    }
    return s;
  }
};

// Nonlinear rows 0 and 1 over x0, x1 (with linear terms in x2 and x3), a linear row 2 with a
// constant part, a nonlinear objective over x0..x2 with linear terms in x1 and x3, a constant
// in the objective, initial duals and a maximized objective.
inline const std::string kMixedModel =
    "g3 1 1 0\n 4 3 1 0 0\n 2 1\n 0 0\n 2 3 2\n 0 0 0 1\n 0 0 0 0 0\n 9 4\n 0 0\n 1 0 0 0 0\n"
    "V4 1 0\n1 2\no2\nv0\nv0\n"  // w = x0^2 + 2 x1
    "C0\no2\nv4\nv1\n"           // w x1 + 3 x0 + x2
    "C1\no44\nv0\n"              // exp(x0) + 2 x1 - x3
    "C2\nn1.5\n"                 // 1.5 + x0 + x2 + x3 (linear, constant 1.5)
    "O0 1\no0\no41\nv2\nv4\n"    // sin(x2) + w - 4 x1 + 5 x3
    "r\n0 -10 10\n1 20\n4 2\n"
    "b\n0 -2 2\n2 0\n1 5\n3\n"
    "x4\n0 0.5\n1 1.5\n2 -0.25\n3 2\n"
    "d3\n0 0.5\n1 -1\n2 2\n"
    "k3\n3\n5\n7\n"
    "J0 3\n0 3\n1 0\n2 1\n"
    "J1 3\n0 0\n1 2\n3 -1\n"
    "J2 3\n0 1\n2 1\n3 1\n"
    "G0 4\n0 0\n1 -4\n2 0\n3 5\n";

// Reads a model that must be valid.
inline Model readValid(const std::string& text) {
  ReadResult r = readNlData(text, "test");
  EXPECT_TRUE(r.ok) << r.error;
  return std::move(r.model);
}

// The reader's message for data that must be refused ("" when it was read).
inline std::string readError(const std::string& text) {
  const ReadResult r = readNlData(text, "test");
  return r.ok ? std::string() : r.error;
}

}  // namespace kavro::nl::testing
