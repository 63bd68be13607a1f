#pragma once
// The bytes of a .nl file as a stream, read a chunk at a time: from a file or from memory, plain
// or gzip-compressed (told apart by their first bytes). A model never costs the memory of its
// file, and a long read can be stopped between chunks.
//
// The readers work on a window of the bytes, [begin(), end()), with cursors of their own into
// it. fill() appends the next chunk; the bytes before the reader's mark may go, so the window
// holds at most one chunk plus the token the reader is in the middle of.
//
// Rules:
//   - fill() asks the stop check first and throws ReadStopped when it says stop; a file that
//     cannot be read, or compressed data that are damaged or cut short, throw ReadError with
//     the reason (the system's or zlib's);
//   - a pipe or device is waited on a tenth of a second at a time, so a stop is seen while the
//     writer is silent;
//   - bytes after the last gzip member that are not another member are ignored, as gzip does.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kavro::nl {

// A fault of the data, or a file that cannot be read: the reader stops with the message.
class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The stop check asked the reading to stop.
class ReadStopped : public ReadError {
 public:
  ReadStopped() : ReadError("the reading was stopped") {}
};

// Asked before each chunk: true stops the reading.
using StopCheck = std::function<bool()>;

class ByteSource {
 public:
  ByteSource();
  ~ByteSource();
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  // Opens the file; false with the system's reason in `error` when it cannot be opened.
  bool openFile(const std::string& path, std::string& error);
  // Reads from `data`, which the caller keeps while the source is in use.
  void openMemory(std::string_view data);
  void setStopCheck(StopCheck stop) { stop_ = std::move(stop); }

  const char* begin() const { return window_; }
  const char* end() const { return window_ + size_; }
  // Appends the next chunk to the window. The bytes before `mark` may be dropped; `mark` and
  // `cursor` (mark <= cursor <= end()) move with the window. False at the end of the data.
  bool fill(const char*& mark, const char*& cursor);
  // Offset of a byte of the window in the data (after decompression).
  int64_t offsetOf(const char* p) const { return base_ + (p - window_); }

  // Known once the first chunk is in the window.
  bool compressed() const { return compressed_; }
  // The most bytes the data can hold after decompression: the size of a plain file, the size
  // of a compressed one times the largest expansion of deflate; unknown (a pipe): INT64_MAX.
  // Known once the first chunk is in the window.
  int64_t sizeBound() const { return sizeBound_; }
  // The size of the file or data as stored (compressed or not); -1 for a pipe.
  int64_t storedSize() const { return storedSize_; }

  class Decoder;

 private:
  void startDecoding(int64_t storedSize);

  std::unique_ptr<Decoder> decoder_;
  std::vector<char> buffer_;
  const char* window_ = nullptr;
  size_t size_ = 0;
  int64_t base_ = 0;      // offset of window_[0] in the data
  bool started_ = false;  // the first bytes have been read (and told compressed or not)
  bool compressed_ = false;
  int64_t sizeBound_ = INT64_MAX;
  int64_t storedSize_ = -1;
  StopCheck stop_;
};

}  // namespace kavro::nl
