#include "files/mps_record.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace kavro {

namespace {

bool isBlankChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Character at a 1-based column, blank beyond the end of the record.
char columnChar(std::string_view record, int column) {
  const size_t i = static_cast<size_t>(column - 1);
  return i < record.size() ? record[i] : ' ';
}

bool blankColumns(std::string_view record, int first, int last) {
  for (int c = first; c <= last; ++c)
    if (columnChar(record, c) != ' ') return false;
  return true;
}

std::string_view trimBoth(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

MpsPair makePair(std::string_view name, std::string_view value) {
  MpsPair p;
  p.name = name;
  p.value = value;
  p.present = !name.empty();
  return p;
}

void splitFixed(std::string_view record, MpsSection section, MpsCard& card) {
  card.valueBlanksIgnored = true;
  card.name1 = fixedField(record, 5, 12);
  if (section == MpsSection::kRows || section == MpsSection::kBounds) card.key = trimBoth(fixedField(record, 2, 4));
  if (section == MpsSection::kRows) return;
  card.pair[0] = makePair(fixedField(record, 15, 22), fixedField(record, 25, 36));
  if (section == MpsSection::kBounds) return;
  card.pair[1] = makePair(fixedField(record, 40, 47), fixedField(record, 50, 61));
  card.marker = section == MpsSection::kColumns && card.pair[0].name == "'MARKER'";
}

bool splitFree(std::string_view record, MpsSection section, MpsCard& card, std::vector<std::string_view>& f) {
  splitFields(record, f);
  const size_t n = f.size();
  switch (section) {
    case MpsSection::kRows:
      if (n != 2) return false;
      card.key = f[0];
      card.name1 = f[1];
      return true;
    case MpsSection::kColumns:
      if (n == 3 && f[1] == "'MARKER'") {
        card.marker = true;
        card.name1 = f[0];
        card.pair[0] = makePair(f[1], {});
        card.pair[1] = makePair(f[2], {});
        return true;
      }
      if (n != 3 && n != 5) return false;
      card.name1 = f[0];
      card.pair[0] = makePair(f[1], f[2]);
      if (n == 5) card.pair[1] = makePair(f[3], f[4]);
      return true;
    case MpsSection::kRhs:
    case MpsSection::kRanges: {
      if (n < 2 || n > 5) return false;
      const size_t first = n % 2;  // an odd count starts with the set name
      if (first == 1) card.name1 = f[0];
      card.pair[0] = makePair(f[first], f[first + 1]);
      if (n - first == 4) card.pair[1] = makePair(f[first + 2], f[first + 3]);
      return true;
    }
    case MpsSection::kBounds: {
      if (n < 2 || n > 4) return false;
      card.key = f[0];
      if (boundTypeTakesValue(f[0])) {
        if (n == 3) card.pair[0] = makePair(f[1], f[2]);
        else if (n == 4) card.name1 = f[1], card.pair[0] = makePair(f[2], f[3]);
        else return false;
      } else {
        if (n == 2) card.pair[0] = makePair(f[1], {});
        else card.name1 = f[1], card.pair[0] = makePair(f[2], n == 4 ? f[3] : std::string_view{});
      }
      return true;
    }
    default: return false;
  }
}

}  // namespace

MpsSection sectionOfCard(std::string_view record) {
  char key[5] = {' ', ' ', ' ', ' ', '\0'};
  for (size_t i = 0; i < 4 && i < record.size(); ++i) key[i] = record[i];
  const std::string_view k(key, 4);
  if (k == "NAME") return MpsSection::kName;
  if (k == "ROWS") return MpsSection::kRows;
  if (k == "COLU") return MpsSection::kColumns;
  if (k == "RHS " || (k == "RHS\t")) return MpsSection::kRhs;
  if (k == "RANG") return MpsSection::kRanges;
  if (k == "BOUN") return MpsSection::kBounds;
  if (k == "ENDA") return MpsSection::kEndata;
  return MpsSection::kUnknown;
}

bool fitsFixedColumns(std::string_view record, MpsSection section) {
  if (std::memchr(record.data(), '\t', record.size())) return false;
  switch (section) {
    case MpsSection::kRows: return blankColumns(record, 4, 4) && blankColumns(record, 13, 61);
    case MpsSection::kBounds:
      return blankColumns(record, 4, 4) && blankColumns(record, 13, 14) && blankColumns(record, 23, 24) &&
             blankColumns(record, 37, 61);
    case MpsSection::kColumns:
    case MpsSection::kRhs:
    case MpsSection::kRanges:
      return blankColumns(record, 13, 14) && blankColumns(record, 23, 24) && blankColumns(record, 37, 39) &&
             blankColumns(record, 48, 49);
    default: return true;
  }
}

std::string_view fixedField(std::string_view record, int first, int last) {
  const size_t begin = static_cast<size_t>(first - 1);
  if (begin >= record.size()) return {};
  std::string_view f = record.substr(begin, static_cast<size_t>(last - first + 1));
  while (!f.empty() && f.back() == ' ') f.remove_suffix(1);
  return f;
}

void stripByteOrderMark(std::string& firstLine) {
  if (firstLine.rfind("\xEF\xBB\xBF", 0) == 0) firstLine.erase(0, 3);
}

void splitFields(std::string_view record, std::vector<std::string_view>& fields) {
  fields.clear();
  size_t i = 0;
  while (i < record.size()) {
    while (i < record.size() && isBlankChar(record[i])) ++i;
    const size_t start = i;
    while (i < record.size() && !isBlankChar(record[i])) ++i;
    if (i > start) fields.push_back(record.substr(start, i - start));
  }
}

bool splitCard(std::string_view record, MpsSection section, bool freeFormat, MpsCard& card,
               std::vector<std::string_view>& fields) {
  card = MpsCard{};
  if (freeFormat) return splitFree(record, section, card, fields);
  splitFixed(record, section, card);
  return true;
}

bool boundTypeTakesValue(std::string_view type) {
  return type == "LO" || type == "UP" || type == "FX" || type == "LI" || type == "UI";
}

bool parseMpsNumber(std::string_view text, bool ignoreBlanks, double& value) {
  // Normalise into "[-]digits[.digits]e[-]digits" for from_chars, checking the form on the way.
  char buffer[128];
  size_t len = 0;
  auto put = [&](char c) {
    if (len + 1 >= sizeof buffer) return false;
    buffer[len++] = c;
    return true;
  };
  size_t i = 0;
  auto skipBlanks = [&] {
    while (ignoreBlanks && i < text.size() && text[i] == ' ') ++i;
  };
  skipBlanks();
  if (i == text.size()) {
    value = 0.0;
    return true;
  }
  if (text[i] == '+' || text[i] == '-') {
    if (text[i] == '-' && !put('-')) return false;
    ++i;
  }
  int digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ' && ignoreBlanks) continue;
    if (c >= '0' && c <= '9') {
      ++digits;
      if (!put(c)) return false;
    } else if (c == '.' && !point) {
      point = true;
      if (!put(c)) return false;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  bool negativeExponent = false;
  if (i < text.size()) {
    char c = text[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      ++i;
      skipBlanks();
      c = i < text.size() ? text[i] : '\0';
    } else if (c != '+' && c != '-') {
      return false;
    }
    if (!put('e')) return false;
    if (c == '+' || c == '-') {
      negativeExponent = c == '-';
      if (negativeExponent && !put('-')) return false;
      ++i;
    }
    int exponentDigits = 0;
    for (; i < text.size(); ++i) {
      const char d = text[i];
      if (d == ' ' && ignoreBlanks) continue;
      if (d < '0' || d > '9') return false;
      ++exponentDigits;
      if (!put(d)) return false;
    }
    if (exponentDigits == 0) return false;
  }
  double v = 0.0;
  const auto [end, ec] = std::from_chars(buffer, buffer + len, v);
  if (ec == std::errc::result_out_of_range) {
    // Too small to represent reads as 0; too large is not a number we can use.
    if (!negativeExponent) return false;
    v = 0.0;
  } else if (ec != std::errc() || end != buffer + len) {
    return false;
  }
  if (!std::isfinite(v)) return false;
  value = v;
  return true;
}

}  // namespace kavro
