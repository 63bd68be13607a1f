#include "io/input_unit.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kavro {

namespace {

constexpr unsigned kChunk = 1u << 16;

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

InputUnit::InputUnit(std::string path, size_t maxLineLength)
    : path_(std::move(path)), maxLineLength_(std::max<size_t>(maxLineLength, 1)) {
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

// Copies what the pipe holds, uncompressed, to a temporary file, up to the first line that is
// too long (reading the copy then stops there with the right line number). A read error of the
// pipe is kept and reported when reading reaches the end of the copy.
bool InputUnit::spool(int fd) {
  gzFile source = gzdopen(fd, "rb");
  if (!source) {
    ::close(fd);
    openError_ = "not enough memory to read it";
    return false;
  }
  spooled_ = std::tmpfile();
  if (!spooled_) {
    openError_ = "no temporary file for a copy of it: " + systemReason(errno);
    gzclose(source);
    return false;
  }
  std::string chunk(kChunk, '\0');
  size_t lineLength = 0;
  for (bool more = true; more;) {
    const int got = gzread(source, chunk.data(), kChunk);
    if (got <= 0) {
      spoolError_ = streamError(source);  // empty at a clean end
      break;
    }
    size_t keep = static_cast<size_t>(got);
    for (size_t at = 0; at < static_cast<size_t>(got);) {
      const char* eol = static_cast<const char*>(std::memchr(chunk.data() + at, '\n', static_cast<size_t>(got) - at));
      const size_t run = (eol ? static_cast<size_t>(eol - chunk.data()) : static_cast<size_t>(got)) - at;
      if (lineLength + run > maxLineLength_) {
        keep = at + (maxLineLength_ - lineLength) + 1;
        more = false;
        break;
      }
      lineLength = eol ? 0 : lineLength + run;
      at += run + (eol ? 1 : 0);
    }
    if (std::fwrite(chunk.data(), 1, keep, spooled_) != keep) {
      openError_ = "cannot copy it to a temporary file: " + systemReason(errno);
      gzclose(source);
      return false;
    }
  }
  gzclose(source);
  if (std::fflush(spooled_) != 0) {
    openError_ = "cannot copy it to a temporary file: " + systemReason(errno);
    return false;
  }
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

void InputUnit::stop(std::string why) {
  readError_ = true;
  readErrorText_ = std::move(why);
  atEnd_ = true;
}

// Reads the next chunk into the buffer; false when nothing more can be read. The bytes already
// returned are dropped once they fill half the buffer, so every byte is moved at most once.
bool InputUnit::fill() {
  if (atEnd_ || !file_) return false;
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
