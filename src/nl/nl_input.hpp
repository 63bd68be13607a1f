#pragma once
// The two encodings of the segments after the header: text (numbers written out, one item or a
// few per line, '#' comments) and binary (segment letters and node kinds as single bytes,
// integers as 32-bit and reals as 64-bit numbers in the byte order the header names). The
// reader is written once over either input; every read checks the end of the data and a
// failure throws ReadError with the line (text) or byte offset (binary).

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kavro::nl {

class ReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TextInput {
 public:
  TextInput(std::string_view data, size_t position, long line) : data_(data), pos_(position), line_(line) {}

  // The next segment letter or node kind; 0 at the end of the data.
  int letter() {
    skipSpace();
    if (pos_ >= data_.size()) return 0;
    return static_cast<unsigned char>(data_[pos_++]);
  }
  int64_t integer(const char* what) {
    const std::string_view t = token(what);
    int64_t v = 0;
    const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
    const auto [end, ec] = std::from_chars(begin, t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size()) fail(std::string("expected an integer (") + what + "), found '" + std::string(t) + "'");
    return v;
  }
  int32_t shortInteger(const char* what) { return int32(what); }
  int32_t longInteger(const char* what) { return int32(what); }
  int32_t int32(const char* what) {
    const int64_t v = integer(what);
    if (v < INT32_MIN || v > INT32_MAX) fail(std::string(what) + " out of range");
    return static_cast<int32_t>(v);
  }
  double real(const char* what) {
    const std::string_view t = token(what);
    double v = 0.0;
    const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
    const auto [end, ec] = std::from_chars(begin, t.data() + t.size(), v);
    if (ec == std::errc::result_out_of_range) return parseOutOfRange(t);
    if (ec != std::errc() || end != t.data() + t.size()) fail(std::string("expected a number (") + what + "), found '" + std::string(t) + "'");
    return v;
  }
  // A bound or node type: one character.
  int typeCharacter(const char* what) {
    skipSpace();
    if (pos_ >= data_.size()) fail(std::string("the file ends where ") + what + " was expected");
    return static_cast<unsigned char>(data_[pos_++]);
  }
  // A name after a number on the same line (suffix and function names).
  std::string name(const char* what) { return std::string(token(what)); }

  [[noreturn]] void fail(const std::string& message) const {
    throw ReadError("line " + std::to_string(line_) + ": " + message);
  }
  std::string where() const { return "line " + std::to_string(line_); }

 private:
  void skipSpace() {
    while (pos_ < data_.size()) {
      const char c = data_[pos_];
      if (c == '\n') ++line_;
      if (c == '#') {
        while (pos_ < data_.size() && data_[pos_] != '\n') ++pos_;
        continue;
      }
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return;
      ++pos_;
    }
  }
  std::string_view token(const char* what) {
    skipSpace();
    const size_t begin = pos_;
    while (pos_ < data_.size()) {
      const char c = data_[pos_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '#') break;
      ++pos_;
    }
    if (pos_ == begin) fail(std::string("the file ends where ") + what + " was expected");
    return data_.substr(begin, pos_ - begin);
  }
  // from_chars reports magnitudes beyond the double range; strtod gives +-inf or 0 for them.
  double parseOutOfRange(std::string_view t) const { return std::strtod(std::string(t).c_str(), nullptr); }

  std::string_view data_;
  size_t pos_;
  long line_;
};

class BinaryInput {
 public:
  BinaryInput(std::string_view data, size_t position, bool swapBytes)
      : data_(data), pos_(position), swap_(swapBytes) {}

  int letter() {
    if (pos_ >= data_.size()) return 0;
    return static_cast<unsigned char>(data_[pos_++]);
  }
  int64_t integer(const char* what) { return int32(what); }
  int32_t int32(const char* what) { return static_cast<int32_t>(fixed<uint32_t>(what)); }
  int32_t shortInteger(const char* what) { return static_cast<int16_t>(fixed<uint16_t>(what)); }
  int32_t longInteger(const char* what) { return int32(what); }
  double real(const char* what) {
    const uint64_t bits = fixed<uint64_t>(what);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }
  int typeCharacter(const char* what) {
    need(1, what);
    return static_cast<unsigned char>(data_[pos_++]);
  }
  std::string name(const char* what) {
    const int32_t length = int32(what);
    if (length < 0) fail(std::string(what) + ": negative length");
    need(static_cast<size_t>(length), what);
    std::string s(data_.substr(pos_, static_cast<size_t>(length)));
    pos_ += static_cast<size_t>(length);
    return s;
  }

  [[noreturn]] void fail(const std::string& message) const {
    throw ReadError("offset " + std::to_string(pos_) + ": " + message);
  }
  std::string where() const { return "offset " + std::to_string(pos_); }

 private:
  void need(size_t bytes, const char* what) const {
    if (data_.size() - pos_ < bytes) fail(std::string("the file ends where ") + what + " was expected");
  }
  template <typename U>
  U fixed(const char* what) {
    need(sizeof(U), what);
    U v = 0;
    for (size_t k = 0; k < sizeof(U); ++k) {
      const U byte = static_cast<unsigned char>(data_[pos_ + (swap_ ? sizeof(U) - 1 - k : k)]);
      v |= static_cast<U>(byte << (8 * k));
    }
    pos_ += sizeof(U);
    return v;
  }

  std::string_view data_;
  size_t pos_;
  bool swap_;
};

}  // namespace kavro::nl
