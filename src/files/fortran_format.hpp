#pragma once
// Numbers in the fixed-column layouts of reports and files: the exponent form one digit before
// the point ("2.500000E+09"), and the fixed form with a given number of decimals. Both fill a
// field of the given width, right-justified, and show a field of asterisks when the number
// does not fit, so that columns stay aligned whatever the value.
//
// The exponent form keeps two exponent digits after an "E"; an exponent of three digits drops
// the "E" ("2.500000+100"), the traditional form that keeps the field width. NaN and infinite
// values print as "NaN", "Infinity", "-Infinity" (or "Inf" when the field is narrow).

#include <string>

namespace kavro {

// Exponent form with `decimals` digits after the point in a field of `width` characters.
std::string formatExponent(double value, int width, int decimals);
// Fixed form with `decimals` digits after the point in a field of `width` characters.
std::string formatFixed(double value, int width, int decimals);

}  // namespace kavro
