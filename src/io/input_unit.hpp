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
// The copy is bounded: plain text is checked as it comes, so the copy ends at the first line
// that is too long and a NUL byte (which no text file holds: /dev/urandom, a binary file) refuses
// the input at once; and at most maxCopyBytes (2 GiB unless the owner says otherwise) are
// copied, compressed or not: an input that brings more is refused. A file given by its name is
// read without a copy, compressed or not.
//
// Stopping. The stop check, when there is one, is asked before each chunk is read and while a
// pipe is silent (every tenth of a second): when it says stop, opening fails, or reading ends
// with a read error, "the reading was stopped".

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace kavro {

// Asked while an input is read: true stops the reading.
using StopCheck = std::function<bool()>;

class InputUnit {
 public:
  static constexpr size_t kMaxLineLength = size_t{1} << 20;
  static constexpr int64_t kMaxCopyBytes = int64_t{1} << 31;

  explicit InputUnit(std::string path, size_t maxLineLength = kMaxLineLength, StopCheck stop = {},
                     int64_t maxCopyBytes = kMaxCopyBytes);
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
  bool copyChunk(const char* data, size_t size, bool& complete);
  bool fill();
  bool stopRequested() const { return stop_ && stop_(); }
  void stop(std::string why);

  std::string path_;
  size_t maxLineLength_;
  StopCheck stop_;
  int64_t maxCopyBytes_;
  // While a pipe is copied: whether its data are plain text, the copy's length and the length
  // of the line being copied.
  bool copyPlain_ = true;
  int64_t copied_ = 0;
  size_t copyLineLength_ = 0;
  void* file_ = nullptr;          // gzFile
  std::FILE* spooled_ = nullptr;  // the copy of an input that cannot be read twice
  std::string spoolError_;        // why copying it stopped before its end
  std::string openError_;
  long lineNumber_ = 0;
  bool readError_ = false;
  std::string readErrorText_;
  bool atEnd_ = false;
  std::string buffer_;  // bytes read but not yet returned
  size_t next_ = 0;     // first unread byte of buffer_
  size_t scanned_ = 0;  // bytes from next_ up to here hold no line end
};

}  // namespace kavro
