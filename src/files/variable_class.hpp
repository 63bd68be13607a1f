#pragma once
// Classification of a variable at the end of a run, shared by the solution listing and the
// host link's status return: a report state (" LL", " UL", "SBS", " BS", " EQ", " FR") and a
// condition flag (" ", "A", "D", "I", "N").

#include <cstdint>

#include "kavro/solver.hpp"

namespace kavro {

enum ReportState : int32_t {
  kReportLower = 0,
  kReportUpper = 1,
  kReportSuperbasic = 2,
  kReportBasic = 3,
  kReportFixed = 4,
  kReportBetween = 5
};
enum ReportFlag : int32_t {
  kFlagNone = 0,
  kFlagAlternative = 1,
  kFlagDegenerate = 2,
  kFlagInfeasible = 3,
  kFlagNonOptimal = 4
};

struct ClassificationContext {
  int32_t n = 0;               // structural columns; j >= n is the slack of row j - n
  double primalTol = 1e-6;     // Feasibility tolerance
  double dualTol = 1e-6;       // Optimality tolerance x piNorm
  int32_t objectiveSense = 1;  // 1 minimize, -1 maximize
  int32_t ninf = 0;            // final number of infeasibilities
  ExitCode exitCode = kOptimal;
  int32_t maxPrimalInfeasVar = -1;  // 0-based, -1 none
  int32_t maxDualInfeasVar = -1;
};

struct VariableClass {
  int32_t state = 0;  // ReportState
  int32_t flag = 0;   // ReportFlag
};

// j is 0-based; for a slack (j >= n) pass the slack's own bounds and state: the function
// reports the row's activity limits (negated and swapped) and swaps the lower/upper states.
VariableClass classifyVariable(int32_t j, int32_t hs, double x, double lower, double upper, double reducedCost,
                               const ClassificationContext& ctx);

inline const char* reportStateText(int32_t state) {
  static const char* const kText[] = {" LL", " UL", "SBS", " BS", " EQ", " FR"};
  return (state >= 0 && state <= 5) ? kText[state] : "   ";
}
inline char reportFlagChar(int32_t flag) { return (flag >= 0 && flag <= 4) ? " ADIN"[flag] : ' '; }

}  // namespace kavro
