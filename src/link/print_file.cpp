#include "link/print_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kavro::link {

namespace {

constexpr int kMaxNames = 100;

// The file for `path` opened and locked, or -1 with errno (EWOULDBLOCK: another run holds it).
int openLocked(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

}  // namespace

bool PrintFile::open(const std::string& path) {
  if (file_ && path == requested_) {
    std::fflush(file_);
    if (::ftruncate(::fileno(file_), 0) == 0 && std::fseek(file_, 0, SEEK_SET) == 0) return true;
  }
  close();
  requested_ = path;
  for (int k = 1; k <= kMaxNames; ++k) {
    const std::string name = k == 1 ? path : path + "." + std::to_string(k);
    const int fd = openLocked(name);
    if (fd < 0 && errno == EWOULDBLOCK) continue;
    if (fd >= 0 && ::ftruncate(fd, 0) == 0) file_ = ::fdopen(fd, "w");
    if (!file_) {
      reason_ = std::strerror(errno);
      if (fd >= 0) ::close(fd);
      return false;
    }
    path_ = name;
    reason_.clear();
    return true;
  }
  reason_ = "every name is in use by another run";
  return false;
}

void PrintFile::close() {
  if (file_) std::fclose(file_);  // also releases the lock
  file_ = nullptr;
  path_.clear();
}

}  // namespace kavro::link
