#pragma once
// The SPECS option language: the decoder of single option lines, the reader of option blocks
// ("BEGIN" ... "END") from a SPECS file, and the entry points through which a host passes its
// options as lines.
//
// Every accepted line changes one or two fields of the parameter block. A rejected line is
// reported on the print file (and, after the line itself, on the summary file) with a message
// beginning " XXX  ", is counted, and changes nothing (a "SCALE" line with an unknown second
// word has set a positive Scale tolerance before it is rejected). Decoding goes on after it.
//
// Beyond the keyword errors, these lines are rejected and counted so that no value that is not
// a finite number ever reaches a parameter:
//   - a value that is numeric in form but not a number ("1.2.3", "E5", "1-") or overflows a
//     double ("1E400"), or that is spelled NaN or Inf:
//         " XXX  Value is not a finite number:   " and the token
//   - an "IPARM" line whose third token is not an integer / an "RPARM" line whose third token
//     is not a finite number:
//         " XXX  The parm value is not an integer: "        and the token
//         " XXX  The parm value is not a finite number: "   and the token
//     (a missing third token counts as 0, as a missing value does on any line);
//   - setSpecsReal with a value that is not finite, which is written into the line as "nan" or
//     "inf" and so rejected as above.
//
// Nor is a value ever misread: a keyword that needs a value rejects a line without a number
// (" XXX  Value missing or not a number:  " and the last token), and a value that a parameter
// cannot hold, or that completion would leave in force although it means nothing, is rejected
// rather than turned into 0 or kept:
//         " XXX  Value out of range:             " the value and the admissible values, as
//   "2147483648  (an integer below 100000000 in magnitude)" for an integer parameter, "100  (a
//   file number from 0 to 99)", "99  (0 to 3)" for Crash option, "1E300  (below 1)" for the
//   tolerances that completion keeps when positive (parameter_ranges.hpp). Values that
//   completion replaces by a default (a tolerance that is not positive, a negative Scale
//   option) are still accepted, as are the IPARM and RPARM slots with the same ranges. A parm
//   subscript out of range is shown as written.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "specs/parameters.hpp"

namespace kavro {

struct ReportChannels;
class UnitTable;

// Decodes one line (all of `line`; a file reader passes at most 72 characters), updates the
// parameter block and adds 1 to errorCount when the line is rejected. The line is first
// echoed on the print file after 6 blanks. Returns the line's first keyword in upper case
// after abbreviation and synonyms are resolved (at most 16 characters, no padding): "*" for a
// comment or blank line, so that a reader can recognise "END".
std::string decodeSpecsLine(Parameters& p, std::string_view line, const ReportChannels& out, int& errorCount);

// Host entry points. `errors` becomes the number of rejected lines of the call (0 or 1).
void setSpecsLine(Parameters& p, std::string_view line, const ReportChannels& out, int& errors);
// The same; returns why the line was rejected, as the report's message says it without its
// " XXX  " ("Value missing or not a number: ABC"), or an empty string when it was accepted.
std::string setSpecsLineExplained(Parameters& p, std::string_view line, const ReportChannels& out);
// The keyword phrase followed directly by the value in a 16-character field.
void setSpecsInteger(Parameters& p, std::string_view keywords, int64_t value, const ReportChannels& out, int& errors);
void setSpecsReal(Parameters& p, std::string_view keywords, double value, const ReportChannels& out, int& errors);

// Results of reading a SPECS block.
enum SpecsReadResult : int {
  kSpecsBlockRead = 0,       // a block was read to its "END"
  kSpecsBadUnit = 1,         // the unit number is not between 0 and 99: nothing read
  kSpecsEndInsideBlock = 2,  // end of file before the block's "END"
  kSpecsNoBlock = 3,         // end of file (or no file) before a "BEGIN"
  kSpecsEndRun = 4,          // an "ENDRUN" record
};

// The traditional single number adds the rejected lines to kSpecsBlockRead, which makes "a block
// with 2 rejected lines" look like kSpecsEndInsideBlock; callers decide on `result` and count
// on `rejectedLines`, and inform() gives the single number for reports.
struct SpecsReadOutcome {
  SpecsReadResult result = kSpecsNoBlock;
  int rejectedLines = 0;

  int inform() const { return result == kSpecsBlockRead ? rejectedLines : result; }
};

// Next line of a SPECS file, without its line end; false at the end of the file.
using SpecsLineSource = std::function<bool(std::string& line)>;

// Reads the next block of the SPECS file on specsUnit: searches for "BEGIN" (passing over
// comments, "SKIP" sections and, with one report, anything else), resets the parameters at
// "BEGIN", and decodes each record until "END". Leaves the file after the "END", so that the
// next call reads the next block. A file that cannot be opened gives kSpecsNoBlock with a
// message.
SpecsReadOutcome readSpecsFile(Parameters& p, int problemNumber, int specsUnit, UnitTable& units,
                               const ReportChannels& out);

// The same on lines from any source; specsUnit only names the file in messages.
SpecsReadOutcome readSpecsBlock(Parameters& p, int problemNumber, int specsUnit, const SpecsLineSource& next,
                                const ReportChannels& out);

}  // namespace kavro
