#pragma once
// The MPS reader: fills a Problem (Part of a stand-alone run: the problem's linear part, its
// bounds and names) from an MPS file, listing the file and reporting every error.
//
//   kavro::MpsDimensions dims = kavro::scanMpsDimensions(in);        // optional, to size limits
//   params.rowLimit = ...; params.columnLimit = ...; params.elementsLimit = ...;
//   kavro::MpsResult r = kavro::readMpsFile(params, in, out, kavro::MpsFormat::kAutomatic);
//   if (r.exitCode == kOptimal) ... r.problem, r.start ...
//
// Formats. Fixed columns are the default: names of 8 characters that may contain blanks, values
// in fixed fields. Free format has fields separated by white space, names without blanks (and
// of any length). kAutomatic reads the file in fixed columns unless some data record of the
// ROWS, COLUMNS, RHS, RANGES or BOUNDS sections cannot be a fixed-column record — a tab, or a
// character in a column that must be blank between two fixed fields, or in column 4 or beyond
// the last field of a ROWS or BOUNDS record — in which case the whole file is read in free
// format. The decision is made on the whole file before reading (one extra pass), so a file is
// never read half one way and half the other.
//
// Sections: NAME, ROWS, COLUMNS, RHS, [RANGES], [BOUNDS], ENDATA, in this order; "*" in column
// 1 marks a comment. Sets: when the RHS, Ranges or Bounds name parameter is blank, the first
// set of the section is used and its name becomes the parameter; only cards of the chosen set
// count. The RHS set "LAGRANGE" holds initial multipliers (start.pi), the bounds set "INITIAL"
// initial values (start.x; type FR also makes the column superbasic); when either comes first
// in its section the other sets of that section are ignored, with a warning. Without an
// Objective name the first N row is the objective, and its name becomes the Objective name.
//
// Errors. Every message about the file's content that begins with "XXXX" counts as an error,
// except four warnings that leave the problem as the file means it: "Garbage before NAME
// card", "RHS card not found" (the RHS is zero), "No valid row entries in column" (an empty
// column) and "Characters beyond column 61 ignored". Integer columns are an error unless the
// caller relaxes them (MpsIntegers). A line longer than the input's limit, or data that cannot
// be read, ends the reading with an error that says why.
//
// Warnings ("===>  Warning - ...") name what the file holds but the problem does not use: a
// second RHS, RANGES or BOUNDS set (only the first, or the one the parameters name, is used, as
// the format intends), RANGES entries on a free row, and a second RHS entry for one row (the
// last value is used). Values that are not numbers, and NaN or
// values too large for a double (1e400), are errors and never reach the problem. With errors
// the exit code is 41 ("fatal errors in the MPS file"): the problem read is then incomplete and
// must not be solved. Messages about single records print while their kind's count is within
// Error message limit.
//
// Limits. params.rowLimit, columnLimit and elementsLimit cap the rows (objective included),
// the columns and the stored elements; a limit below 1 is taken as the parameter completion
// would set it (Row limit 100, Column limit 3 x Row limit, Elements limit 5 x Column limit).
// When one is exceeded the reader says so with the actual number and returns exit code 40
// ("not enough storage to read the MPS file"); rows are checked at the end of ROWS, columns and
// elements at the end of COLUMNS (both counted to the end of the section), and reading stops
// there.
//
// Output. The print file gets the heading, the listing (cards that start a section, comments,
// and data records up to line List limit) and all messages; the summary file gets the messages.

#include <cstdint>
#include <vector>

#include "io/units.hpp"
#include "kavro/problem.hpp"
#include "kavro/solver.hpp"
#include "specs/parameters.hpp"

namespace kavro {

enum class MpsFormat { kFixed, kFree, kAutomatic };

// What a file with integer columns (MARKER cards, BV, LI and UI bounds) means for the reader:
// by default an error, since the optimizer solves continuous problems and would report the
// optimum of another problem; or, when the caller asks for it, the continuous relaxation, which
// the reader then says it is.
enum class MpsIntegers { kRefuse, kRelax };

struct MpsDimensions {
  int64_t rows = 0;         // data records of the ROWS section
  int64_t columns = 0;      // columns of the COLUMNS section (consecutive distinct names)
  int64_t elements = 0;     // (row, value) pairs of the COLUMNS section, small values included
  bool freeFormat = false;  // the format the reader would choose
};

// Counts what the file holds, for sizing the limits: at least what readMpsFile will store.
// Reads from the unit's current line to ENDATA (or the end) and puts the unit back on the line
// where it started (the first line when it was just opened or rewound).
MpsDimensions scanMpsDimensions(InputUnit& in, MpsFormat format = MpsFormat::kAutomatic);

struct MpsResult {
  // kOptimal: the problem is complete; kNoStorageForMps: a limit was exceeded; kMpsFatalErrors:
  // the file has errors.
  ExitCode exitCode = kOptimal;

  // m rows (objective included), n columns, the matrix by columns with rows increasing inside
  // a column, column bounds (from Lower/Upper bound default and BOUNDS) then slack bounds
  // (activity <= r: [-r, +inf]; >= r: [-inf, -r]; == r: [-r, -r]; free: [-inf, +inf], with
  // inf = machine.infBound), objRow (-1 without one), objConstant (minus the objective row's
  // RHS), names[0..4] (problem, objective, RHS, ranges, bounds; 8 characters or more), row and
  // column names (trailing blanks removed), and the nonlinear counts from the parameters (cut
  // to m and n).
  Problem problem;

  // The starting point: x and hs from the INITIAL bounds set (0 elsewhere), pi from the
  // LAGRANGE RHS set (0 elsewhere), ns = the superbasics specified.
  ProblemState start;

  // Integer columns marked by MARKER cards ('INTORG' ... 'INTEND') or by BV, LI, UI bounds
  // (n entries of 0 or 1); the optimizer itself treats every column as continuous.
  std::vector<uint8_t> integerColumn;
  int32_t nIntegerColumns = 0;

  // Counts shown in the summary lines.
  int32_t nErrors = 0;
  int32_t nInitialBounds = 0;
  int32_t nSuperbasics = 0;
  int32_t nJacobianEntries = 0;
  int32_t nRejected = 0;
  int64_t hashTableLength = 0;
  int64_t hashCollisions = 0;

  bool freeFormat = false;  // the format the file was read in
};

// Reads the MPS file from the unit's current line. Sets params.objectiveName, rhsName,
// rangesName and boundsName when they were blank (as described above). Never throws: running
// out of memory ends the read with exit code 40.
MpsResult readMpsFile(Parameters& params, InputUnit& in, const ReportChannels& out,
                      MpsFormat format = MpsFormat::kFixed, MpsIntegers integers = MpsIntegers::kRefuse);

}  // namespace kavro
