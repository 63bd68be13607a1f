// A quick pass over an MPS file: its dimensions and the format the reader should use.

#include <string>
#include <vector>

#include "files/mps_reader.hpp"
#include "files/mps_record.hpp"

namespace kavro {

namespace {

// Counts of the COLUMNS section as one format reads it.
struct ColumnCounts {
  int64_t columns = 0;
  int64_t elements = 0;
  std::string last;
  bool haveLast = false;

  void add(std::string_view name, int pairs) {
    if (!haveLast || name != last) {
      ++columns;
      last.assign(name);
      haveLast = true;
    }
    elements += pairs;
  }
};

void countColumnRecord(std::string_view record, bool freeFormat, ColumnCounts& counts,
                       std::vector<std::string_view>& fields) {
  MpsCard card;
  if (!splitCard(record, MpsSection::kColumns, freeFormat, card, fields) || card.marker) return;
  std::string_view name = card.name1;
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (name.empty()) return;
  counts.add(name, int{card.pair[0].present} + int{card.pair[1].present});
}

// Puts the unit back on the line it was on when the scan started.
void restorePosition(InputUnit& in, long startLine) {
  in.rewind();
  std::string skipped;
  for (long k = 0; k < startLine && in.readLine(skipped); ++k) {
  }
}

}  // namespace

MpsDimensions scanMpsDimensions(InputUnit& in, MpsFormat format) {
  const long startLine = in.lineNumber();
  MpsDimensions d;
  ColumnCounts fixedCounts, freeCounts;
  bool fits = true;
  bool sawName = false;
  MpsSection section = MpsSection::kNone;
  std::string line;
  std::vector<std::string_view> fields;
  while (in.readLine(line)) {
    if (in.lineNumber() == 1) stripByteOrderMark(line);
    if (!line.empty() && line[0] != ' ' && line[0] != '\t') {
      if (line[0] == '*') continue;
      const MpsSection s = sectionOfCard(line);
      if (s == MpsSection::kName) sawName = true;
      if (!sawName) continue;
      if (s == MpsSection::kEndata) break;
      section = s;
      continue;
    }
    if (!sawName || line.find_first_not_of(" \t\r\v\f") == std::string::npos) continue;
    if (section == MpsSection::kRows) ++d.rows;
    if (section == MpsSection::kColumns) {
      countColumnRecord(line, false, fixedCounts, fields);
      countColumnRecord(line, true, freeCounts, fields);
    }
    if (section >= MpsSection::kRows && section <= MpsSection::kBounds && !fitsFixedColumns(line, section))
      fits = false;
  }
  restorePosition(in, startLine);
  d.freeFormat = format == MpsFormat::kFree || (format == MpsFormat::kAutomatic && !fits);
  const ColumnCounts& counts = d.freeFormat ? freeCounts : fixedCounts;
  d.columns = counts.columns;
  d.elements = counts.elements;
  return d;
}

}  // namespace kavro
