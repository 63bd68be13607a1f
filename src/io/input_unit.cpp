#include "io/input_unit.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kavro {

namespace {

constexpr unsigned kChunk = 1u << 16;
// How long a silent pipe is waited on before the stop check is asked again.
constexpr int kWaitMillis = 100;
constexpr const char* kStopped = "the reading was stopped";

std::string systemReason(int err) { return std::strerror(err); }

std::string tooLong(long line, size_t limit) {
  return "line " + std::to_string(line) + " is longer than " + std::to_string(limit) + " characters";
}

// The error of a compressed stream that ended or failed, or empty at a clean end.
std::string streamError(gzFile f) {
  int err = Z_OK;
  const char* text = gzerror(f, &err);
  if (err == Z_OK || err == Z_STREAM_END) return {};
  if (err == Z_ERRNO) return systemReason(errno);
  return text && *text ? text : "the compressed data are damaged";
}

}  // namespace

InputUnit::InputUnit(std::string path, size_t maxLineLength, StopCheck stop, int64_t maxCopyBytes)
    : path_(std::move(path)),
      maxLineLength_(std::max<size_t>(maxLineLength, 1)),
      stop_(std::move(stop)),
      maxCopyBytes_(maxCopyBytes) {
  openFile();
}

InputUnit::~InputUnit() {
  if (file_) gzclose(static_cast<gzFile>(file_));
  if (spooled_) std::fclose(spooled_);
}

bool InputUnit::openFile() {
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    openError_ = systemReason(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    openError_ = systemReason(S_ISDIR(st.st_mode) ? EISDIR : errno);
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) return spool(fd);
  gzFile f = gzdopen(fd, "rb");
  if (!f) {
    ::close(fd);
    openError_ = "not enough memory to read it";
    return false;
  }
  gzbuffer(f, kChunk);
  file_ = f;
  return true;
}

