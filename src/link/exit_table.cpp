// The exit table: what the host is told for each optimizer exit code.

#include <cstdio>

#include "files/variable_class.hpp"
#include "link/solution_return.hpp"

namespace kavro::link {

namespace {

constexpr double kMbytesPerWordWithMargin = 8.392333984375e-06;  // 8 bytes + 10 %, in 2^20 bytes

std::string optimalLine(double objValue) {
  char line[96];
  std::snprintf(line, sizeof line, " EXIT - Optimal Solution found, objective: %g", objValue);
  return line;
}

std::string requestLine(int64_t minWorkWords) {
  char line[96];
  std::snprintf(line, sizeof line, "        Request at least %8.2f Mbytes.",
                static_cast<double>(minWorkWords) * kMbytesPerWordWithMargin + 0.005);
  return line;
}

}  // namespace

ExitReport exitReport(const ExitFacts& f) {
  ExitReport r;
  auto set = [&r](std::initializer_list<std::string> lines, int32_t ms, int32_t ss, bool write) {
    r.lines = lines;
    r.modelStatus = ms;
    r.solveStatus = ss;
    r.writeRecords = write;
  };
  switch (f.exitCode) {
    case kOptimal: set({optimalLine(f.objValue)}, f.modelType == 8 ? 16 : (f.nonlinear ? 2 : 1), 1, true); break;
    case kInfeasible: set({" EXIT - The problem is infeasible."}, f.nonlinearRows ? 5 : 4, 1, true); break;
    case kUnbounded: set({" EXIT - The problem is unbounded (or badly scaled)."}, 3, 1, false); break;
    case kTooManyIterations: set({" EXIT - Too many iterations."}, -1, 2, true); break;
    case kObjectiveUnchanged: set({" EXIT - The objective has not changed in many iterations."}, -1, 4, true); break;
    case kSuperbasicsLimit: set({" EXIT - The Superbasics Limit is too small."}, -1, 4, false); break;
    case kFunctionError:
      if (f.domainErrorLimit < f.evaluationErrors)
        set({" EXIT - Function evaluation error limit exceeded."}, -1, 5, true);
      else set({" EXIT - Constraint and objective values could not be calculated."}, -1, 4, true);
      break;
    case kCannotImprove:
    case kFactorizationTwice:
    case kNearOptimal: set({" EXIT - The current point cannot be improved."}, -1, 4, true); break;
    case kNumericalError:
      set({" EXIT - Numerical error in trying to satisfy the linear constraints",
           "        (or the linearized constraints). The basis is very ill-conditioned."},
          -1, 4, false);
      break;
    // A run stopped by the clock or by the user returns the point it reached: its records tell
    // the host what the run got to (the model status stays intermediate), and a user who stops
    // a long run does not lose it.
    case kTimeLimit: set({" EXIT - Time limit reached."}, -1, 3, true); break;
    case kInterrupted: set({" EXIT - Terminated by user."}, -1, 8, true); break;
    case kNoStorageForFactors:
    case kOutOfMemory: set({" EXIT - Not enough storage to solve the model."}, 13, 9, false); break;
    case kWorkspaceTooSmall:
      set({" EXIT - Not enough storage to solve the model.", requestLine(f.minWorkWords)}, 13, 9, false);
      break;
    case kFileClash:
      set({" EXIT - An output file is an input or another output file of the run."}, 13, 9, false);
      break;
    default: set({" EXIT - Systems error."}, -1, 4, false); break;
  }
  return r;
}

int32_t hostBasisStatus(int32_t reportState, double marginal, bool maximize) {
  switch (reportState) {
    case kReportLower: return 0;
    case kReportUpper: return 1;
    case kReportBasic: return 2;
    case kReportFixed: return (maximize ? marginal >= 0.0 : marginal <= 0.0) ? 1 : 0;
    default: return 3;
  }
}

int32_t hostCondition(int32_t flag, ExitCode exitCode) {
  if (flag == kFlagInfeasible) return 2;
  if (flag == kFlagNonOptimal) return exitCode != kOptimal ? 1 : 0;
  return 0;
}

}  // namespace kavro::link
