#include "nl/nl_source.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kavro::nl {

namespace {

// Bytes handed to the reader, and stored bytes taken from a file, at a time.
constexpr size_t kChunk = size_t{1} << 16;
// Deflate codes at most 258 bytes in a 2-bit match after the first block's header, so no gzip
// data expands more than about 1032 times: a bound on what a compressed file can hold.
constexpr int64_t kDeflateMaxExpansion = 1032;
// How long a pipe or device is waited on before the stop check is asked again.
constexpr int kWaitMillis = 100;

bool isGzipMagic(std::string_view bytes) {
  return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
         static_cast<unsigned char>(bytes[1]) == 0x8b;
}

int64_t timesSaturated(int64_t size, int64_t factor) { return size > INT64_MAX / factor ? INT64_MAX : size * factor; }

std::string systemReason(int err) { return std::strerror(err); }

}  // namespace

// The stored bytes (a file descriptor, or memory holding gzip data), inflated when they are
// gzip data. The first stored bytes are read by start(); in plain data they are handed out first.
class ByteSource::Decoder {
 public:
  Decoder(int fd, bool waits, const StopCheck& stop) : fd_(fd), waits_(waits), stop_(stop) {}
  Decoder(std::string_view data, const StopCheck& stop) : memory_(data), stop_(stop) {}
  ~Decoder() {
    if (inflating_) inflateEnd(&z_);
    if (fd_ >= 0) ::close(fd_);
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Reads the first stored bytes; true when they are gzip data (then inflated from here on).
  bool start() {
    if (fd_ < 0) {
      moreInput();
    } else {
      while (pending() < 2 && readMore()) {
      }
      z_.next_in = reinterpret_cast<Bytef*>(raw_.data());
      z_.avail_in = static_cast<uInt>(pending());
    }
    if (!isGzipMagic({reinterpret_cast<const char*>(z_.next_in), z_.avail_in})) return false;
    if (inflateInit2(&z_, 15 + 16) != Z_OK) throw ReadError("not enough memory to decompress the file");
    inflating_ = true;
    return true;
  }

  // Up to `size` bytes of the data; 0 at its end.
  size_t read(char* into, size_t size) {
    if (inflating_) return inflate(into, size);
    if (pending() > 0) {
      const size_t n = std::min(size, pending());
      std::memcpy(into, raw_.data() + rawAt_, n);
      rawAt_ += n;
      return n;
    }
    return readStored(into, size);
  }

 private:
  size_t pending() const { return raw_.size() - rawAt_; }

  // Appends stored bytes to raw_; false at their end.
  bool readMore() {
    const size_t at = raw_.size();
    raw_.resize(at + kChunk);
    const size_t got = readStored(raw_.data() + at, kChunk);
    raw_.resize(at + got);
    return got > 0;
  }

  size_t readStored(char* into, size_t size) {
    for (;;) {
      if (waits_ && !readable()) continue;
      const ssize_t got = ::read(fd_, into, size);
      if (got >= 0) return static_cast<size_t>(got);
      if (errno != EINTR) throw ReadError("cannot read the file: " + systemReason(errno));
      checkStop();
    }
  }

  // A pipe or device: true once it has data (or has ended); false after a wait without.
  bool readable() {
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, kWaitMillis);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) throw ReadError("cannot read the file: " + systemReason(errno));
    checkStop();
    return false;
  }

  void checkStop() const {
    if (stop_ && stop_()) throw ReadStopped();
  }

  // Refills the compressed input; false at the end of the stored bytes.
  bool moreInput() {
    if (fd_ < 0) {
      if (memoryAt_ == memory_.size()) return false;
      const size_t n = std::min<size_t>(memory_.size() - memoryAt_, UINT32_MAX);
      z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(memory_.data() + memoryAt_));
      z_.avail_in = static_cast<uInt>(n);
      memoryAt_ += n;
      return true;
    }
    raw_.clear();
    rawAt_ = 0;
    if (!readMore()) return false;
    z_.next_in = reinterpret_cast<Bytef*>(raw_.data());
    z_.avail_in = static_cast<uInt>(raw_.size());
    return true;
  }

  // After the end of a gzip member: another member follows, or the data end (bytes that are
  // not a member are ignored, as gzip ignores them).
  bool nextMember() {
    if (z_.avail_in == 0 && !moreInput()) return false;
    if (z_.next_in[0] != 0x1f) return false;
    inflateReset(&z_);
    return true;
  }

  size_t inflate(char* into, size_t size) {
    z_.next_out = reinterpret_cast<Bytef*>(into);
    z_.avail_out = static_cast<uInt>(size);
    while (z_.avail_out == size && !ended_) {
      if (z_.avail_in == 0 && !moreInput()) throw ReadError("the compressed data end too soon (the file is cut short)");
      const int result = ::inflate(&z_, Z_NO_FLUSH);
      if (result == Z_STREAM_END) ended_ = !nextMember();
      else if (result == Z_MEM_ERROR) throw ReadError("not enough memory to decompress the file");
      else if (result != Z_OK && result != Z_BUF_ERROR)
        throw ReadError(std::string("the compressed data are damaged (") + (z_.msg ? z_.msg : "inflate error") + ")");
    }
    return size - z_.avail_out;
  }

  int fd_ = -1;
  bool waits_ = false;
  std::string_view memory_;
  size_t memoryAt_ = 0;  // memory handed to zlib so far
  const StopCheck& stop_;
  std::vector<char> raw_;  // stored bytes read and not yet used
  size_t rawAt_ = 0;
  z_stream z_{};
  bool inflating_ = false;
  bool ended_ = false;
};

