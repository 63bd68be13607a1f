#pragma once
// The library's print file: "kavro55Print" in the host's scratch folder, held under an exclusive
// lock for as long as the context keeps it, so that two runs in one folder never write into one
// file. A run that finds the name locked by another run that is still going writes to the first
// free one of "kavro55Print.2", "kavro55Print.3", ... instead (and the caller says so).

#include <cstdio>
#include <string>

namespace kavro::link {

class PrintFile {
 public:
  PrintFile() = default;
  ~PrintFile() { close(); }
  PrintFile(const PrintFile&) = delete;
  PrintFile& operator=(const PrintFile&) = delete;

  // Opens the file for `path` (or the next free name), created when missing and emptied
  // otherwise. When it is already open for the same path it is only emptied, keeping its lock.
  // False when no file could be opened (reason() tells why).
  bool open(const std::string& path);
  void close();

  std::FILE* stream() const { return file_; }
  const std::string& requestedPath() const { return requested_; }
  const std::string& path() const { return path_; }  // the file in use
  const std::string& reason() const { return reason_; }

 private:
  std::FILE* file_ = nullptr;
  std::string requested_, path_, reason_;
};

}  // namespace kavro::link
