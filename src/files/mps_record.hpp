#pragma once
// One record of an MPS file taken apart into its fields, in fixed columns or in free format.
//
// Fixed columns (1-based):  1-4 key | 5-12 name 1 | 15-22 name 2 | 25-36 value 1 |
//                           40-47 name 3 | 50-61 value 2
// Names keep their inner and leading blanks and lose trailing ones; numbers may contain
// blanks, which are ignored. Free format: fields are separated by white space (blanks or
// tabs), so names cannot contain blanks; a record's meaning follows from its number of fields.
//
// The views returned point into the record text, which must outlive them.

#include <string>
#include <string_view>
#include <vector>

namespace kavro {

enum class MpsSection { kNone, kName, kRows, kColumns, kRhs, kRanges, kBounds, kEndata, kUnknown };

// Section named by a record whose column 1 is not blank (names are recognised on their first
// four characters); kUnknown for anything else.
MpsSection sectionOfCard(std::string_view record);

// True when a data record of the given section can be read in fixed columns: no tab, nothing
// in the blank columns between the fields (13-14, 23-24, 37-39, 48-49), and in ROWS and BOUNDS
// nothing in column 4 nor after the last field that section uses. Characters beyond column 61
// do not decide the format.
bool fitsFixedColumns(std::string_view record, MpsSection section);

// Text of columns first..last (1-based, inclusive), blanks at the end removed.
std::string_view fixedField(std::string_view record, int first, int last);
// Removes the UTF-8 byte order mark some editors put at the start of a file.
void stripByteOrderMark(std::string& firstLine);
// Fields separated by white space.
void splitFields(std::string_view record, std::vector<std::string_view>& fields);

// A (row or column name, value) pair of a data record; `present` is false when the record has
// no such pair or its name is blank.
struct MpsPair {
  std::string_view name;
  std::string_view value;
  bool present = false;
};

// The fields of a data record as the sections use them:
//   ROWS:                 key = row type,   name1 = row name
//   COLUMNS:              name1 = column,   pair[0], pair[1] = (row, value); a marker card has
//                         marker = true, pair[0].name = "'MARKER'", pair[1].name = its kind
//   RHS, RANGES:          name1 = set name, pair[0], pair[1] = (row, value)
//   BOUNDS:               key = bound type, name1 = set name, pair[0] = (column, value)
struct MpsCard {
  std::string_view key;
  std::string_view name1;
  MpsPair pair[2];
  bool marker = false;
  bool valueBlanksIgnored = false;  // fixed-column values may contain blanks
};

// Splits a data record of `section`. Returns false when a free-format record has a number of
// fields that no card of the section has. `fields` is scratch space, kept by the caller so that
// reading a file does not allocate per record.
bool splitCard(std::string_view record, MpsSection section, bool freeFormat, MpsCard& card,
               std::vector<std::string_view>& fields);

// Bound types that take a value: LO, UP, FX, LI, UI.
bool boundTypeTakesValue(std::string_view type);

// Reads a number: an optional sign, digits with an optional point, an optional exponent
// introduced by E or D (or by its sign alone, as in "1.5-3"). A blank field reads as 0.
// Returns false for anything else and for values that are not finite (NaN, 1e400).
bool parseMpsNumber(std::string_view text, bool ignoreBlanks, double& value);

}  // namespace kavro
