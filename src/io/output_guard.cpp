#include "io/output_guard.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace kavro {

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A symbolic link is followed, so that the file it names is replaced and the link stays.
std::string resolvedTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// A new file beside the target, made with the usual permissions (the umask applies).
int createTemporary(const std::string& target, std::string& name) {
  const std::string stem = folderOf(target) + "/." + baseOf(target) + ".kavro-" + std::to_string(::getpid()) + "-";
  for (int k = 0; k < 1000; ++k) {
    name = stem + std::to_string(k);
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

OutputFile::~OutputFile() {
  if (isReplacement()) abandon();
  else close();
}

bool OutputFile::fail(const char* what) {
  const int err = errno;
  if (failure_.empty()) failure_ = name_ + ": " + (what ? what : err != 0 ? std::strerror(err) : "write error");
  return false;
}

bool OutputFile::openDirect(const std::string& path) {
  name_ = path;
  errno = 0;
  file_ = std::fopen(path.c_str(), "w");
  owned_ = file_ != nullptr;
  return file_ ? true : fail();
}

bool OutputFile::openReplacement(const std::string& path) {
  name_ = path;
  target_ = resolvedTarget(path);
  struct stat st {};
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return fail();
  }
  if (exists && !S_ISREG(st.st_mode)) return openDirect(path);
  if (exists && ::access(target_.c_str(), W_OK) != 0) return fail();
  const int fd = createTemporary(target_, temporary_);
  if (fd < 0) {
    const int err = errno;
    temporary_.clear();
    if (exists && (err == EACCES || err == EPERM || err == EROFS)) return openDirect(path);
    errno = err;
    return fail();
  }
  if (exists) (void)::fchmod(fd, st.st_mode & 07777);
  file_ = ::fdopen(fd, "w");
  if (!file_) {
    ::close(fd);
    fail();
    abandon();
    return false;
  }
  owned_ = true;
  return true;
}

void OutputFile::attach(std::FILE* stream, std::string name) {
  file_ = stream;
  owned_ = false;
  name_ = std::move(name);
}

bool OutputFile::write(std::string_view text) {
  if (!file_ || failed()) return false;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::ferror(file_)) return fail();
  const bool lineEnded = !text.empty() && text.back() == '\n';
  return isReplacement() || !lineEnded ? true : flushWhenDue();
}

// A report is pushed out at the end of a line at least every second while lines come, so that
// someone following a long run sees it progress, and a run killed by a CPU limit leaves its log
// behind. (A replacement is wanted whole or not at all: it is flushed when it is committed.)
bool OutputFile::flushWhenDue() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastFlush_ < kFlushInterval) return true;
  lastFlush_ = now;
  return flush();
}

bool OutputFile::flush() {
  if (!file_ || failed()) return false;
  errno = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_)) return fail();
  return true;
}

bool OutputFile::commit() {
  if (!isReplacement()) return flush();
  if (!flush()) {
    abandon();
    return false;
  }
  errno = 0;
  const int closed = std::fclose(file_);
  file_ = nullptr;
  if (closed != 0) {
    fail();
    abandon();
    return false;
  }
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    fail();
    abandon();
    return false;
  }
  temporary_.clear();
  return true;
}

bool OutputFile::close() {
  if (isReplacement()) {
    abandon();
    return !failed();
  }
  if (!file_) return !failed();
  bool ok = flush();
  if (owned_) {
    errno = 0;
    if (std::fclose(file_) != 0 && ok) ok = fail();
  }
  file_ = nullptr;
  return ok;
}

void OutputFile::abandon() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

std::string replaceFileContents(const std::string& path, std::string_view text) {
  OutputFile out;
  if (out.openReplacement(path) && out.write(text) && out.commit()) out.close();
  return out.failure();
}

}  // namespace kavro
