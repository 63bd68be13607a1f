#include "mps_model.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "host_rows.hpp"
#include "io/units.hpp"
#include "files/mps_reader.hpp"
#include "specs/parameters.hpp"

namespace qarn {

namespace {

std::string columnName(const kavro::Problem& p, int j) {
  return static_cast<size_t>(j) < p.columnNames.size() ? p.columnNames[static_cast<size_t>(j)] : "x" + std::to_string(j + 1);
}

std::string rowName(const kavro::Problem& p, int i) {
  return static_cast<size_t>(i) < p.rowNames.size() ? p.rowNames[static_cast<size_t>(i)] : "r" + std::to_string(i + 1);
}

// A name as messages show it.
std::string shown(const std::string& name) { return kavro::printableText(name); }

std::string fillModel(qmoHandle_t model, const kavro::Problem& p, const kavro::ProblemState& start) {
  const size_t n = static_cast<size_t>(p.n);
  std::vector<double> activity(static_cast<size_t>(p.m), 0.0);
  for (size_t j = 0; j < n; ++j)
    for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k)
      activity[static_cast<size_t>(p.a.row[static_cast<size_t>(k)])] += p.a.value[static_cast<size_t>(k)] * start.x[j];

  for (size_t j = 0; j < n; ++j)
    if (qmoAddVar(model, columnName(p, static_cast<int>(j)).c_str(), p.lower[j], start.x[j], p.upper[j],
                  qmoBstatLower) < 0)
      return "column " + shown(columnName(p, static_cast<int>(j))) + " has bounds the host cannot take";

  // Host row of each MPS row; -1 for the objective.
  std::vector<int> hostRow(static_cast<size_t>(p.m), -1);
  for (int32_t i = 0; i < p.m; ++i) {
    if (i == p.objRow) continue;
    std::string error;
    const size_t slack = n + static_cast<size_t>(i);
    hostRow[static_cast<size_t>(i)] =
        addHostRow(model, shown(rowName(p, i)), p.lower[slack], p.upper[slack], activity[static_cast<size_t>(i)], 0.0, error);
    if (hostRow[static_cast<size_t>(i)] < 0) return error;
  }
  for (size_t j = 0; j < n; ++j)
    for (int32_t k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k) {
      const int row = hostRow[static_cast<size_t>(p.a.row[static_cast<size_t>(k)])];
      if (row < 0 && p.a.row[static_cast<size_t>(k)] != p.objRow) continue;
      if (qmoAddEntry(model, row, static_cast<int>(j), p.a.value[static_cast<size_t>(k)], 0) != 0)
        return "entry of column " + shown(columnName(p, static_cast<int>(j)));
    }
  qmoSetObjective(model, p.objRow >= 0 ? 1 : 0, 0, p.objConstant);
  return {};
}

// The reader's messages (the summary channel) are kept in memory and shown only for a file that
// cannot be solved.
class MessageBuffer {
 public:
  MessageBuffer() : stream_(open_memstream(&text_, &size_)) {}
  ~MessageBuffer() {
    if (stream_) std::fclose(stream_);
    std::free(text_);
  }
  MessageBuffer(const MessageBuffer&) = delete;
  MessageBuffer& operator=(const MessageBuffer&) = delete;
  std::FILE* stream() const { return stream_; }
  std::string text() {
    if (!stream_) return {};
    std::fflush(stream_);
    return std::string(text_, size_);
  }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  std::FILE* stream_;
};

// The reader's errors, warnings and notes, without the blank lines and counts of every read.
std::string errorLines(const std::string& messages) {
  std::string kept;
  size_t start = 0;
  while (start < messages.size()) {
    size_t end = messages.find('\n', start);
    if (end == std::string::npos) end = messages.size();
    const std::string line = messages.substr(start, end - start);
    if (line.find("XXXX") != std::string::npos || line.find(" X  ") == 0 || line.find("===>") != std::string::npos)
      kept += line + "\n";
    start = end + 1;
  }
  return kept;
}

}  // namespace

std::string loadMpsModel(qmoHandle_t model, const std::string& path, bool relaxIntegers, std::string* notes,
                         const kavro::StopCheck& stop) {
  if (!model) return "no model object";
  kavro::UnitTable units;
  units.setStopCheck(stop);
  constexpr int kUnit = 1, kMessages = 2;
  units.connect(kUnit, path);
  kavro::InputUnit* in = units.openInput(kUnit);
  if (!in) return "cannot read " + shown(path) + ": " + units.inputError(kUnit);
  MessageBuffer messages;
  if (messages.stream()) units.connectStream(kMessages, messages.stream(), "messages");
  kavro::Parameters params;
  kavro::setParameters(params, 1, kavro::ReportChannels{});
  const kavro::MpsDimensions dims = kavro::scanMpsDimensions(*in);
  auto limit = [](int64_t v) { return static_cast<int32_t>(std::min<int64_t>(v + 1, INT32_MAX)); };
  params.rowLimit = limit(dims.rows);
  params.columnLimit = limit(dims.columns);
  params.elementsLimit = limit(dims.elements);
  const kavro::MpsIntegers integers = relaxIntegers ? kavro::MpsIntegers::kRelax : kavro::MpsIntegers::kRefuse;
  kavro::MpsResult r = kavro::readMpsFile(params, *in, kavro::ReportChannels{&units, 0, kMessages},
                                          kavro::MpsFormat::kAutomatic, integers);
  units.flush(kMessages);
  if (notes) *notes = errorLines(messages.text());
  if (r.exitCode != kavro::kOptimal)
    return errorLines(messages.text()) + shown(path) + ": " +
           (r.exitCode == kavro::kNoStorageForMps ? "too large to read"
                                                  : std::to_string(r.nErrors) + " error(s) in the MPS file");
  return fillModel(model, r.problem, r.start);
}

}  // namespace qarn
