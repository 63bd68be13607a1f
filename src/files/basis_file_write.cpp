// Writers of the three basis-file formats. The New basis file is written every few iterations
// during a run, so its writer builds the whole file in one buffer (lines are assembled in place,
// without allocation) and hands it to the unit in one write, with one pass over the states for
// each part of the file.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "files/basis_file_fields.hpp"
#include "files/basis_files.hpp"
#include "files/file_save.hpp"
#include "files/name_table.hpp"
#include "files/variable_names.hpp"

namespace kavro {

using basisfile::externalState;
using basisfile::LineBuffer;

namespace {

constexpr int32_t kStatesPerLine = 80;
// Keys by external state: nonbasic at lower, at upper, superbasic, basic.
constexpr const char* kDumpKeys[4] = {" LL ", " UL ", " SB ", " BS "};

double unscaled(const BasisSource& s, int32_t j) {
  const size_t u = static_cast<size_t>(j);
  return s.scales.empty() ? s.x[u] : s.x[u] * s.scales[u];
}

// Writing past the file's end is not possible, but a caller's arrays may be shorter than the
// problem says; such a save is refused rather than read out of bounds.
bool sourceFits(const BasisSource& s) {
  const size_t nb = static_cast<size_t>(s.prob.nb());
  return s.hs.size() >= nb && s.x.size() >= nb && s.prob.lower.size() >= nb && s.prob.upper.size() >= nb &&
         (s.scales.empty() || s.scales.size() >= nb);
}

std::string savedLine(const char* text, int unit) {
  char line[64];
  std::snprintf(line, sizeof line, "%s %3d", text, unit);
  return line;
}

// The New basis file is built in one buffer and handed to the unit in one write.
void appendLine(std::string& text, std::string_view line) {
  text.append(line);
  text.push_back('\n');
}

void appendHeaderLine1(std::string& text, const Parameters& p, const NewBasisHeader& h) {
  LineBuffer line;
  line.appendPadded(p.problemName, 8);
  line.append("  ITN");
  line.appendInt(h.itn, 8);
  line.appendBlanks(4);
  line.appendPadded(runStatusText(h.status), 12);
  line.append("  NINF");
  line.appendInt(h.ninf, 7);
  line.append("      OBJ");
  line.appendExponent(h.objective, 21, 12);
  appendLine(text, line.view());
}

void appendHeaderLine2(std::string& text, const Parameters& p, const Problem& prob, int32_t ns) {
  LineBuffer line;
  line.append("OBJ=");
  line.appendPadded(p.objectiveName, 8);
  line.append(" RHS=");
  line.appendPadded(p.rhsName, 8);
  line.append(" RNG=");
  line.appendPadded(p.rangesName, 8);
  line.append(" BND=");
  line.appendPadded(p.boundsName, 8);
  line.append(" M=");
  line.appendInt(prob.m, 7);
  line.append(" N=");
  line.appendInt(prob.n, 7);
  line.append(" SB=");
  line.appendInt(ns, 5);
  appendLine(text, line.view());
}

void appendStateMap(std::string& text, const int32_t* hs, int32_t nb) {
  for (int32_t first = 0; first < nb; first += kStatesPerLine) {
    const int32_t count = std::min(kStatesPerLine, nb - first);
    const size_t at = text.size();
    text.resize(at + static_cast<size_t>(count) + 1);
    char* digits = text.data() + at;
    for (int32_t k = 0; k < count; ++k) digits[k] = static_cast<char>('0' + externalState(hs[first + k]));
    digits[count] = '\n';
  }
}

void appendValueLine(std::string& text, int64_t number, double value, int32_t code) {
  LineBuffer line;
  line.appendInt(number, 8);
  line.appendExponent(value, 24, 14);
  line.appendInt(code, 3);
  appendLine(text, line.view());
}

// Value lines in increasing variable order. With nonlinear variables: every nonlinear variable
// and every basic or superbasic one, with its state as code; otherwise the superbasics (code 2).
// Any other nonbasic variable strictly between its bounds gets code -1, so that it is restored
// where it was rather than on a bound. Bounds and value are compared in their stored scale.
void appendValueLines(std::string& text, const BasisSource& s, int32_t ns) {
  const int32_t nb = s.prob.nb(), nonlinear = s.prob.nNonlinVars();
  const int32_t* hs = s.hs.data();
  const double* x = s.x.data();
  const double* lower = s.prob.lower.data();
  const double* upper = s.prob.upper.data();
  const double* scales = s.scales.empty() ? nullptr : s.scales.data();
  const bool nonlinearLines = nonlinear > 0, superbasicLines = nonlinear == 0 && ns > 0;
  // Blocks of flags computed without branches (the compiler vectorizes this), then the rare
  // lines: a save scans every variable but writes few lines.
  constexpr int32_t kBlock = 512;
  uint8_t listed[kBlock], between[kBlock];
  for (int32_t first = 0; first < nb; first += kBlock) {
    const int32_t count = std::min(kBlock, nb - first);
    uint8_t any = 0;
    for (int32_t k = 0; k < count; ++k) {
      const int32_t j = first + k, state = externalState(hs[j]);
      listed[k] = (nonlinearLines & ((j < nonlinear) | (state >= kSuperbasic))) |
                  (superbasicLines & (state == kSuperbasic));
      between[k] = (state <= kAtUpper) & (lower[j] < x[j]) & (x[j] < upper[j]);
      any |= listed[k] | between[k];
    }
    if (!any) continue;
    for (int32_t k = 0; k < count; ++k) {
      if (!(listed[k] | between[k])) continue;
      const int32_t j = first + k;
      appendValueLine(text, j + 1, scales ? x[j] * scales[j] : x[j], listed[k] ? externalState(hs[j]) : -1);
    }
  }
  appendValueLine(text, 0, 0.0, 0);
}

void writeNamedLine(const BasisFileChannel& io, int unit, const char* key, const std::string& name,
                    const std::string& second, double value) {
  LineBuffer line;
  line.append(key);
  line.appendPadded(name, 8);
  line.appendBlanks(2);
  line.appendPadded(second, 8);
  line.appendBlanks(2);
  line.appendExponent(value, 12, 5);
  io.units.writeLine(unit, line.view());
}

// Columns whose name is also a row's name: the reader takes the first line with such a name for
// the column, so these columns are always written.
std::vector<uint8_t> columnsNamedLikeRows(const Problem& prob) {
  std::vector<uint8_t> shared(static_cast<size_t>(prob.n), 0);
  if (prob.rowNames.empty() || prob.columnNames.empty()) return shared;  // generated names differ
  std::vector<std::string> rows;
  rows.reserve(prob.m);
  NameTable table(prob.m);
  for (int32_t i = 0; i < prob.m; ++i) {
    rows.push_back(rowName(prob, i));
    if (table.find(rows.back(), rows) < 0) table.insert(i, rows);
  }
  for (int32_t j = 0; j < prob.n; ++j) shared[j] = table.find(columnName(prob, j), rows) >= 0;
  return shared;
}

void writeNamedHeader(const BasisFileChannel& io, int unit, const char* label) {
  LineBuffer line;
  line.append("NAME");
  line.appendBlanks(10);
  line.appendPadded(io.params.problemName, 8);
  line.appendBlanks(2);
  line.append(label);
  io.units.writeLine(unit, line.view());
}

}  // namespace

void writeNewBasis(const BasisFileChannel& io, int unit, const BasisSource& s, const NewBasisHeader& header) {
  if (unit <= 0 || !sourceFits(s)) return;
  const int32_t nb = s.prob.nb();
  const int32_t* hs = s.hs.data();
  int32_t ns = 0;
  for (int32_t j = 0; j < nb; ++j) ns += hs[j] == kSuperbasic;
  std::string text;
  text.reserve(static_cast<size_t>(nb) + static_cast<size_t>(nb) / kStatesPerLine + 256 + 36 * static_cast<size_t>(ns));
  appendHeaderLine1(text, io.params, header);
  appendHeaderLine2(text, io.params, s.prob, ns);
  appendStateMap(text, hs, nb);
  appendValueLines(text, s, ns);
  text.pop_back();  // the unit ends the last line
  startSave(io.units, io.out, unit);
  io.units.writeLine(unit, text);
  char saved[64];
  std::snprintf(saved, sizeof saved, " NEW BASIS file saved on file %3d    itn = %7d", unit, header.itn);
  finishSave(io.units, io.out, unit, saved, "NEW BASIS");
}

// Each basic column is paired with the next slack (searching forward) that is not basic; the
// key tells whether that slack sits at its lower or upper bound. A column nonbasic at a lower
// bound of 0 (and at value 0) is left out: the reader starts every column nonbasic at its lower
// bound, so the line would change nothing.
void writePunch(const BasisFileChannel& io, int unit, const BasisSource& s) {
  if (unit <= 0 || !sourceFits(s)) return;
  const Problem& prob = s.prob;
  const int32_t n = prob.n, nb = prob.nb();
  const std::string blank(8, ' ');
  const std::vector<uint8_t> mustWrite = columnsNamedLikeRows(prob);
  startSave(io.units, io.out, unit);
  writeNamedHeader(io, unit, "PUNCH/INSERT");
  int32_t slack = n;
  for (int32_t j = 0; j < n; ++j) {
    const size_t u = static_cast<size_t>(j);
    const int32_t state = externalState(s.hs[u]);
    if (state == kBasic) {
      while (slack < nb && externalState(s.hs[slack]) == kBasic) ++slack;
      if (slack >= nb) continue;  // more basic columns than nonbasic slacks: not a valid basis
      const char* key = externalState(s.hs[slack]) == kAtUpper ? " XU " : " XL ";
      writeNamedLine(io, unit, key, columnName(prob, j), rowName(prob, slack - n), unscaled(s, j));
      ++slack;
      continue;
    }
    if (state == kAtLower && s.x[u] == 0.0 && prob.lower[u] == 0.0 && !mustWrite[u]) continue;
    writeNamedLine(io, unit, kDumpKeys[state], columnName(prob, j), blank, unscaled(s, j));
  }
  for (int32_t j = n; j < nb; ++j)
    if (externalState(s.hs[j]) == kSuperbasic)
      writeNamedLine(io, unit, " SB ", rowName(prob, j - n), blank, unscaled(s, j));
  io.units.writeLine(unit, "ENDATA");
  finishSave(io.units, io.out, unit, savedLine(" PUNCH file saved on file", unit), "PUNCH");
}

void writeDump(const BasisFileChannel& io, int unit, const BasisSource& s) {
  if (unit <= 0 || !sourceFits(s)) return;
  const int32_t nb = s.prob.nb();
  const std::string blank(8, ' ');  // with the two gaps, the 12 blanks between name and value
  startSave(io.units, io.out, unit);
  writeNamedHeader(io, unit, "   DUMP/LOAD");
  for (int32_t j = 0; j < nb; ++j) {
    const int32_t state = externalState(s.hs[j]);
    writeNamedLine(io, unit, kDumpKeys[state], variableName(s.prob, j), blank, unscaled(s, j));
  }
  io.units.writeLine(unit, "ENDATA");
  finishSave(io.units, io.out, unit, savedLine(" DUMP file saved on file", unit), "DUMP");
}

}  // namespace kavro
