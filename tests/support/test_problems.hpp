#pragma once
// Small problems built in code for the driver and optimizer tests.

#include <string>
#include <vector>

#include "kavro/problem.hpp"

namespace kavro::testing {

// A dense description: rows of coefficients (objective row included), slack bounds derived
// from the row limits, column bounds.
struct DenseLp {
  std::vector<std::vector<double>> rows;   // m x n
  std::vector<double> rowLower, rowUpper;  // activity limits
  std::vector<double> colLower, colUpper;
  int objRow = -1;
};

inline Problem makeProblem(const DenseLp& d) {
  Problem p;
  p.m = static_cast<int32_t>(d.rows.size());
  p.n = p.m > 0 ? static_cast<int32_t>(d.rows[0].size()) : 0;
  p.objRow = d.objRow;
  p.a.colStart.push_back(0);
  for (int32_t j = 0; j < p.n; ++j) {
    for (int32_t i = 0; i < p.m; ++i) {
      const double v = d.rows[static_cast<size_t>(i)][static_cast<size_t>(j)];
      if (v == 0.0) continue;
      p.a.value.push_back(v);
      p.a.row.push_back(i);
    }
    p.a.colStart.push_back(static_cast<int32_t>(p.a.value.size()));
  }
  p.lower = d.colLower;
  p.upper = d.colUpper;
  for (int32_t i = 0; i < p.m; ++i) {
    // activity in [rl, ru]  <=>  slack in [-ru, -rl]
    p.lower.push_back(-d.rowUpper[static_cast<size_t>(i)]);
    p.upper.push_back(-d.rowLower[static_cast<size_t>(i)]);
  }
  return p;
}

inline constexpr double kInf = 1e20;

}  // namespace kavro::testing
