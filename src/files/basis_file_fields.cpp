#include "files/basis_file_fields.hpp"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavro::basisfile {

namespace {

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// NaN and infinities in the words the listings use, so that a file shows what was there.
int nonFiniteText(double value, int width, char* text, size_t capacity) {
  const bool negative = value < 0;
  const char* word = std::isnan(value) ? "NaN" : (width >= (negative ? 9 : 8) ? "Infinity" : "Inf");
  return std::snprintf(text, capacity, "%s%s", (!std::isnan(value) && negative) ? "-" : "", word);
}

// "d.dddE+dd", with the "E" dropped for three exponent digits ("d.ddd+100") so that the field
// width stays that of two.
int exponentText(double value, int decimals, char* text, size_t capacity) {
  int len = std::snprintf(text, capacity, "%.*E", decimals, value);
  char* e = std::strchr(text, 'E');
  if (len < 0 || !e) return len;
  const int exponent = std::atoi(e + 1);
  const int magnitude = std::abs(exponent);
  const size_t room = capacity - static_cast<size_t>(e - text);
  if (magnitude <= 99) std::snprintf(e, room, "E%c%02d", exponent < 0 ? '-' : '+', magnitude);
  else std::snprintf(e, room, "%c%03d", exponent < 0 ? '-' : '+', magnitude);
  return static_cast<int>(std::strlen(text));
}

}  // namespace

void LineBuffer::append(std::string_view text) {
  const size_t n = std::min(text.size(), kCapacity - size_);
  std::memcpy(data_ + size_, text.data(), n);
  size_ += n;
}

void LineBuffer::appendChar(char c) {
  if (size_ < kCapacity) data_[size_++] = c;
}

void LineBuffer::appendBlanks(size_t count) {
  const size_t n = std::min(count, kCapacity - size_);
  std::memset(data_ + size_, ' ', n);
  size_ += n;
}

void LineBuffer::appendPadded(std::string_view text, size_t width) {
  const size_t n = std::min(text.size(), width);
  append(text.substr(0, n));
  appendBlanks(width - n);
}

void LineBuffer::appendInt(long long value, int width) {
  char text[24];
  char* end = text + sizeof text;
  char* p = end;
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  const int len = static_cast<int>(end - p);
  if (len < width) appendBlanks(static_cast<size_t>(width - len));
  append(std::string_view(p, static_cast<size_t>(len)));
}

void LineBuffer::appendExponent(double value, int width, int decimals) {
  char text[64];
  decimals = std::clamp(decimals, 0, 30);
  const int len = std::isfinite(value) ? exponentText(value, decimals, text, sizeof text)
                                       : nonFiniteText(value, width, text, sizeof text);
  if (len < 0 || len > width) {
    for (int k = 0; k < width; ++k) appendChar('*');
    return;
  }
  appendBlanks(static_cast<size_t>(width - len));
  append(std::string_view(text, static_cast<size_t>(len)));
}

std::string_view fieldAt(std::string_view line, size_t start, size_t width) {
  if (start >= line.size()) return {};
  return line.substr(start, width);
}

void copyName(std::string_view line, size_t start, char (&name)[8]) {
  const std::string_view f = fieldAt(line, start, 8);
  std::memset(name, ' ', sizeof name);
  if (!f.empty()) std::memcpy(name, f.data(), f.size());
}

Field readReal(std::string_view field, double& value) {
  const std::string_view s = trimBlanks(field);
  if (s.empty()) return Field::kBlank;
  char text[64];
  if (s.size() + 2 > sizeof text) return Field::kInvalid;
  size_t k = 0;
  bool digits = false, exponent = false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (isDigit(c)) {
      digits = true;
      text[k++] = c;
    } else if (c == '.') {
      text[k++] = c;
    } else if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      if (exponent) return Field::kInvalid;
      exponent = true;
      text[k++] = 'E';
    } else if (c == '+' || c == '-') {
      // A sign right after the mantissa starts the exponent ("2.5+100").
      if (i > 0 && !exponent && (isDigit(s[i - 1]) || s[i - 1] == '.')) {
        exponent = true;
        text[k++] = 'E';
      }
      text[k++] = c;
    } else {
      return Field::kInvalid;
    }
  }
  if (!digits) return Field::kInvalid;
  text[k] = '\0';
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end != text + k) return Field::kInvalid;
  value = v;
  return Field::kNumber;
}

Field readInteger(std::string_view field, int64_t& value) {
  std::string_view s = trimBlanks(field);
  if (s.empty()) return Field::kBlank;
  if (s.front() == '+') s.remove_prefix(1);
  int64_t v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) return Field::kInvalid;
  value = v;
  return Field::kNumber;
}

void LineMessages::report(const char* format, ...) {
  if (++count_ > limit_ || !out_.hasPrint()) return;
  va_list args;
  va_start(args, format);
  out_.units->vprintf(out_.printUnit, format, args);
  va_end(args);
}

void appendPrintable(LineBuffer& out, std::string_view line) {
  const size_t n = std::min<size_t>(line.size(), 80);
  for (size_t k = 0; k < n; ++k) {
    const unsigned char c = static_cast<unsigned char>(line[k]);
    out.appendChar(c >= 32 && c < 127 ? static_cast<char>(c) : '?');
  }
}

}  // namespace kavro::basisfile
