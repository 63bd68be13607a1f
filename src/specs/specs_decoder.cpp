// Decoding of single SPECS lines and the host's entry points built on it.

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "io/units.hpp"
#include "specs/parameter_ranges.hpp"
#include "specs/specs.hpp"
#include "specs/specs_line.hpp"

namespace kavro {
namespace specs {

std::string shownText(std::string_view line) {
  size_t n = line.size();
  while (n > 0 && (line[n - 1] == ' ' || line[n - 1] == '\t')) --n;
  std::string s(line.substr(0, n));
  for (char& c : s)
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) c = '?';
  return s;
}

SpecsLine::SpecsLine(Parameters& p, std::string_view line, const ReportChannels& out)
    : p_(p), line_(line), out_(out), tokens_(tokenize(line.substr(0, line.find('*')))) {
  key_ = tokens_.field[0];
  const auto second = lookup(Table::second, tokens_.field[1]);
  second_ = second.value_or(tokens_.field[1]);
  secondKnown_ = second.has_value();
  badValue_ = valueToken_ = makeField("");
  // The value is the first numeric token after the key. Text that reads as NaN or infinity
  // before it makes the value bad rather than absent, so that it is reported, not taken as 0.
  for (size_t k = 1; k < tokens_.count; ++k) {
    const Field& f = tokens_.field[k];
    if (looksNumeric(f)) {
      hasValue_ = true;
      valueToken_ = f;
      const auto v = readReal(text(f));
      if (v) real_ = *v;
      else valueBad_ = true, badValue_ = f;
      break;
    }
    if (isNonFiniteText(f)) {
      valueBad_ = true, badValue_ = f;
      break;
    }
  }
  integer_ = std::fabs(real_) < kIntegerValueLimit ? static_cast<int32_t>(std::trunc(real_)) : 0;
}

bool SpecsLine::requireSecond() {
  if (secondKnown_) return true;
  reject(kSecondError, text(tokens_.field[1]));
  return false;
}

bool SpecsLine::valueOk() {
  if (!valueBad_) return true;
  reject(kValueError, text(badValue_));
  return false;
}

bool SpecsLine::requireValue() {
  if (!valueOk()) return false;
  if (hasValue_) return true;
  reject(kValueMissing, text(tokens_.field[tokens_.count > 0 ? tokens_.count - 1 : 0]));
  return false;
}

bool SpecsLine::requireInteger() {
  if (!requireValue()) return false;
  if (std::fabs(real_) < kIntegerValueLimit) return true;
  rejectRange("an integer below 100000000 in magnitude");
  return false;
}

void SpecsLine::rejectRange(const std::string& admissible) {
  reject(kRangeError, std::string(text(valueToken_)) + "  (" + admissible + ")");
}

namespace {

template <class T>
bool storeInRange(SpecsLine& l, T& field, T value) {
  if (const std::string range = outOfRange(l.params(), field, value); !range.empty()) {
    l.rejectRange(range);
    return false;
  }
  field = value;
  return true;
}

}  // namespace

bool SpecsLine::set(int32_t& field) { return requireInteger() && storeInRange(*this, field, integer_); }

// Work storage may be counted in billions of words: any integer a double holds exactly.
bool SpecsLine::set(int64_t& field) {
  if (!requireValue()) return false;
  if (std::fabs(real_) >= 9.0e15) {
    rejectRange("an integer below 9000000000000000 in magnitude");
    return false;
  }
  field = static_cast<int64_t>(std::trunc(real_));
  return true;
}

bool SpecsLine::set(double& field) { return requireValue() && storeInRange(*this, field, real_); }

void SpecsLine::reject(std::string_view message, std::string_view detail) {
  rejected_ = true;
  std::string text(message);
  text += shownText(detail);
  std::string_view sentence = message.substr(std::min(message.find_first_not_of(" X"), message.size()));
  sentence = sentence.substr(0, sentence.find_last_not_of(' ') + 1);
  const std::string shown = shownText(detail);
  rejection_ = std::string(sentence) + " " + shown.substr(std::min(shown.find_first_not_of(' '), shown.size()));
  out_.printLine(text);
  if (out_.hasSummary()) {
    out_.summaryLine(" " + shownText(line_));
    out_.summaryLine(text);
  }
}

}  // namespace specs

using namespace specs;

namespace {

// Decodes the line; `rejection` gets why it was rejected (empty when it was not).
std::string decodeLine(Parameters& p, std::string_view line, const ReportChannels& out, int& errorCount,
                       std::string& rejection) {
  rejection.clear();
  const std::string shown = shownText(line);
  out.printLine(shown.empty() ? shown : "      " + shown);

  const std::string_view content = line.substr(0, line.find('*'));
  if (content.find_first_not_of(' ') == std::string_view::npos) return "*";

  SpecsLine l(p, line, out);
  const Field raw = l.key();
  if (isBlank(raw) || text(raw).starts_with("END")) return std::string(text(raw));

  bool handled = false;
  if (const auto first = lookup(Table::first, raw)) {
    l.setKey(*first);
    handled = applyFirstKeyword(l);
  }
  if (!handled) {
    if (const auto further = lookup(Table::further, raw)) {
      l.setKey(*further);
      handled = applyFurtherKeyword(l);
    }
  }
  if (!handled) {
    l.setKey(raw);
    l.reject(kKeywordError, text(raw));
  }
  if (l.rejected()) ++errorCount;
  rejection = l.rejection();
  return std::string(text(l.key()));
}

}  // namespace

std::string decodeSpecsLine(Parameters& p, std::string_view line, const ReportChannels& out, int& errorCount) {
  std::string rejection;
  return decodeLine(p, line, out, errorCount, rejection);
}

void setSpecsLine(Parameters& p, std::string_view line, const ReportChannels& out, int& errors) {
  errors = 0;
  decodeSpecsLine(p, line, out, errors);
}

std::string setSpecsLineExplained(Parameters& p, std::string_view line, const ReportChannels& out) {
  int errors = 0;
  std::string rejection;
  decodeLine(p, line, out, errors, rejection);
  return rejection;
}

void setSpecsInteger(Parameters& p, std::string_view keywords, int64_t value, const ReportChannels& out, int& errors) {
  char field[32];
  std::snprintf(field, sizeof field, "%16lld", static_cast<long long>(value));
  setSpecsLine(p, std::string(keywords) + field, out, errors);
}

void setSpecsReal(Parameters& p, std::string_view keywords, double value, const ReportChannels& out, int& errors) {
  // A value that is not finite prints as "nan" or "inf", which the decoder rejects.
  char field[32];
  std::snprintf(field, sizeof field, "%16.8e", value);
  setSpecsLine(p, std::string(keywords) + field, out, errors);
}

}  // namespace kavro
