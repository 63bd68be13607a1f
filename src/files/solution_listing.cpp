// The printed solution listing: a header, then one fixed-column line per row and per column.

#include <cmath>
#include <cstdio>
#include <string>

#include "files/file_save.hpp"
#include "files/fortran_format.hpp"
#include "files/solution_output.hpp"
#include "files/variable_class.hpp"
#include "files/variable_names.hpp"

namespace kavro {

namespace {

// A numeric field of 16 characters: fixed with 5 decimals, exponent form from 1e9 on, and the
// exact values 0, 1 and -1 shown short so that they stand out.
std::string valueField(double v) {
  if (v == 0.0) return "          .     ";
  if (v == 1.0) return "         1.0    ";
  if (v == -1.0) return "        -1.0    ";
  if (!(std::fabs(v) < 1.0e9)) return formatExponent(v, 16, 6);
  return formatFixed(v, 16, 5);
}

constexpr const char* kNone = "           None ";

struct ListingLine {
  int64_t number = 0;
  std::string name;
  VariableClass cls;
  double values[5] = {};
  bool noLower = false, noUpper = false;  // infinite limits in fields 3 and 4
  int64_t last = 0;
};

void writeLine(UnitTable& units, int unit, const ListingLine& l) {
  std::string text;
  char head[64];
  std::snprintf(head, sizeof head, "%8lld  %-8.8s %c %3s", static_cast<long long>(l.number), l.name.c_str(),
                reportFlagChar(l.cls.flag), reportStateText(l.cls.state));
  text += head;
  for (int k = 0; k < 5; ++k) {
    if ((k == 2 && l.noLower) || (k == 3 && l.noUpper)) text += kNone;
    else text += valueField(l.values[k]);
  }
  char tail[32];
  std::snprintf(tail, sizeof tail, "%7lld", static_cast<long long>(l.last));
  text += tail;
  units.writeLine(unit, text);
}

void writeHeader(UnitTable& units, int unit, const SolutionReport& r, const Parameters& params) {
  const Problem& p = *r.problem;
  char line[256];
  const std::string name = padName(p.names[0]).substr(0, 8);
  if (r.ninf == 0)
    std::snprintf(line, sizeof line, " NAME           %s              OBJECTIVE VALUE%s", name.c_str(),
                  formatExponent(r.objValue, 22, 10).c_str());
  else
    std::snprintf(line, sizeof line, " NAME           %s              INFEASIBILITIES%7d%s", name.c_str(), r.ninf,
                  formatExponent(r.sinf, 15, 4).c_str());
  units.writeLine(unit, line);
  units.writeLine(unit, "");
  std::snprintf(line, sizeof line, " STATUS         %s          ITERATION%7d    SUPERBASICS%7d",
                solutionStatusText(r.exitCode), r.iterations, r.state->ns);
  units.writeLine(unit, line);
  units.writeLine(unit, "");
  const std::string sense = (params.sensePrintText + "   ").substr(0, 3);
  std::snprintf(line, sizeof line, " OBJECTIVE      %s (%s)", padName(p.names[1]).substr(0, 8).c_str(), sense.c_str());
  units.writeLine(unit, line);
  const char* labels[3] = {" RHS      ", " RANGES   ", " BOUNDS   "};
  for (int k = 0; k < 3; ++k) {
    std::snprintf(line, sizeof line, "%s      %s", labels[k], padName(p.names[k + 2]).substr(0, 8).c_str());
    units.writeLine(unit, line);
  }
}

void writeRows(UnitTable& units, int unit, const SolutionReport& r, const ClassificationContext& ctx, double inf) {
  const Problem& p = *r.problem;
  const ProblemState& s = *r.state;
  units.writeLine(unit, " SECTION 1 - ROWS");
  units.writeLine(unit, "");
  units.writeLine(unit,
                  "  NUMBER  ...ROW.. STATE  ...ACTIVITY...  SLACK ACTIVITY  ..LOWER LIMIT.  ..UPPER LIMIT.  "
                  ".DUAL ACTIVITY    ..I");
  units.writeLine(unit, "");
  for (int32_t i = 0; i < p.m; ++i) {
    const int32_t j = p.n + i;
    ListingLine l;
    l.number = static_cast<int64_t>(j) + 1;
    l.name = rowName(p, i);
    l.cls = classifyVariable(j, s.hs[j], s.x[j], p.lower[j], p.upper[j], s.reducedCost[j], ctx);
    const double activity = -s.x[j];
    const double rowLower = -p.upper[j], rowUpper = -p.lower[j];
    const double slack = std::fmin(activity - rowLower, rowUpper - activity);
    l.values[0] = activity;
    l.values[1] = std::fabs(slack) >= 0.9 * inf ? activity : slack;
    l.values[2] = rowLower;
    l.values[3] = rowUpper;
    l.values[4] = s.pi[i];
    l.noLower = rowLower < -0.9 * inf;
    l.noUpper = rowUpper > 0.9 * inf;
    l.last = static_cast<int64_t>(i) + 1;
    writeLine(units, unit, l);
  }
}

// The objective gradient of column j: its coefficient in the objective row plus the nonlinear
// objective's gradient.
double objectiveGradient(const SolutionReport& r, int32_t j) {
  const Problem& p = *r.problem;
  double g = 0.0;
  if (p.objRow >= 0)
    for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k)
      if (p.a.row[k] == p.objRow) g += p.a.value[k];
  if (static_cast<size_t>(j) < r.objGradient.size() && j < p.nNonlinObjVars) g += r.objGradient[j];
  return g;
}

void writeColumns(UnitTable& units, int unit, const SolutionReport& r, const ClassificationContext& ctx, double inf) {
  const Problem& p = *r.problem;
  const ProblemState& s = *r.state;
  units.writeLine(unit, " SECTION 2 - COLUMNS");
  units.writeLine(unit, "");
  units.writeLine(unit,
                  "  NUMBER  .COLUMN. STATE  ...ACTIVITY...  .OBJ GRADIENT.  ..LOWER LIMIT.  ..UPPER LIMIT.  "
                  "REDUCED GRADNT    M+J");
  units.writeLine(unit, "");
  for (int32_t j = 0; j < p.n; ++j) {
    ListingLine l;
    l.number = static_cast<int64_t>(j) + 1;
    l.name = columnName(p, j);
    l.cls = classifyVariable(j, s.hs[j], s.x[j], p.lower[j], p.upper[j], s.reducedCost[j], ctx);
    l.values[0] = s.x[j];
    l.values[1] = objectiveGradient(r, j);
    l.values[2] = p.lower[j];
    l.values[3] = p.upper[j];
    l.values[4] = s.reducedCost[j];
    l.noLower = p.lower[j] < -0.9 * inf;
    l.noUpper = p.upper[j] > 0.9 * inf;
    l.last = static_cast<int64_t>(p.m) + j + 1;
    writeLine(units, unit, l);
  }
}

}  // namespace

