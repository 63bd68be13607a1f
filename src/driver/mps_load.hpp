#pragma once
// An MPS file read as the kavro command reads it: the reader's row, column and element limits
// sized from the file unless the options set them (and restored afterwards: they were only for
// reading), the reading timed as "MPS input", the problem ready to solve.

#include <string>

#include "files/mps_reader.hpp"
#include "kavro/solver.hpp"

namespace kavro {

struct MpsLoad {
  Problem problem;
  ProblemState state;
  bool ok = false;
  // Why the file gave no problem: the unit could not be opened (unreadable holds the system's
  // reason), or the reader found errors (printed on the print and summary files).
  std::string unreadable;
  ExitCode exitCode = kOptimal;
  int32_t integerColumns = 0;
};

MpsLoad loadMpsProblem(Optimizer& opt, int unit, MpsFormat format, MpsIntegers integers);

}  // namespace kavro
