#pragma once
// The solution output at the end of each cycle of a run.
//
//   SolutionReport report{.problem = &p, .state = &s, .scales = scales, .exitCode = code, ...};
//   SolutionMarks marks;
//   writeSolutionOutput(1, report, params, units, out, marks, writers);   // after every cycle
//   writeSolutionOutput(2, report, params, units, out, marks);            // when the listing is due
//
// Stage 1 prints the largest infeasibilities of the unscaled and the scaled problem on the print
// file, remembers the variables with the largest primal and dual infeasibility (in `marks`, for
// the classification of variables here and in the host link's status return), then writes the
// Punch and Dump files (through `writers`), the Solution file (the listing) and the Report file
// (the export), each when its file number is at least 1. Stage 2 prints the listing on the print file
// when Solution is Yes (2) and there is a print file, and says on the summary file whether it
// did. Stage 2 reads the marks of stage 1.

#include <cstdint>
#include <functional>
#include <span>

#include "files/variable_class.hpp"
#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "specs/parameters.hpp"

namespace kavro {

// Everything the output reads; nothing is changed. Values are unscaled (as returned to the
// caller); the scale factors only serve the "(scaled)" summary lines.
struct SolutionReport {
  const Problem* problem = nullptr;     // names, bounds, the objective row's coefficients
  const ProblemState* state = nullptr;  // hs (0..3), x, pi, reducedCost, ns at the end of the run
  std::span<const double> scales;       // nb factors, columns then rows; empty when unscaled
  ExitCode exitCode = kOptimal;
  int32_t iterations = 0;
  int32_t ninf = 0;  // final number and sum of infeasibilities
  double sinf = 0.0;
  double objValue = 0.0;
  double piNorm = 1.0;                  // max(1, max |pi|): scales the Optimality tolerance
  std::span<const double> objGradient;  // gradient of the nonlinear objective (nNonlinObjVars
                                        // entries), empty when there is none
  double nonlinViolation = 0.0;         // largest nonlinear constraint violation
};

// The variables stage 1 singles out (0-based, -1 when there is none): the largest unscaled
// primal infeasibility ("Max Primal infeas") and dual infeasibility ("Max Dual infeas").
struct SolutionMarks {
  int32_t maxPrimalInfeasVar = -1;
  int32_t maxDualInfeasVar = -1;
};

// Writers of the Punch and Dump files, called with the file number. They belong to the basis
// files; while they are empty, the output writes nothing for those files.
struct SolutionFileWriters {
  std::function<void(int unit)> punch;
  std::function<void(int unit)> dump;
};

void writeSolutionOutput(int stage, const SolutionReport& report, const Parameters& params, UnitTable& units,
                         const ReportChannels& out, SolutionMarks& marks, const SolutionFileWriters& writers = {});

// The listing (header, rows, columns) on `unit`. When `unit` is not the print file the listing
// is a save that replaces the file whole, so that it always holds the latest listing, and
// " SOLUTION file saved on file" is printed on the print and summary files once it was saved.
void writeSolutionListing(int unit, const SolutionReport& report, const Parameters& params, const SolutionMarks& marks,
                          UnitTable& units, const ReportChannels& out);

// The Report file: the solution as comma-separated values for spreadsheets and scripts (the
// format is described in solution_export.cpp). Saved like the Solution file, then
// " Solution exported to file" is printed on the print and summary files.
void writeSolutionExport(int unit, const SolutionReport& report, const Parameters& params, const SolutionMarks& marks,
                         UnitTable& units, const ReportChannels& out);

// The tolerances and marks by which the listing and the export classify each variable.
ClassificationContext classificationContext(const SolutionReport& report, const Parameters& params,
                                            const SolutionMarks& marks);

}  // namespace kavro