ClassificationContext classificationContext(const SolutionReport& r, const Parameters& params,
                                            const SolutionMarks& marks) {
  ClassificationContext ctx;
  ctx.n = r.problem->n;
  ctx.primalTol = params.feasibilityTolerance;
  ctx.dualTol = params.optimalityTolerance * r.piNorm;
  ctx.objectiveSense = params.objectiveSense;
  ctx.ninf = r.ninf;
  ctx.exitCode = r.exitCode;
  ctx.maxPrimalInfeasVar = marks.maxPrimalInfeasVar;
  ctx.maxDualInfeasVar = marks.maxDualInfeasVar;
  return ctx;
}

void writeSolutionListing(int unit, const SolutionReport& report, const Parameters& params, const SolutionMarks& marks,
                          UnitTable& units, const ReportChannels& out) {
  if (unit <= 0 || !report.problem || !report.state) return;
  const double inf = params.machine.infBound;
  const ClassificationContext ctx = classificationContext(report, params, marks);
  startSave(units, out, unit);
  units.writeLine(unit, "");
  writeHeader(units, unit, report, params);
  units.writeLine(unit, "");
  writeRows(units, unit, report, ctx, inf);
  units.writeLine(unit, "");
  writeColumns(units, unit, report, ctx, inf);
  if (unit == out.printUnit) return;
  char saved[48];
  std::snprintf(saved, sizeof saved, " SOLUTION file saved on file%4d", unit);
  finishSave(units, out, unit, saved, "SOLUTION");
}

}  // namespace kavro
