#pragma once
// Names of variables as reports and files show them: always 8 characters, the problem's own
// row and column names when it has them, generated names otherwise ("x" or "r" and the 1-based
// number right-justified in 7 characters with the blanks shown as dots: column 12 is
// "x.....12", row 3 is "r......3"). Also the 12-character status texts of a run's outcome.

#include <cstdint>
#include <string>

#include "kavro/problem.hpp"
#include "kavro/solver.hpp"

namespace kavro {

// Generated names; `number` is 1-based. Numbers of more than 7 digits keep all their digits.
std::string generatedColumnName(int64_t number);
std::string generatedRowName(int64_t number);

// Name of variable j (0-based; j >= n is the slack of row j - n), padded or cut to 8 characters.
std::string variableName(const Problem& p, int32_t j);
std::string rowName(const Problem& p, int32_t i);
std::string columnName(const Problem& p, int32_t j);

// A name padded with blanks to 8 characters (longer names are kept whole).
std::string padName(const std::string& name);

// Status of a run for files and listings: "OPTIMAL SOLN", "INFEASIBLE  ", "UNBOUNDED   ",
// "EXCESS ITNS " (too many iterations), else "ERROR CONDN ".
const char* solutionStatusText(ExitCode exitCode);
// The status of a saved basis (NewBasisHeader): kRunProceeding while the run goes on, else
// runEndStatus(exit); its text is "PROCEEDING  " or that of the exit.
inline constexpr int32_t kRunProceeding = 0;
inline int32_t runEndStatus(ExitCode exit) { return exit + 1; }
const char* runStatusText(int32_t status);

}  // namespace kavro
