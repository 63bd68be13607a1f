#include "specs/specs_tokens.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace kavro::specs {
namespace {

constexpr std::array<std::string_view, 38> kFirstKeywords = {"CHECK",
                                                             "COMPLETION",
                                                             "CRASH",
                                                             "DEBUG",
                                                             "DEFAULTS",
                                                             "EXPAND",
                                                             "FACTORIZATION",
                                                             "FEASIBILITY",
                                                             "HESSIAN",
                                                             "IPARM",
                                                             "ITERATIONS",
                                                             "ITERS:ITERATIONS",
                                                             "ITNS :ITERATIONS",
                                                             "LAGRANGIAN",
                                                             "LINESEARCH",
                                                             "LOG",
                                                             "LU",
                                                             "MAJOR",
                                                             "MINOR",
                                                             "MULTIPLE",
                                                             "OPTIMALITY",
                                                             "PARTIAL",
                                                             "PENALTY",
                                                             "PIVOT",
                                                             "PRINT",
                                                             "RADIUS",
                                                             "ROWS",
                                                             "RPARM",
                                                             "SCALE",
                                                             "SOLUTION",
                                                             "START",
                                                             "SUBSPACE",
                                                             "SUMMARY",
                                                             "SUPERBASICS",
                                                             "TIMING",
                                                             "UNBOUNDED",
                                                             "VERIFY",
                                                             "WEIGHT"};

constexpr std::array<std::string_view, 43> kSecondKeywords = {
    "(TOTAL)",   "(USER)",    "ALL",        "BASIC",     "COLUMNS",    "COMPLETE",         "CONSTRAINTS",
    "DAMPING",   "DEBUG",     "DENSE",      "DENSITY",   "ELEMENTS",   "ELIGIBLE",         "FACTORIZATION",
    "FILE",      "FREQUENCY", "FULL",       "GRADIENTS", "ITERATIONS", "ITERS:ITERATIONS", "ITNS :ITERATIONS",
    "JACOBIAN",  "LEVEL",     "LIMIT",      "LINEAR",    "NO",         "NONBASIC",         "NONLINEAR",
    "OBJECTIVE", "OPTION",    "PARTIAL",    "PRINT",     "ROOK",       "SINGULARITY",      "SPARSE",
    "STEP",      "STRATEGY",  "SUPERBASIC", "SWAP",      "TOLERANCE",  "UPDATE",           "VARIABLES",
    "YES"};

// PRICING is a further keyword, not a first one: in the first table it would sort before PRINT
// and take over the abbreviations "PR" and "PRI", which have always meant PRINT. SOLVE and
// TIME likewise leave "SOL" to SOLUTION and "TIM" to TIMING.
constexpr std::array<std::string_view, 38> kFurtherKeywords = {
    "AIJ",        "BACKUP",  "BOUNDS",   "CENTRAL",  "COEFFICIENTS", "COLUMNS",  "CYCLE",     "DERIVATIVE",
    "DIFFERENCE", "DUMP",    "ELEMENTS", "ERROR",    "FUNCTION",     "INSERT",   "JACOBIAN",  "LIST",
    "LOAD",       "LOWER",   "MAXIMIZE", "MINIMIZE", "MPS",          "NEW",      "NONLINEAR", "OBJECTIVE",
    "OLD",        "PHANTOM", "PRICING",  "PROBLEM",  "PUNCH",        "RANGES",   "REPORT",    "RHS",
    "SAVE",       "SOLVE",   "STOP",     "TIME",     "UPPER",        "WORKSPACE"};

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == ':' || c == '='; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Compares the first n characters of a table entry (padded with blanks) with the token's.
int comparePrefix(std::string_view entry, const Field& token, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const auto e = static_cast<unsigned char>(i < entry.size() ? entry[i] : ' ');
    const auto t = static_cast<unsigned char>(token[i]);
    if (e != t) return e < t ? -1 : 1;
  }
  return 0;
}

}  // namespace

Field makeField(std::string_view s) {
  Field f;
  f.fill(' ');
  std::copy_n(s.begin(), std::min(s.size(), kFieldWidth), f.begin());
  return f;
}

