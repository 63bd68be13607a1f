#pragma once
// One SPECS line while it is decoded: its tokens, resolved keywords and value, and the
// helpers through which keyword effects set parameters or reject the line.

#include <cstdint>
#include <string>
#include <string_view>

#include "specs/parameters.hpp"
#include "specs/specs_tokens.hpp"

namespace kavro {

struct ReportChannels;

namespace specs {

inline constexpr std::string_view kKeywordError = " XXX  Keyword not recognized:         ";
inline constexpr std::string_view kSecondError = " XXX  Second keyword not recognized:  ";
inline constexpr std::string_view kFourthError = " XXX  Fourth keyword not recognized:  ";
inline constexpr std::string_view kSubscriptError = " XXX  The parm subscript is out of range:";
inline constexpr std::string_view kValueError = " XXX  Value is not a finite number:   ";
inline constexpr std::string_view kParmIntegerError = " XXX  The parm value is not an integer: ";
inline constexpr std::string_view kParmRealError = " XXX  The parm value is not a finite number: ";
inline constexpr std::string_view kValueMissing = " XXX  Value missing or not a number:  ";
inline constexpr std::string_view kRangeError = " XXX  Value out of range:             ";

// Integer values of this magnitude or more are taken as 0.
inline constexpr double kIntegerValueLimit = 1.0e8;

class SpecsLine {
 public:
  SpecsLine(Parameters& p, std::string_view line, const ReportChannels& out);

  Parameters& params() { return p_; }
  const ReportChannels& channels() const { return out_; }
  const Tokens& tokens() const { return tokens_; }
  const Field& key() const { return key_; }
  void setKey(const Field& key) { key_ = key; }
  // Raw token k (0-based), upper case.
  const Field& token(size_t k) const { return tokens_.field[k]; }

  // Keyword tests on the first 12 (13) characters of the resolved key and second word.
  bool keyIs(std::string_view w) const { return sameKeyword(key_, w); }
  bool secondIs(std::string_view w) const { return sameKeyword(second_, w); }
  bool secondBlank() const { return isBlank(tokens_.field[1]); }
  // For keywords whose second word is checked: rejects the line unless the word is in the
  // second-keyword table.
  bool requireSecond();

  // The value of the line where it is optional: false, with the line rejected, when there is one
  // and it is not a finite number. Without one the value is 0.
  bool valueOk();
  // The value of a keyword that needs one: false, with the line rejected, when the line has no
  // number or one that is not finite; requireInteger() also when its magnitude is 1e8 or more.
  bool requireValue();
  bool requireInteger();
  double real() const { return real_; }
  int32_t integer() const { return integer_; }
  // The token the value was read from (blank when there is none).
  const Field& valueToken() const { return valueToken_; }
  // Sets a parameter from the value, as required above and only within the parameter's
  // admissible range (parameter_ranges.hpp). False, with the line rejected, otherwise.
  bool set(int32_t& field);
  bool set(int64_t& field);
  bool set(double& field);

  void reject(std::string_view message, std::string_view detail);
  // Rejects the line's value as outside `admissible` ("0 to 3").
  void rejectRange(const std::string& admissible);
  bool rejected() const { return rejected_; }
  // Why the line was rejected, as a sentence: the message without its " XXX  " and the detail
  // ("Value missing or not a number: ABC").
  const std::string& rejection() const { return rejection_; }

 private:
  Parameters& p_;
  std::string_view line_;
  const ReportChannels& out_;
  Tokens tokens_;
  Field key_;
  Field second_;
  bool secondKnown_ = false;
  double real_ = 0.0;
  int32_t integer_ = 0;
  bool hasValue_ = false;
  Field valueToken_;
  bool valueBad_ = false;
  Field badValue_;
  bool rejected_ = false;
  std::string rejection_;
};

// A report-safe copy of a line: trailing blanks dropped, control characters shown as "?".
std::string shownText(std::string_view line);

// Carry out the line's keyword. False when the key is not a keyword of that table.
bool applyFirstKeyword(SpecsLine& l);
bool applyFurtherKeyword(SpecsLine& l);

}  // namespace specs
}  // namespace kavro
