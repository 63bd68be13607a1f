// Reading the Old basis file (the NEW BASIS format written by an earlier run).
//
// The file must describe a problem with the same m and n; otherwise the run ends (exit 30).
// A state map that is cut short or holds a character that is not a state makes the whole file
// unusable: the run then starts as if no file had been given. Value lines that cannot be read
// are reported and skipped. States and values change only once the file has been read through.

#include <algorithm>
#include <string>

#include "files/basis_file_fields.hpp"
#include "files/basis_files.hpp"

namespace kavro {

using namespace basisfile;

namespace {

constexpr int32_t kStatesPerLine = 80;

bool targetFits(const BasisTarget& t) {
  const size_t nb = static_cast<size_t>(t.prob.nb());
  return t.hs.size() >= nb && t.x.size() >= nb && t.prob.lower.size() >= nb && t.prob.upper.size() >= nb;
}

void echo(const BasisFileChannel& io, const std::string& line) {
  LineBuffer text;
  text.appendChar(' ');
  appendPrintable(text, line);
  io.out.both("%.*s", static_cast<int>(text.view().size()), text.view().data());
}

// Lines 1 and 2; true when line 2 carries this problem's m and n.
bool readHeader(const BasisFileChannel& io, InputUnit& in, const Problem& prob) {
  std::string line1, line2;
  const bool have1 = in.readLine(line1);
  const bool have2 = have1 && in.readLine(line2);
  if (have1) echo(io, line1);
  if (have2) echo(io, line2);
  int64_t m = 0, n = 0;
  const bool dims = have2 && readInteger(fieldAt(line2, 54, 7), m) == Field::kNumber &&
                    readInteger(fieldAt(line2, 64, 7), n) == Field::kNumber;
  if (!dims) io.out.both("%s", " XXX  The basis file has no readable M= and N= on its second line");
  if (dims && m == prob.m && n == prob.n) return true;
  io.out.both("%s", " EXIT -- the basis file dimensions do not match this problem");
  return false;
}

// The state digits, 80 to a line; a short line reads as blanks (state 0). States 4 and 5 of
// reports are taken as 0 and 1.
bool readStateMap(const BasisFileChannel& io, InputUnit& in, std::vector<int32_t>& hs) {
  const int32_t nb = static_cast<int32_t>(hs.size());
  std::string line;
  for (int32_t first = 0; first < nb; first += kStatesPerLine) {
    if (!in.readLine(line)) {
      io.out.both(" XXX  The basis file ends inside its state map (%d of %d states read)", first, nb);
      return false;
    }
    const int32_t count = std::min(kStatesPerLine, nb - first);
    for (int32_t k = 0; k < count; ++k) {
      const char c = static_cast<size_t>(k) < line.size() ? line[k] : ' ';
      int32_t state = 0;
      if (c >= '0' && c <= '5') state = (c - '0') % 4;
      else if (c != ' ') {
        io.out.both(" XXX  Line %ld of the basis file: a character that is not a state in the map", in.lineNumber());
        return false;
      }
      hs[first + k] = state;
    }
  }
  return true;
}

// Nonbasic variables start on their bound when it is finite.
void placeNonbasics(const Problem& prob, const std::vector<int32_t>& hs, std::vector<double>& x, double infBound) {
  for (size_t j = 0; j < hs.size(); ++j) {
    if (hs[j] == kAtLower && isFiniteValue(prob.lower[j], infBound)) x[j] = prob.lower[j];
    else if (hs[j] == kAtUpper && isFiniteValue(prob.upper[j], infBound)) x[j] = prob.upper[j];
  }
}

// Value lines up to the one numbered 0 (or the end of the file); returns the superbasics set.
int32_t readValueLines(const BasisFileChannel& io, InputUnit& in, const Problem& prob, const std::vector<int32_t>& hs,
                       std::vector<double>& x) {
  const int64_t nb = prob.nb(), maxLines = static_cast<int64_t>(prob.m) + prob.n + 10000;
  LineMessages messages(io.out, io.params.errorMessageLimit);
  int32_t superbasics = 0;
  std::string line;
  for (int64_t k = 0; k < maxLines && in.readLine(line); ++k) {
    int64_t number = 0;
    double value = 0.0;
    if (readInteger(fieldAt(line, 0, 8), number) != Field::kNumber) {
      messages.report(" XXX  Line %ld of the basis file ignored: no variable number", in.lineNumber());
      continue;
    }
    if (number < 1) break;
    if (number > nb) continue;
    if (readReal(fieldAt(line, 8, 24), value) != Field::kNumber || !std::isfinite(value)) {
      messages.report(" XXX  Line %ld of the basis file ignored: no valid value", in.lineNumber());
      continue;
    }
    const size_t j = static_cast<size_t>(number - 1);
    x[j] = value;
    if (hs[j] == kSuperbasic) ++superbasics;
  }
  if (messages.count() > 0) io.out.both(" XXX  Value lines ignored: %d", messages.count());
  return superbasics;
}

// A column with equal bounds cannot usefully be basic or superbasic.
int32_t fixedColumnsToNonbasic(const Problem& prob, std::vector<int32_t>& hs, std::vector<double>& x) {
  int32_t count = 0;
  for (size_t j = 0; j < static_cast<size_t>(prob.n); ++j) {
    if ((hs[j] == kSuperbasic || hs[j] == kBasic) && prob.lower[j] == prob.upper[j]) {
      hs[j] = kAtLower;
      x[j] = prob.lower[j];
      ++count;
    }
  }
  return count;
}

}  // namespace

BasisReadResult readOldBasis(const BasisFileChannel& io, int unit, InputUnit& in, BasisTarget t) {
  BasisReadResult result;
  io.out.both(" OLD BASIS file to be input from file %3d", unit);
  if (!targetFits(t)) return result;
  if (!readHeader(io, in, t.prob)) {
    result.dimensionMismatch = true;
    return result;
  }
  const size_t nb = static_cast<size_t>(t.prob.nb());
  std::vector<int32_t> hs(nb, 0);
  std::vector<double> x(t.x.begin(), t.x.begin() + static_cast<std::ptrdiff_t>(nb));
  bool usable = readStateMap(io, in, hs);
  if (usable) {
    placeNonbasics(t.prob, hs, x, io.params.machine.infBound);
    result.superbasics = readValueLines(io, in, t.prob, hs, x);
    if (result.superbasics > 0) io.out.print(" No. of superbasics loaded: %7d", result.superbasics);
    io.out.print(" No. of fixed cols made nonbasic: %7d", fixedColumnsToNonbasic(t.prob, hs, x));
  }
  if (in.hadReadError()) {
    io.out.both(" XXX  The basis file could not be read to its end: %s", in.readErrorText().c_str());
    usable = false;
  }
  if (unit != io.params.cardReader) in.rewind();
  if (!usable) {
    io.out.both("%s", " XXX  The basis file is not used; the run starts without it");
    result.superbasics = 0;
    return result;
  }
  std::copy(hs.begin(), hs.end(), t.hs.begin());
  std::copy(x.begin(), x.end(), t.x.begin());
  result.loaded = true;
  return result;
}

}  // namespace kavro
