// The Report file: the solution as comma-separated values, for spreadsheets and scripts that
// should not have to parse the fixed columns of the listing.
//
//   # KAVRO solution export
//   # problem,BLEND
//   # status,OPTIMAL SOLN
//   # objective,-30.81481481481481          (or "# infeasibilities,3" and "# sum,1.5")
//   # iterations,6
//   # superbasics,0
//   kind,number,name,state,flag,value,lower,upper,dual
//   row,1,R1,BS,,4.5,-inf,5,0
//   column,1,X01,LL,,0,0,inf,-0.3
//
// The comment lines start with "#". Each row and column has one line: "row" or "column", its
// number (rows 1..m, columns 1..n), its name (quoted when it holds a comma, a quote or an outer
// blank), the state and flag of the listing ("LL", "UL", "SBS", "BS", "EQ", "FR"; "A", "D", "I",
// "N" or empty), the value (a row's activity), the limits ("-inf" and "inf" when there is none)
// and the dual (a row's multiplier, a column's reduced gradient). Numbers are written with 17
// significant digits, so that they read back exactly.

#include <cstdio>
#include <string>

#include "files/file_save.hpp"
#include "files/solution_output.hpp"
#include "files/variable_names.hpp"

namespace kavro {

namespace {

std::string number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string lowerLimit(double v, double inf) { return v < -0.9 * inf ? "-inf" : number(v); }
std::string upperLimit(double v, double inf) { return v > 0.9 * inf ? "inf" : number(v); }

std::string csvField(const std::string& text) {
  const bool quote = text.find_first_of(",\"") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string trimmed(const char* text) {
  std::string s = text;
  const size_t first = s.find_first_not_of(' '), last = s.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

struct ExportLine {
  const char* kind;
  int32_t number;
  std::string name;
  VariableClass cls;
  double value, lower, upper, dual;
};

void writeExportLine(UnitTable& units, int unit, const ExportLine& l, double inf) {
  const char flag = reportFlagChar(l.cls.flag);
  const std::string text = std::string(l.kind) + ',' + std::to_string(l.number) + ',' + csvField(l.name) + ',' +
                           trimmed(reportStateText(l.cls.state)) + ',' + (flag == ' ' ? "" : std::string(1, flag)) +
                           ',' + number(l.value) + ',' + lowerLimit(l.lower, inf) + ',' + upperLimit(l.upper, inf) +
                           ',' + number(l.dual);
  units.writeLine(unit, text);
}

void writeExportHeader(UnitTable& units, int unit, const SolutionReport& r) {
  units.writeLine(unit, "# KAVRO solution export");
  units.writeLine(unit, "# problem," + csvField(trimmed(r.problem->names[0].c_str())));
  units.writeLine(unit, "# status," + trimmed(solutionStatusText(r.exitCode)));
  if (r.ninf == 0) {
    units.writeLine(unit, "# objective," + number(r.objValue));
  } else {
    units.writeLine(unit, "# infeasibilities," + std::to_string(r.ninf));
    units.writeLine(unit, "# sum," + number(r.sinf));
  }
  units.writeLine(unit, "# iterations," + std::to_string(r.iterations));
  units.writeLine(unit, "# superbasics," + std::to_string(r.state->ns));
  units.writeLine(unit, "kind,number,name,state,flag,value,lower,upper,dual");
}

}  // namespace

void writeSolutionExport(int unit, const SolutionReport& report, const Parameters& params, const SolutionMarks& marks,
                         UnitTable& units, const ReportChannels& out) {
  if (unit <= 0 || !report.problem || !report.state) return;
  const Problem& p = *report.problem;
  const ProblemState& s = *report.state;
  const double inf = params.machine.infBound;
  const ClassificationContext ctx = classificationContext(report, params, marks);
  startSave(units, out, unit);
  writeExportHeader(units, unit, report);
  for (int32_t i = 0; i < p.m; ++i) {
    const int32_t j = p.n + i;
    const VariableClass cls = classifyVariable(j, s.hs[j], s.x[j], p.lower[j], p.upper[j], s.reducedCost[j], ctx);
    writeExportLine(units, unit, {"row", i + 1, rowName(p, i), cls, -s.x[j], -p.upper[j], -p.lower[j], s.pi[i]}, inf);
  }
  for (int32_t j = 0; j < p.n; ++j) {
    const VariableClass cls = classifyVariable(j, s.hs[j], s.x[j], p.lower[j], p.upper[j], s.reducedCost[j], ctx);
    writeExportLine(units, unit,
                    {"column", j + 1, columnName(p, j), cls, s.x[j], p.lower[j], p.upper[j], s.reducedCost[j]}, inf);
  }
  char saved[48];
  std::snprintf(saved, sizeof saved, " Solution exported to file%4d", unit);
  finishSave(units, out, unit, saved, "REPORT");
}

}  // namespace kavro
