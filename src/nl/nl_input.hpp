#pragma once
// The two encodings of the segments after the header: text (numbers written out, one item or a
// few per line, '#' comments) and binary (segment letters and node kinds as single bytes,
// integers as 32-bit and reals as 64-bit numbers in the byte order the header names). The
// reader is written once over either input; every read checks the end of the data and a
// failure throws ReadError with the line (text) or byte offset (binary).
//
// Both read from a ByteSource a chunk at a time. A token (a number, a name) must be whole in the
// window, so its length is limited: no number needs more than kMaxTokenLength characters (the
// longest exact decimal of a double has fewer than 800 digits), and a longer one is refused
// instead of being gathered without end.

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "nl/nl_source.hpp"

namespace kavro::nl {

inline constexpr size_t kMaxTokenLength = 4096;

class TextInput {
 public:
  TextInput(ByteSource& source, const char* cursor, long line) : src_(source), pos_(cursor), line_(line) {}

  // The next segment letter or node kind; 0 at the end of the data.
  int letter() {
    skipSpace();
    if (!available()) return 0;
    return static_cast<unsigned char>(*pos_++);
  }
  int64_t integer(const char* what) {
    const std::string_view t = token(what);
    int64_t v = 0;
    const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
    const auto [end, ec] = std::from_chars(begin, t.data() + t.size(), v);
    if (ec != std::errc() || end != t.data() + t.size())
      fail(std::string("expected an integer (") + what + "), found '" + shown(t) + "'");
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
    if (ec != std::errc() || end != t.data() + t.size())
      fail(std::string("expected a number (") + what + "), found '" + shown(t) + "'");
    return v;
  }
  // A bound or node type: one character.
  int typeCharacter(const char* what) {
    skipSpace();
    if (!available()) fail(std::string("the file ends where ") + what + " was expected");
    return static_cast<unsigned char>(*pos_++);
  }
  // A name after a number on the same line (suffix and function names).
  std::string name(const char* what) { return std::string(token(what)); }

  [[noreturn]] void fail(const std::string& message) const {
    throw ReadError("line " + std::to_string(line_) + ": " + message);
  }
  std::string where() const { return "line " + std::to_string(line_); }

 private:
  // True when a byte is at pos_, reading the next chunk when the window is used up.
  bool available() {
    if (pos_ != src_.end()) return true;
    const char* mark = pos_;
    return src_.fill(mark, pos_) && pos_ != src_.end();
  }
  void skipSpace() {
    while (available()) {
      const char c = *pos_;
      if (c == '#') {
        skipComment();
        continue;
      }
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return;
      if (c == '\n') ++line_;
      ++pos_;
    }
  }
  void skipComment() {
    while (available() && *pos_ != '\n') ++pos_;
  }
  static bool endsToken(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '#'; }
  // The next token; valid until the next read.
  std::string_view token(const char* what) {
    skipSpace();
    const char* begin = pos_;
    for (;;) {
      if (pos_ == src_.end() && !src_.fill(begin, pos_)) break;
      if (pos_ == src_.end() || endsToken(*pos_)) break;
      if (static_cast<size_t>(++pos_ - begin) > kMaxTokenLength)
        fail("a number or name longer than " + std::to_string(kMaxTokenLength) + " characters");
    }
    if (pos_ == begin) fail(std::string("the file ends where ") + what + " was expected");
    return {begin, static_cast<size_t>(pos_ - begin)};
  }
  // A token as a message shows it: its start, when it is long.
  static std::string shown(std::string_view t) {
    return t.size() <= 40 ? std::string(t) : std::string(t.substr(0, 40)) + "...";
  }
  // from_chars reports magnitudes beyond the double range; strtod gives +-inf or 0 for them.
  double parseOutOfRange(std::string_view t) const { return std::strtod(std::string(t).c_str(), nullptr); }

  ByteSource& src_;
  const char* pos_;
  long line_;
};

class BinaryInput {
 public:
  BinaryInput(ByteSource& source, const char* cursor, bool swapBytes) : src_(source), pos_(cursor), swap_(swapBytes) {}

  int letter() {
    if (!have(1)) return 0;
    return static_cast<unsigned char>(*pos_++);
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
    return static_cast<unsigned char>(*pos_++);
  }
  std::string name(const char* what) {
    const int32_t length = int32(what);
    if (length < 0) fail(std::string(what) + ": negative length");
    if (static_cast<size_t>(length) > kMaxTokenLength)
      fail(std::string(what) + ": a name longer than " + std::to_string(kMaxTokenLength) + " characters");
    need(static_cast<size_t>(length), what);
    std::string s(pos_, static_cast<size_t>(length));
    pos_ += length;
    return s;
  }

  [[noreturn]] void fail(const std::string& message) const {
    throw ReadError("offset " + std::to_string(src_.offsetOf(pos_)) + ": " + message);
  }
  std::string where() const { return "offset " + std::to_string(src_.offsetOf(pos_)); }

 private:
  // True when `bytes` bytes follow pos_ in the window, reading more of the data as needed.
  bool have(size_t bytes) {
    while (static_cast<size_t>(src_.end() - pos_) < bytes) {
      const char* mark = pos_;
      if (!src_.fill(mark, pos_)) return false;
    }
    return true;
  }
  void need(size_t bytes, const char* what) {
    if (!have(bytes)) fail(std::string("the file ends where ") + what + " was expected");
  }
  template <typename U>
  U fixed(const char* what) {
    need(sizeof(U), what);
    U v = 0;
    for (size_t k = 0; k < sizeof(U); ++k) {
      const U byte = static_cast<unsigned char>(pos_[swap_ ? sizeof(U) - 1 - k : k]);
      v |= static_cast<U>(byte << (8 * k));
    }
    pos_ += sizeof(U);
    return v;
  }

  ByteSource& src_;
  const char* pos_;
  bool swap_;
};

}  // namespace kavro::nl
