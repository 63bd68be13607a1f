// Reading blocks of SPECS lines from a file: "BEGIN" starts a block with a fresh parameter
// block, "END" ends it; "SKIP" passes over a section and "ENDRUN" ends the run.

#include <string>

#include "io/units.hpp"
#include "specs/specs.hpp"
#include "specs/specs_line.hpp"

namespace kavro {
namespace {

using specs::kRecordLength;

// A file record as a card reader sees it: characters beyond the record length are ignored.
bool nextRecord(const SpecsLineSource& next, std::string& record) {
  if (!next(record)) return false;
  if (record.size() > kRecordLength) record.resize(kRecordLength);
  return true;
}

void reportNotStartingWithBegin(const ReportChannels& out, int unit, const std::string& record) {
  out.both(" XXX  Error while looking for a SPECS file on unit%4d", unit);
  out.both(" XXX  The file should start with Begin, Skip or Endrun");
  out.both(" XXX  but the first record found was the following:");
  out.both(" ---->%s", specs::shownText(record).c_str());
  out.both(" XXX  Continuing to look for SPECS file...");
}

// Searches for the next "BEGIN". Returns kSpecsBlockRead when found, else the reader's result.
SpecsReadResult findBegin(int problemNumber, int unit, const SpecsLineSource& next, const ReportChannels& out,
                          std::string& record) {
  bool reported = false;
  bool skipping = false;
  while (nextRecord(next, record)) {
    const specs::Tokens tokens = specs::tokenize(record);
    const std::string_view first = specs::text(tokens.field[0]);
    if (first.starts_with("ENDRUN")) {
      out.both("%s", "");
      out.both("      %s", specs::shownText(record).c_str());
      return kSpecsEndRun;
    }
    if (first.empty() || first.starts_with("*")) continue;
    if (first.starts_with("SKIP")) {
      skipping = true;
      continue;
    }
    if (first.starts_with("BEGIN")) return kSpecsBlockRead;
    if (!reported && !skipping) reportNotStartingWithBegin(out, unit, record);
    reported = true;
  }
  if (problemNumber <= 1) out.both(" XXX  End-of-file encountered while looking for a SPECS file on unit%4d", unit);
  else out.both(" Endrun");
  return kSpecsNoBlock;
}

}  // namespace

SpecsReadOutcome readSpecsBlock(Parameters& p, int problemNumber, int specsUnit, const SpecsLineSource& next,
                                const ReportChannels& out) {
  std::string record;
  const SpecsReadResult found = findBegin(problemNumber, specsUnit, next, out, record);
  if (found != kSpecsBlockRead) return {found, 0};

  const std::string shown = specs::shownText(record);
  out.print("      %s", shown.c_str());
  out.summary(" %s", shown.c_str());
  setParameters(p, 1, out);

  int errors = 0;
  while (nextRecord(next, record)) {
    if (decodeSpecsLine(p, record, out, errors).starts_with("END")) return {kSpecsBlockRead, errors};
  }
  out.both(" XXX  End-of-file encountered while processing a SPECS file on unit%4d", specsUnit);
  return {kSpecsEndInsideBlock, errors};
}

SpecsReadOutcome readSpecsFile(Parameters& p, int problemNumber, int specsUnit, UnitTable& units,
                               const ReportChannels& out) {
  if (specsUnit < 0 || specsUnit > 99) return {kSpecsBadUnit, 0};
  InputUnit* in = units.openInput(specsUnit);
  if (!in) {
    out.both(" XXX  The SPECS file on unit%4d cannot be opened: %s: %s", specsUnit,
             specs::shownText(units.pathOf(specsUnit)).c_str(), units.inputError(specsUnit).c_str());
    return {kSpecsNoBlock, 0};
  }
  // A file that cannot be read further (a line past the limit, damaged data) says why before the
  // reader reports where it ended.
  const SpecsLineSource next = [in, specsUnit, &out](std::string& line) {
    if (in->readLine(line)) return true;
    if (in->hadReadError())
      out.both(" XXX  The SPECS file on unit%4d cannot be read further: %s", specsUnit, in->readErrorText().c_str());
    return false;
  };
  return readSpecsBlock(p, problemNumber, specsUnit, next, out);
}

}  // namespace kavro
