#pragma once
// One output file with every open, write, flush, close and rename checked. The first failure is
// kept as "<name>: <the system's reason>"; writes after it are dropped, so a failure is found
// (and reported by the owner) once.
//
// Three ways to write:
//   direct       the file is created or emptied when it is opened and written in place (the
//                print and summary reports);
//   replacement  the lines go to a temporary file beside the target and commit() renames it
//                over the target, so that the target holds either its old contents or the whole
//                new ones, never half a save (basis and solution files). The new file keeps the
//                permissions of the one it replaces; a read-only target is not replaced. A target
//                that is not a regular file (a device such as /dev/null, a pipe) cannot be
//                renamed over and is written directly, and so is a writable target in a folder
//                where no temporary file can be made;
//   stream       an open stream that is not ours (standard output): closing only flushes it.

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace kavro {

class OutputFile {
 public:
  OutputFile() = default;
  // Abandons an uncommitted replacement (the target keeps its contents) and closes the rest.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool openDirect(const std::string& path);
  bool openReplacement(const std::string& path);
  void attach(std::FILE* stream, std::string name);

  bool isOpen() const { return file_ != nullptr; }
  bool isReplacement() const { return !temporary_.empty(); }
  bool isOwned() const { return owned_; }
  bool failed() const { return !failure_.empty(); }
  const std::string& failure() const { return failure_; }
  std::FILE* stream() const { return file_; }

  // Writes the bytes as given (the caller adds line ends).
  bool write(std::string_view text);
  bool flush();
  // Replacement: flush, close and rename over the target. Direct and stream: flush.
  bool commit();
  // Direct: flush and close; stream: flush; replacement: abandoned unless committed.
  bool close();

 private:
  static constexpr std::chrono::seconds kFlushInterval{1};

  bool fail(const char* what = nullptr);
  void abandon();
  bool flushWhenDue();

  std::FILE* file_ = nullptr;
  bool owned_ = false;
  std::string name_;       // the target as the user named it (or the stream's name)
  std::string target_;     // replacement: the file the rename replaces
  std::string temporary_;  // replacement: the file being written
  std::string failure_;
  std::chrono::steady_clock::time_point lastFlush_ = std::chrono::steady_clock::now();
};

// Writes `text` as the whole new contents of `path` by replacement. Empty on success, else
// "<path>: <reason>".
std::string replaceFileContents(const std::string& path, std::string_view text);

}  // namespace kavro
