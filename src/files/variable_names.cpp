#include "files/variable_names.hpp"

#include <cstdio>

namespace kavro {

namespace {

std::string generatedName(char letter, int64_t number) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%7lld", static_cast<long long>(number));
  std::string name(1, letter);
  for (const char* c = digits; *c; ++c) name += (*c == ' ') ? '.' : *c;
  return name;
}

std::string fitName(const std::string& name) {
  std::string out = name.substr(0, 8);
  out.resize(8, ' ');
  return out;
}

}  // namespace

std::string generatedColumnName(int64_t number) { return generatedName('x', number); }
std::string generatedRowName(int64_t number) { return generatedName('r', number); }

std::string padName(const std::string& name) {
  std::string out = name;
  if (out.size() < 8) out.resize(8, ' ');
  return out;
}

std::string rowName(const Problem& p, int32_t i) {
  if (i >= 0 && static_cast<size_t>(i) < p.rowNames.size()) return fitName(p.rowNames[i]);
  return generatedRowName(static_cast<int64_t>(i) + 1);
}

std::string columnName(const Problem& p, int32_t j) {
  if (j >= 0 && static_cast<size_t>(j) < p.columnNames.size()) return fitName(p.columnNames[j]);
  return generatedColumnName(static_cast<int64_t>(j) + 1);
}

std::string variableName(const Problem& p, int32_t j) { return j < p.n ? columnName(p, j) : rowName(p, j - p.n); }

const char* solutionStatusText(ExitCode exitCode) {
  switch (exitCode) {
    case kOptimal: return "OPTIMAL SOLN";
    case kInfeasible: return "INFEASIBLE  ";
    case kUnbounded: return "UNBOUNDED   ";
    case kTooManyIterations: return "EXCESS ITNS ";
    default: return "ERROR CONDN ";
  }
}

const char* runStatusText(int32_t status) {
  return status == kRunProceeding ? "PROCEEDING  " : solutionStatusText(static_cast<ExitCode>(status - 1));
}

}  // namespace kavro