ByteSource::ByteSource() = default;
ByteSource::~ByteSource() = default;

bool ByteSource::openFile(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    error = systemReason(fd >= 0 && S_ISDIR(st.st_mode) ? EISDIR : errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  const bool regular = S_ISREG(st.st_mode);
  decoder_ = std::make_unique<Decoder>(fd, !regular, stop_);
  startDecoding(regular ? static_cast<int64_t>(st.st_size) : -1);
  return true;
}

void ByteSource::openMemory(std::string_view data) {
  if (!isGzipMagic(data)) {
    // Plain data need no copy: the window is all of them.
    window_ = data.data();
    size_ = data.size();
    compressed_ = false;
    sizeBound_ = storedSize_ = static_cast<int64_t>(data.size());
    return;
  }
  decoder_ = std::make_unique<Decoder>(data, stop_);
  startDecoding(static_cast<int64_t>(data.size()));
}

// The first bytes are read by the first fill(), where a failure is the reader's to report.
void ByteSource::startDecoding(int64_t storedSize) {
  storedSize_ = storedSize;
  buffer_.resize(kChunk);
  window_ = buffer_.data();
  size_ = 0;
}

bool ByteSource::fill(const char*& mark, const char*& cursor) {
  if (!decoder_) return false;
  if (stop_ && stop_()) throw ReadStopped();
  if (!started_) {
    started_ = true;
    compressed_ = decoder_->start();
    sizeBound_ = storedSize_ < 0 ? INT64_MAX
                 : compressed_   ? timesSaturated(storedSize_, kDeflateMaxExpansion)
                                 : storedSize_;
  }
  const size_t keep = static_cast<size_t>(end() - mark);
  const size_t cursorAt = static_cast<size_t>(cursor - mark);
  if (keep > 0) std::memmove(buffer_.data(), mark, keep);
  base_ += mark - window_;
  if (buffer_.size() < keep + kChunk) buffer_.resize(keep + kChunk);
  const size_t got = decoder_->read(buffer_.data() + keep, kChunk);
  window_ = buffer_.data();
  size_ = keep + got;
  mark = window_;
  cursor = window_ + cursorAt;
  return got > 0;
}

}  // namespace kavro::nl
