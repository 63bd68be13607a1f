#pragma once
// Numbered file units: the print file, the summary file, the SPECS and MPS input and the
// basis and solution files all go through unit numbers, as the options name them.
//
// Output units are opened on their first write (a connected path, a stream such as standard
// output, or "fort.N" in the working directory) and written directly, line by line. A file that
// each save replaces (a basis or solution file) is written between beginSave() and
// commitSave() instead: the lines go to a temporary file that commitSave() renames over the
// target, so that a save that fails or is cut short leaves the previous contents whole.
// Input units are opened on request and read line by line (see InputUnit). A unit number of 0 or
// less means "no such file": writes to it are dropped.
//
// Every open, write, flush, rename and close of an output is checked. The first failure of each
// unit is kept as "<path>: <the system's reason>" (failures()); the unit's later writes are
// dropped. The table reports nothing itself: its owner reports the failures (once each) and
// decides what they mean for the run.

#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_identity.hpp"
#include "io/input_unit.hpp"

namespace kavro {

// What a unit is used for in a run, for the check that no output lands on an input or on
// another output (findFileClashes).
struct FileUse {
  enum class Kind {
    kReport,      // print or summary file: other outputs on the same unit number add to it
    kOutput,      // a file each save replaces (basis, solution files)
    kInput,       // SPECS or MPS input: the two may be one file (MPS data after the options)
    kBasisInput,  // Old basis, Insert or Load file: shares a file with nothing
  };
  FileUse() = default;
  FileUse(int unitNumber, std::string roleText, Kind useKind, std::string filePath = {})
      : unit(unitNumber), role(std::move(roleText)), kind(useKind), path(std::move(filePath)) {}

  int unit = 0;
  std::string role;  // for messages: "print file", "New basis file", ...
  Kind kind = Kind::kInput;
  // A file that no unit reaches (unit 0): a front end's own input or output, such as the JSON
  // solution or the AMPL .sol file, checked against the units' files all the same.
  std::string path;

  bool writes() const { return kind == Kind::kReport || kind == Kind::kOutput; }
};

struct UnitFailure {
  int unit = 0;
  std::string text;  // "<path>: <reason>"
  int times = 1;     // failed saves or opens of the unit so far
};

class UnitTable {
 public:
  UnitTable();
  ~UnitTable();
  UnitTable(const UnitTable&) = delete;
  UnitTable& operator=(const UnitTable&) = delete;

  // Connect unit to a file path (input or output). Replaces any earlier connection.
  void connect(int unit, std::string path);
  // Connect an output unit to an already open stream (not closed by the table); `name` is what
  // messages call it ("standard output").
  void connectStream(int unit, std::FILE* stream, std::string name = "");
  // Path a unit reads from or writes to: the connected path, the stream's name, or "fort.N".
  std::string pathOf(int unit) const;
  bool isStream(int unit) const;
  FileIdentity identityOf(int unit) const;

  // A use that no parameter names (the problem file of a command), checked with the others.
  void declareUse(FileUse use);
  const std::vector<FileUse>& declaredUses() const { return declared_; }

  // Output. Each call writes one line and a line end.
  void writeLine(int unit, std::string_view text);
  void printf(int unit, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void vprintf(int unit, const char* format, va_list args);
  // A save: the lines written to the unit up to commitSave() replace its contents as a whole.
  // commitSave() returns false when the save could not be written (see failureOf); the file then
  // keeps what it held. On a stream, or a device, the lines are written as they come.
  void beginSave(int unit);
  bool commitSave(int unit);
  // After rewind() the next write to a directly written file replaces its contents.
  void rewind(int unit);
  void flush(int unit);
  void flushAll();
  // Closes every output (checked; failures are recorded). Inputs stay open.
  void closeOutputs();
  // Lines written to a unit so far (for tests and for page-heading logic).
  long linesWritten(int unit) const;

  // Output failures in the order they happened, one entry per unit.
  const std::vector<UnitFailure>& failures() const { return failures_; }
  // The unit's failure, or null when it has none.
  const UnitFailure* failureOf(int unit) const;

  // Input: open (or find already open) an existing file for reading. Returns null when the
  // unit is not set or the file cannot be opened (inputError tells why).
  InputUnit* openInput(int unit);
  InputUnit* input(int unit);
  void closeInput(int unit);
  std::string inputError(int unit) const;
  // Lines longer than this end the reading of inputs opened from now on.
  void setMaxLineLength(size_t length) { maxLineLength_ = length; }
  // Asked while inputs opened from now on are read: true stops the reading (see InputUnit).
  void setStopCheck(StopCheck check) { stopCheck_ = std::move(check); }

 private:
  struct Output;
  Output* output(int unit);
  Output& outputEntry(int unit);
  void recordFailure(int unit, const std::string& text);
  bool noteFailure(int unit, Output& out);
  // Closes an output unit: a rewound file that was written again ends where writing did; a
  // file rewound after its last write keeps what it holds.
  void closeOutput(int unit);
  std::map<int, std::string> paths_;
  std::map<int, std::pair<std::FILE*, std::string>> streams_;
  std::map<int, std::unique_ptr<Output>> outputs_;
  std::map<int, std::unique_ptr<InputUnit>> inputs_;
  std::map<int, std::string> inputErrors_;
  std::vector<FileUse> declared_;
  std::vector<UnitFailure> failures_;
  size_t maxLineLength_ = InputUnit::kMaxLineLength;
  StopCheck stopCheck_;
};

// Two uses of one file that would lose or mix data, and the message that says so ("the New basis
// file (unit 98) and the problem file (unit 98) are the same file: a.mps").
struct FileClash {
  FileUse first, second;
  std::string text;

  bool involves(int unit) const { return unit > 0 && (first.unit == unit || second.unit == unit); }
};

// The clashes among `uses` and the table's declared uses: an output and any other use on one
// file; a basis input on the SPECS or MPS file. Outputs on the unit number of a report add to the
// report and do not clash; neither do inputs that are only read. Uses with a path instead of a
// unit are compared with the others by the file they name.
std::vector<FileClash> findFileClashes(const UnitTable& units, const std::vector<FileUse>& uses);

// The two report channels of a run: the print file (full report) and the summary file
// (short report). Either may be absent (unit <= 0).
struct ReportChannels {
  UnitTable* units = nullptr;
  int printUnit = 0;
  int summaryUnit = 0;

  bool hasPrint() const { return units && printUnit > 0; }
  bool hasSummary() const { return units && summaryUnit > 0; }
  void print(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  void summary(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  void both(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  void printLine(std::string_view text) const;
  void summaryLine(std::string_view text) const;
};

// Text safe to show on a terminal or in a report: control bytes other than tab (and DEL) become
// "?".
std::string printableText(std::string_view text);

}  // namespace kavro
