#include "files/fortran_format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kavro {

namespace {

std::string rightJustify(const std::string& text, int width) {
  if (static_cast<int>(text.size()) > width) return std::string(static_cast<size_t>(width), '*');
  return std::string(static_cast<size_t>(width) - text.size(), ' ') + text;
}

std::string nonFinite(double value, int width) {
  if (std::isnan(value)) return rightJustify("NaN", width);
  const bool negative = value < 0;
  const char* word = (width >= (negative ? 9 : 8)) ? "Infinity" : "Inf";
  return rightJustify(std::string(negative ? "-" : "") + word, width);
}

}  // namespace

std::string formatExponent(double value, int width, int decimals) {
  if (!std::isfinite(value)) return nonFinite(value, width);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*E", decimals, value);
  // buffer is "[-]d.dddE[+-]dd" or with three exponent digits.
  char* e = std::strchr(buffer, 'E');
  if (!e) return rightJustify(buffer, width);
  const int exponent = std::atoi(e + 1);
  const int magnitude = std::abs(exponent);
  char tail[16];
  if (magnitude <= 99) std::snprintf(tail, sizeof tail, "E%c%02d", exponent < 0 ? '-' : '+', magnitude);
  else std::snprintf(tail, sizeof tail, "%c%03d", exponent < 0 ? '-' : '+', magnitude);
  *e = '\0';
  return rightJustify(std::string(buffer) + tail, width);
}

std::string formatFixed(double value, int width, int decimals) {
  if (!std::isfinite(value)) return nonFinite(value, width);
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  return rightJustify(buffer, width);
}

}  // namespace kavro