std::string_view text(const Field& f) {
  size_t n = kFieldWidth;
  while (n > 0 && f[n - 1] == ' ') --n;
  return {f.data(), n};
}

Tokens tokenize(std::string_view line) {
  Tokens t;
  for (auto& f : t.field) f.fill(' ');
  size_t i = 0;
  while (t.count < kMaxTokens) {
    while (i < line.size() && isSeparator(line[i])) ++i;
    if (i == line.size()) break;
    Field& f = t.field[t.count++];
    for (size_t k = 0; i < line.size() && !isSeparator(line[i]); ++i, ++k)
      if (k < kFieldWidth) f[k] = upper(line[i]);
  }
  return t;
}

bool looksNumeric(const Field& f) {
  int digits = 0, exponents = 0, minus = 0, plus = 0, points = 0;
  for (char c : text(f)) {
    if (isDigit(c)) ++digits;
    else if (c == 'D' || c == 'E') ++exponents;
    else if (c == '-') ++minus;
    else if (c == '+') ++plus;
    else if (c == '.') ++points;
    else return false;
  }
  return digits >= 1 && exponents <= 1 && minus <= 2 && plus <= 2 && points <= 1;
}

bool isNonFiniteText(const Field& f) {
  std::string_view s = text(f);
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
  return s == "NAN" || s == "INF" || s == "INFINITY" || s.starts_with("NAN(");
}

std::optional<double> readReal(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const size_t mantissaStart = i;
  int digits = 0;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (isDigit(s[i])) ++digits;
    else if (s[i] == '.' && !point) point = true;
    else break;
  }
  if (digits == 0) return std::nullopt;
  const std::string_view mantissa = s.substr(mantissaStart, i - mantissaStart);

  // Exponent: a letter with an optional sign, or a sign alone.
  bool exponentNegative = false;
  std::string_view exponent;
  if (i < s.size()) {
    if (s[i] == 'E' || s[i] == 'D') ++i;
    else if (s[i] != '+' && s[i] != '-') return std::nullopt;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) exponentNegative = s[i++] == '-';
    exponent = s.substr(i);
    if (exponent.empty() || !std::all_of(exponent.begin(), exponent.end(), isDigit)) return std::nullopt;
  }

  std::string normal(mantissa);
  if (!exponent.empty()) {
    normal += exponentNegative ? "e-" : "e";
    normal += exponent;
  }
  double value = 0.0;
  const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (end != normal.data() + normal.size()) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // A 16-character mantissa cannot leave the range of a double on its own, so the sign of
    // the exponent tells an overflow (rejected) from an underflow (read as 0).
    if (!exponentNegative) return std::nullopt;
    value = 0.0;
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  if (!std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

std::optional<int32_t> readInteger(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return std::nullopt;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!isDigit(s[i])) return std::nullopt;
    v = v * 10 + (s[i] - '0');
    if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(v);
}

std::span<const std::string_view> entries(Table t) {
  switch (t) {
    case Table::first: return kFirstKeywords;
    case Table::second: return kSecondKeywords;
    case Table::further: return kFurtherKeywords;
  }
  return {};
}

std::optional<Field> lookup(Table t, const Field& token) {
  const size_t n = text(token).size();
  if (n == 0) return std::nullopt;
  for (std::string_view entry : entries(t)) {
    const int order = comparePrefix(entry, token, n);
    if (order < 0) continue;
    if (order > 0) return std::nullopt;
    const size_t colon = entry.find(':');
    if (colon == std::string_view::npos) return makeField(entry);
    // A synonym: its target is an ordinary entry of the same table.
    const Field target = makeField(entry.substr(colon + 1));
    return text(target).find(':') == std::string_view::npos ? lookup(t, target) : std::nullopt;
  }
  return std::nullopt;
}

bool sameKeyword(const Field& f, std::string_view keyword) {
  const size_t n = keyword == "FACTORIZATION" ? 13 : 12;
  return comparePrefix(keyword, f, n) == 0;
}

}  // namespace kavro::specs
