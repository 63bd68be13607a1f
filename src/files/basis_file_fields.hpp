#pragma once
// Pieces shared by the basis-file writers and readers: lines assembled in place without
// allocation, the exponent form written straight into such a line, fixed-column fields cut
// from a line read back, numbers in the forms that the writers and hand-edited files use, and
// the external form of a variable's state.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "io/units.hpp"

namespace kavro::basisfile {

// A line built in a fixed buffer. Text beyond the capacity is dropped, never written past it.
class LineBuffer {
 public:
  static constexpr size_t kCapacity = 256;

  void clear() { size_ = 0; }
  void append(std::string_view text);
  void appendChar(char c);
  void appendBlanks(size_t count);
  // Left-justified in exactly `width` characters: cut when longer, blank-filled when shorter.
  void appendPadded(std::string_view text, size_t width);
  // Right-justified in `width` characters (wider when the number needs it).
  void appendInt(long long value, int width);
  // Exponent form with one digit before the point, right-justified in `width` characters;
  // the same text as formatExponent, without building a string.
  void appendExponent(double value, int width, int decimals);
  std::string_view view() const { return {data_, size_}; }

 private:
  char data_[kCapacity];
  size_t size_ = 0;
};

// Characters [start, start + width) of a line; shorter (or empty) when the line ends first.
std::string_view fieldAt(std::string_view line, size_t start, size_t width);

// Copies a name field into 8 characters, blank-filled.
void copyName(std::string_view line, size_t start, char (&name)[8]);

enum class Field { kBlank, kNumber, kInvalid };

// A real number as written in exponent form (also "1.5", "2.5+100", "1.0D+03"). Blank fields
// are kBlank; text that is not a number (including "NaN" and "Infinity") is kInvalid.
// Numbers too large for a double give an infinite value.
Field readReal(std::string_view field, double& value);
// An integer field (blanks around it allowed).
Field readInteger(std::string_view field, int64_t& value);

// The state a file carries: the optimizer's internal states 4 (nonbasic, equal bounds) and -1
// (nonbasic strictly between its bounds) are nonbasic at the lower bound outside the run.
inline int32_t externalState(int32_t hs) { return (hs >= 0 && hs <= 3) ? hs : 0; }

// Messages about single lines of a file being read: all are counted, but only those within
// the Error message limit are printed (on the print file).
class LineMessages {
 public:
  LineMessages(const ReportChannels& out, int32_t limit) : out_(out), limit_(limit) {}
  void report(const char* format, ...) __attribute__((format(printf, 2, 3)));
  int32_t count() const { return count_; }

 private:
  const ReportChannels& out_;
  int32_t limit_;
  int32_t count_ = 0;
};

// Up to 80 characters of a line read, for echoing it on a report: characters that are not
// printable show as "?".
void appendPrintable(LineBuffer& out, std::string_view line);

// Bounds and values of magnitude at least 0.9 x infBound count as infinite in these files.
inline bool isFiniteValue(double value, double infBound) { return std::fabs(value) < 0.9 * infBound; }

}  // namespace kavro::basisfile
