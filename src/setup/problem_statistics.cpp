#include "setup/problem_statistics.hpp"

#include <cmath>

#include "io/units.hpp"
#include "specs/parameters.hpp"

namespace kavro {

namespace {

struct BoundCounts {
  int normal = 0, free = 0, fixed = 0, bounded = 0;
};

struct ElementRange {
  double biggest = 0.0;
  double smallest = 0.0;
  int count = 0;
};

// Rows: equal bounds are Fixed, both infinite Free, one infinite Normal, the rest Bounded.
BoundCounts classifyRows(const Problem& prob, double infinite, std::vector<int32_t>& rowTypes) {
  BoundCounts c;
  rowTypes.assign(prob.m, kOrdinaryRow);
  for (int32_t i = 0; i < prob.m; ++i) {
    const double lo = prob.lower[prob.n + i];
    const double up = prob.upper[prob.n + i];
    const bool loInf = lo <= -infinite, upInf = up >= infinite;
    if (lo == up) {
      rowTypes[i] = kEqualityRow;
      ++c.fixed;
    } else if (loInf && upInf) {
      rowTypes[i] = kFreeRow;
      ++c.free;
    } else if (loInf || upInf) {
      ++c.normal;
    }
  }
  c.bounded = prob.m - c.fixed - c.free - c.normal;
  return c;
}

// Columns: [0, +inf) and (-inf, 0] are Normal; both infinite Free; equal bounds Fixed.
BoundCounts classifyColumns(const Problem& prob, double infinite) {
  BoundCounts c;
  for (int32_t j = 0; j < prob.n; ++j) {
    const double lo = prob.lower[j], up = prob.upper[j];
    const bool loInf = lo <= -infinite, upInf = up >= infinite;
    if (lo == up) ++c.fixed;
    else if ((lo == 0.0 && upInf) || (loInf && up == 0.0)) ++c.normal;
    else if (loInf && upInf) ++c.free;
  }
  c.bounded = prob.n - c.fixed - c.free - c.normal;
  return c;
}

void noteMagnitude(ElementRange& r, double magnitude) {
  if (magnitude > r.biggest) r.biggest = magnitude;
  if (magnitude < r.smallest) r.smallest = magnitude;
}

// Element magnitudes over the non-fixed columns: constraint rows and the objective row apart;
// other free rows are ignored.
void measureElements(const Problem& prob, const std::vector<int32_t>& rowTypes, double infinite, ElementRange& matrix,
                     ElementRange& objective) {
  matrix.smallest = objective.smallest = infinite;
  for (int32_t j = 0; j < prob.n; ++j) {
    if (!(prob.lower[j] < prob.upper[j])) continue;
    for (int32_t k = prob.a.colStart[j]; k < prob.a.colStart[j + 1]; ++k) {
      const int32_t i = prob.a.row[k];
      const double magnitude = std::fabs(prob.a.value[k]);
      if (rowTypes[i] == kFreeRow) {
        if (i == prob.objRow && magnitude > 0.0) {
          ++objective.count;
          noteMagnitude(objective, magnitude);
        }
      } else {
        noteMagnitude(matrix, magnitude);
      }
    }
  }
  if (matrix.smallest == infinite) matrix.smallest = 0.0;
  if (objective.smallest == infinite) objective.smallest = 0.0;
}

void printStatistics(const Problem& prob, const ReportChannels& out, const BoundCounts& rows, const BoundCounts& cols,
                     const ElementRange& matrix, const ElementRange& objective) {
  // Density is formed in single precision, as the report has always shown it.
  const float mn = static_cast<float>(prob.m) * static_cast<float>(prob.n);
  const float density = mn > 0.0f ? 100.0f * static_cast<float>(prob.nElements()) / mn : 0.0f;
  const int nonlinVars = prob.nNonlinVars();

  out.print("%s", "");
  out.print("%s", " Matrix Statistics");
  out.print("%s", " -----------------");
  out.print("%s", "               Total      Normal        Free       Fixed     Bounded");
  out.print(" Rows       %9d   %9d   %9d   %9d   %9d", prob.m, rows.normal, rows.free, rows.fixed, rows.bounded);
  out.print(" Columns    %9d   %9d   %9d   %9d   %9d", prob.n, cols.normal, cols.free, cols.fixed, cols.bounded);
  out.print("%s", "");
  out.print(" No. of matrix elements     %10d     Density   %10.3f", prob.nElements(), static_cast<double>(density));
  out.print(" Biggest                  %12.4E     (excluding fixed columns,", matrix.biggest);
  out.print(" Smallest                 %12.4E      free rows, and RHS)", matrix.smallest);
  out.print("%s", "");
  out.print(" No. of objective coefficients %7d", objective.count);
  if (objective.count > 0) {
    out.print(" Biggest                  %12.4E     (excluding fixed columns)", objective.biggest);
    out.print(" Smallest                 %12.4E", objective.smallest);
  }
  out.print("%s", "");
  out.print(" Nonlinear constraints %7d     Linear constraints %7d", prob.nNonlinCons, prob.m - prob.nNonlinCons);
  out.print(" Nonlinear variables   %7d     Linear variables   %7d", nonlinVars, prob.n - nonlinVars);
  out.print(" Jacobian  variables   %7d     Objective variables%7d", prob.nNonlinJacVars, prob.nNonlinObjVars);
}

}  // namespace

void problemStatistics(int stage, const Problem& prob, const Parameters& params, const ReportChannels& out,
                       std::vector<int32_t>& rowTypes) {
  const double infinite = 0.9 * params.machine.infBound;
  const BoundCounts rows = classifyRows(prob, infinite, rowTypes);
  if (stage == 2 || !out.hasPrint()) return;
  const BoundCounts cols = classifyColumns(prob, infinite);
  ElementRange matrix, objective;
  measureElements(prob, rowTypes, infinite, matrix, objective);
  printStatistics(prob, out, rows, cols, matrix, objective);
}

}  // namespace kavro
