#pragma once
// An input file read line by line: plain or gzip-compressed (recognised by its contents), from a
// regular file or from a pipe or device.
//
// Limits. A line may hold at most maxLineLength characters (1 MiB unless the owner says
// otherwise): reading stops at a longer one with a read error that says so, so that no input
// (a compressed file that expands into one endless line, a device that never ends a line) can
// take unbounded memory. Reading a line takes time in proportion to its length.
//
// Input that cannot be read twice (a pipe, a terminal, a device) is copied once, as it is read
// at opening, to an unnamed temporary file, so that rewind() works on it as on a regular file.
// Its lines are held to the same limit while it is copied.

#include <cstddef>
#include <cstdio>
#include <string>

namespace kavro {

class InputUnit {
 public:
  static constexpr size_t kMaxLineLength = size_t{1} << 20;

  explicit InputUnit(std::string path, size_t maxLineLength = kMaxLineLength);
  ~InputUnit();
  InputUnit(const InputUnit&) = delete;
  InputUnit& operator=(const InputUnit&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }
  // Why the file could not be opened (the system's reason), when !isOpen().
  const std::string& openError() const { return openError_; }
  size_t maxLineLength() const { return maxLineLength_; }

  // Next line without its line end (LF or CRLF); false at end of file or on a read error.
  bool readLine(std::string& line);
  // Back to the first line.
  void rewind();
  // Number of lines read since the file was opened or rewound.
  long lineNumber() const { return lineNumber_; }
  // True when the last readLine stopped because the data could not be read (a truncated
  // compressed file, a line longer than the limit) rather than at a clean end of file.
  bool hadReadError() const { return readError_; }
  // What the read error was, for example "line 12 is longer than 1048576 characters".
  const std::string& readErrorText() const { return readErrorText_; }

 private:
  bool openFile();
  bool spool(int fd);
  bool fill();
  void stop(std::string why);

  std::string path_;
  size_t maxLineLength_;
  void* file_ = nullptr;         // gzFile
  std::FILE* spooled_ = nullptr;  // the copy of an input that cannot be read twice
  std::string spoolError_;        // why copying it stopped before its end
  std::string openError_;
  long lineNumber_ = 0;
  bool readError_ = false;
  std::string readErrorText_;
  bool atEnd_ = false;
  std::string buffer_;    // bytes read but not yet returned
  size_t next_ = 0;       // first unread byte of buffer_
  size_t scanned_ = 0;    // bytes from next_ up to here hold no line end
};

}  // namespace kavro