namespace {

// Reads what the pipe has into `into`, waiting a tenth of a second at a time and asking `stop`
// between waits. The count read, 0 at the end, -1 on an error (errno set), -2 when stopped.
ssize_t readPipe(int fd, char* into, size_t size, const StopCheck& stop) {
  for (;;) {
    if (stop && stop()) return -2;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, kWaitMillis);
    if (ready < 0 && errno != EINTR) return -1;
    if (ready <= 0) continue;
    const ssize_t got = ::read(fd, into, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

}  // namespace

// Copies the stored bytes of the pipe (compressed or not) to a temporary file; the copy is then
// read like a file. A read error of the pipe is kept and reported when reading reaches the end
// of the copy.
bool InputUnit::spool(int fd) {
  spooled_ = std::tmpfile();
  if (!spooled_) {
    openError_ = "no temporary file for a copy of it: " + systemReason(errno);
    ::close(fd);
    return false;
  }
  std::string chunk(kChunk, '\0');
  for (bool complete = false; !complete;) {
    const ssize_t got = readPipe(fd, chunk.data(), kChunk, stop_);
    if (got == -2) {
      openError_ = kStopped;
      break;
    }
    if (got <= 0) {
      if (got < 0) spoolError_ = systemReason(errno);
      break;
    }
    if (!copyChunk(chunk.data(), static_cast<size_t>(got), complete)) break;
  }
  ::close(fd);
  if (openError_.empty() && std::fflush(spooled_) != 0)
    openError_ = "cannot copy it to a temporary file: " + systemReason(errno);
  if (!openError_.empty()) return false;
  std::rewind(spooled_);
  gzFile copy = gzdopen(::dup(::fileno(spooled_)), "rb");
  if (!copy) {
    openError_ = "not enough memory to read it";
    return false;
  }
  gzbuffer(copy, kChunk);
  file_ = copy;
  return true;
}

// Appends a chunk of the pipe to the copy. Plain text ends the copy after the first line that
// is too long (complete) and refuses a NUL byte; compressed data are copied as they are. False
// (with openError_) when the input is refused or the copy cannot be written.
bool InputUnit::copyChunk(const char* data, size_t size, bool& complete) {
  if (copied_ == 0 && size >= 2)
    copyPlain_ = !(static_cast<unsigned char>(data[0]) == 0x1f && static_cast<unsigned char>(data[1]) == 0x8b);
  size_t keep = size;
  if (copyPlain_) {
    if (const void* nul = std::memchr(data, '\0', size)) {
      const int64_t at = copied_ + (static_cast<const char*>(nul) - data);
      openError_ = "it holds a NUL byte (byte " + std::to_string(at + 1) + "): it is not a text file";
      return false;
    }
    for (size_t at = 0; at < size;) {
      const char* eol = static_cast<const char*>(std::memchr(data + at, '\n', size - at));
      const size_t run = (eol ? static_cast<size_t>(eol - data) : size) - at;
      if (copyLineLength_ + run > maxLineLength_) {
        keep = at + (maxLineLength_ - copyLineLength_) + 1;
        complete = true;
        break;
      }
      copyLineLength_ = eol ? 0 : copyLineLength_ + run;
      at += run + (eol ? 1 : 0);
    }
  }
  if (copied_ + static_cast<int64_t>(keep) > maxCopyBytes_) {
    openError_ = "it brought more than " + std::to_string(maxCopyBytes_) +
                 " bytes, the most a pipe or device may bring (a file given by its name is read without this limit)";
    return false;
  }
  if (std::fwrite(data, 1, keep, spooled_) != keep) {
    openError_ = "cannot copy it to a temporary file: " + systemReason(errno);
    return false;
  }
  copied_ += static_cast<int64_t>(keep);
  return true;
}

void InputUnit::stop(std::string why) {
  readError_ = true;
  readErrorText_ = std::move(why);
  atEnd_ = true;
}

// Reads the next chunk into the buffer; false when nothing more can be read. The bytes already
// returned are dropped once they fill half the buffer, so every byte is moved at most once.
bool InputUnit::fill() {
  if (atEnd_ || !file_) return false;
  if (stopRequested()) {
    stop(kStopped);
    return false;
  }
  gzFile f = static_cast<gzFile>(file_);
  if (next_ > 0 && next_ >= buffer_.size() / 2) {
    buffer_.erase(0, next_);
    scanned_ -= next_;
    next_ = 0;
  }
  const size_t at = buffer_.size();
  buffer_.resize(at + kChunk);
  const int got = gzread(f, buffer_.data() + at, kChunk);
  buffer_.resize(at + static_cast<size_t>(std::max(got, 0)));
  if (got > 0) return true;
  std::string error = streamError(f);
  if (error.empty()) error = spoolError_;  // the pipe's own error, found while copying
  atEnd_ = true;
  if (!error.empty()) stop(std::move(error));
  return false;
}

bool InputUnit::readLine(std::string& line) {
  line.clear();
  if (!file_ || readError_) return false;
  for (;;) {
    const size_t eol = buffer_.find('\n', scanned_);
    const size_t end = eol == std::string::npos ? buffer_.size() : eol;
    if (end - next_ > maxLineLength_) {
      stop(tooLong(lineNumber_ + 1, maxLineLength_));
      return false;
    }
    if (eol != std::string::npos) {
      line.assign(buffer_, next_, eol - next_);
      next_ = scanned_ = eol + 1;
      break;
    }
    scanned_ = buffer_.size();
    if (!fill()) {
      if (next_ >= buffer_.size()) return false;
      line.assign(buffer_, next_, std::string::npos);
      next_ = scanned_ = buffer_.size();
      break;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  ++lineNumber_;
  return true;
}

void InputUnit::rewind() {
  if (file_) gzrewind(static_cast<gzFile>(file_));
  lineNumber_ = 0;
  readError_ = false;
  readErrorText_.clear();
  atEnd_ = false;
  buffer_.clear();
  next_ = scanned_ = 0;
}

}  // namespace kavro
