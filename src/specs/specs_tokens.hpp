#pragma once
// The lexical layer of the SPECS option language: splitting a line into upper-cased
// 16-character fields, telling and reading numbers, and the three keyword tables with their
// abbreviation and synonym lookup.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kavro::specs {

inline constexpr size_t kFieldWidth = 16;    // characters kept of each token
inline constexpr size_t kMaxTokens = 10;     // tokens kept of each line
inline constexpr size_t kRecordLength = 72;  // characters read of each SPECS file record

// A token: upper case, cut to 16 characters and padded with blanks.
using Field = std::array<char, kFieldWidth>;

Field makeField(std::string_view text);
// The token without its padding.
std::string_view text(const Field& f);
inline bool isBlank(const Field& f) { return f[0] == ' '; }

struct Tokens {
  std::array<Field, kMaxTokens> field;  // tokens beyond `count` are blank
  size_t count = 0;
};

// Tokens are separated by blanks, tabs, ",", ":" and "="; a to z become A to Z and every
// other byte is kept as it is.
Tokens tokenize(std::string_view line);

// Digits, "D", "E", "+", "-" and "." only, at least one digit, at most one exponent letter,
// two of each sign and one point.
bool looksNumeric(const Field& f);
// "NAN", "INF", "INFINITY" with an optional sign: text that a number reader would take for a
// value that no parameter may hold.
bool isNonFiniteText(const Field& f);

// A real in the forms [sign] digits [. digits] [exponent], exponent = E|D [sign] digits or
// sign digits ("1.5D3", "2-4" is 2e-4). Empty when malformed or when its magnitude overflows
// a double; a value too small for a double reads as 0.
std::optional<double> readReal(std::string_view s);
// A 32-bit integer: [sign] digits. Empty when malformed or out of range.
std::optional<int32_t> readInteger(std::string_view s);

// ---- keyword tables
enum class Table { first, second, further };

// The sorted entries of a table; "WORD:TARGET" entries are synonyms.
std::span<const std::string_view> entries(Table t);

// Look a token up: the first entry not smaller than the token (compared on the token's own
// length) must begin with it; synonyms are followed to their target. A blank token is never
// found.
std::optional<Field> lookup(Table t, const Field& token);

// Keyword comparison as the decoder makes it: the first 12 characters, 13 for
// "FACTORIZATION".
bool sameKeyword(const Field& f, std::string_view keyword);

}  // namespace kavro::specs
