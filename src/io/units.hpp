#pragma once
// Numbered file units: the print file, the summary file, the SPECS and MPS input and the
// basis and solution files all go through unit numbers, as the options name them.
//
// Output units are opened on their first write (a connected path, a stream such as standard
// output, or "fort.N" in the working directory). After rewind() the next write replaces the
// contents, so a file written once per save always holds the latest save. Input units are
// opened on request and read line by line; gzip-compressed files are read transparently.
// A unit number of 0 or less means "no such file": writes to it are dropped.

#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace kavro {

class InputUnit {
 public:
  InputUnit(std::string path);
  ~InputUnit();
  InputUnit(const InputUnit&) = delete;
  InputUnit& operator=(const InputUnit&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }
  // Next line without its line end (LF or CRLF); false at end of file or on a read error.
  bool readLine(std::string& line);
  // Back to the first line.
  void rewind();
  // Number of lines read since the file was opened or rewound.
  long lineNumber() const { return lineNumber_; }
  // True when the last readLine stopped because the data was not valid (for example a
  // truncated compressed file) rather than at a clean end of file.
  bool hadReadError() const { return readError_; }

 private:
  bool fill();

  std::string path_;
  void* file_ = nullptr;  // gzFile
  long lineNumber_ = 0;
  bool readError_ = false;
  bool atEnd_ = false;
  std::string buffer_;    // bytes read but not yet returned
  size_t next_ = 0;       // first unread byte of buffer_
};

class UnitTable {
 public:
  UnitTable();
  ~UnitTable();
  UnitTable(const UnitTable&) = delete;
  UnitTable& operator=(const UnitTable&) = delete;

  // Connect unit to a file path (input or output). Replaces any earlier connection.
  void connect(int unit, std::string path);
  // Connect an output unit to an already open stream (not closed by the table).
  void connectStream(int unit, std::FILE* stream);
  // Path a unit reads from or writes to: the connected path or "fort.N".
  std::string pathOf(int unit) const;
  bool isStream(int unit) const;

  // Output. Each call writes one line and a line end.
  void writeLine(int unit, std::string_view text);
  void printf(int unit, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void vprintf(int unit, const char* format, va_list args);
  void rewind(int unit);
  void flush(int unit);
  void flushAll();
  // Lines written to a unit so far (for tests and for page-heading logic).
  long linesWritten(int unit) const;

  // Input: open (or find already open) an existing file for reading. Returns null when the
  // unit is not set or the file cannot be opened.
  InputUnit* openInput(int unit);
  InputUnit* input(int unit);
  void closeInput(int unit);

 private:
  struct Output;
  Output* output(int unit);
  // Closes an output unit: a rewound file that was written again ends where writing did; a
  // file rewound after its last write keeps what it holds.
  void closeOutput(int unit);
  std::map<int, std::string> paths_;
  std::map<int, std::FILE*> streams_;
  std::map<int, std::unique_ptr<Output>> outputs_;
  std::map<int, std::unique_ptr<InputUnit>> inputs_;
};

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

}  // namespace kavro
