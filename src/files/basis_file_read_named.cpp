// Reading the Insert file (PUNCH format) and the Load file (DUMP format): lines keyed by names.
//
// The Insert file starts from the slack basis (every column nonbasic at its lower bound, every
// slack basic), so that each " XL " / " XU " line can swap a column into the basis for a slack.
// The Load file starts with every variable nonbasic and names the basic ones; variables it
// leaves out stay nonbasic, and the factorization completes a short basis with slacks.
// Lines with unknown keys or names, invalid pairings or values that are not numbers are
// counted, reported within the Error message limit and skipped. States and values change only
// when the file was read to its end and at least one line could be used.

#include <algorithm>
#include <cstring>
#include <string>

#include "files/basis_file_fields.hpp"
#include "files/basis_files.hpp"
#include "files/name_table.hpp"
#include "files/variable_names.hpp"

namespace kavro {

using namespace basisfile;

namespace {

enum class Key { kLower, kUpper, kSuperbasic, kBasic, kSwapLower, kSwapUpper, kUnknown };

enum class Format { kInsert, kLoad };

Key keyOf(std::string_view key, Format format) {
  if (key == " LL ") return Key::kLower;
  if (key == " UL ") return Key::kUpper;
  if (key == " SB ") return Key::kSuperbasic;
  if (format == Format::kLoad && key == " BS ") return Key::kBasic;
  if (format == Format::kInsert && key == " XL ") return Key::kSwapLower;
  if (format == Format::kInsert && key == " XU ") return Key::kSwapUpper;
  return Key::kUnknown;
}

// Column and row names are separate name spaces, as in an MPS file, so a name may belong to a
// column and a row at once. The writers put every such column before the row (DUMP lists the
// columns first; PUNCH never leaves such a column out and writes slacks last), so the first line
// with the name means the column and a later one the row.
class NameIndex {
 public:
  explicit NameIndex(const Problem& prob) : columns_(prob.n), rows_(prob.m) {
    columnNames_.reserve(prob.n);
    for (int32_t j = 0; j < prob.n; ++j) add(columnName(prob, j), columnNames_, columns_);
    rowNames_.reserve(prob.m);
    for (int32_t i = 0; i < prob.m; ++i) add(rowName(prob, i), rowNames_, rows_);
  }
  int32_t column(std::string_view name) { return columns_.find(name, columnNames_); }
  int32_t row(std::string_view name) { return rows_.find(name, rowNames_); }
  // Variable j (slacks after the columns) named by a line without a second name, or -1.
  int32_t variable(std::string_view name, const std::vector<uint8_t>& named) {
    const int32_t j = column(name), i = row(name);
    if (i < 0) return j;
    const int32_t slack = static_cast<int32_t>(columnNames_.size()) + i;
    return (j < 0 || named[j]) ? slack : j;
  }

 private:
  // The first of two equal names wins; the index of the second is never found.
  static void add(std::string name, std::vector<std::string>& names, NameTable& table) {
    names.push_back(std::move(name));
    const int32_t index = static_cast<int32_t>(names.size()) - 1;
    if (table.find(names.back(), names) < 0) table.insert(index, names);
  }
  NameTable columns_, rows_;
  std::vector<std::string> columnNames_, rowNames_;
};

struct Counts {
  int32_t linesRead = 0, basics = 0, superbasics = 0, used = 0;
};

class NamedReader {
 public:
  NamedReader(const BasisFileChannel& io, BasisTarget t, Format format)
      : io_(io),
        t_(t),
        format_(format),
        names_(t.prob),
        messages_(io.out, io.params.errorMessageLimit),
        hs_(static_cast<size_t>(t.prob.nb()), kAtLower),
        x_(t.x.begin(), t.x.begin() + t.prob.nb()),
        named_(static_cast<size_t>(t.prob.nb()), 0) {
    if (format == Format::kInsert) std::fill(hs_.begin() + t.prob.n, hs_.end(), kBasic);
  }

  // Reads up to "ENDATA" or the end of the file; false when the file could not be read.
  bool read(InputUnit& in) {
    std::string line;
    if (!in.readLine(line)) return !in.hadReadError();
    if (line.compare(0, 4, "NAME") != 0) {
      io_.out.print("%s", " XXX  The first line is not a NAME line; it is read as data");
      if (!dataLine(line, in.lineNumber())) return true;
    }
    while (in.readLine(line) && !dataLine(line, in.lineNumber())) {
    }
    return !in.hadReadError();
  }

  void printCounts() const {
    io_.out.print(" No. of lines read      %7d   Lines ignored  %7d", counts_.linesRead, messages_.count());
    io_.out.print(" No. of basics specified%7d   Superbasics    %7d", counts_.basics, counts_.superbasics);
  }

  const Counts& counts() const { return counts_; }

  void commit() const {
    std::copy(hs_.begin(), hs_.end(), t_.hs.begin());
    std::copy(x_.begin(), x_.end(), t_.x.begin());
  }

 private:
  // One line; true at "ENDATA".
  bool dataLine(const std::string& line, long number) {
    if (line.compare(0, 4, "ENDA") == 0) return true;
    ++counts_.linesRead;
    char key[4], name[8], second[8];
    std::memset(key, ' ', sizeof key);
    const std::string_view keyField = fieldAt(line, 0, 4);
    if (!keyField.empty()) std::memcpy(key, keyField.data(), keyField.size());
    copyName(line, 4, name);
    copyName(line, 14, second);
    const std::string_view keyText(key, 4), nameText(name, 8), secondText(second, 8);

    const Key k = keyOf(keyText, format_);
    if (k == Key::kUnknown) return ignored(number, keyText, nameText, secondText);
    const bool swap = k == Key::kSwapLower || k == Key::kSwapUpper;
    const int32_t j = swap ? names_.column(nameText) : names_.variable(nameText, named_);
    if (j < 0) return notFound(number, nameText);
    named_[j] = 1;
    double value = 0.0;
    const Field valueField = readReal(fieldAt(line, 24, std::string::npos), value);
    if (valueField == Field::kInvalid) {
      std::string_view text = fieldAt(line, 24, 24);
      while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
      messages_.report(" XXX  Line %6ld  ignored, value not a number:  %.*s", number, static_cast<int>(text.size()),
                       text.data());
      return false;
    }
    if (swap && !swapIntoBasis(number, k, j, keyText, nameText, secondText)) return false;
    if (!swap) setState(k, j);
    if (valueField == Field::kNumber && isFiniteValue(value, io_.params.machine.infBound)) x_[j] = value;
    ++counts_.used;
    return false;
  }

  void setState(Key k, int32_t j) {
    static constexpr int32_t kStateOf[] = {kAtLower, kAtUpper, kSuperbasic, kBasic};
    hs_[j] = kStateOf[static_cast<int>(k)];
    if (k == Key::kSuperbasic) ++counts_.superbasics;
    if (k == Key::kBasic) ++counts_.basics;
  }

  // Column j enters the basis in place of the slack of the row named second, which must be
  // basic now and not the objective row's.
  bool swapIntoBasis(long number, Key k, int32_t j, std::string_view key, std::string_view name,
                     std::string_view second) {
    const int32_t row = names_.row(second);
    if (row < 0) return notFound(number, second);
    const size_t slack = static_cast<size_t>(t_.prob.n + row);
    if (row == t_.prob.objRow || hs_[slack] != kBasic) return ignored(number, key, name, second);
    hs_[j] = kBasic;
    ++counts_.basics;
    const bool atLower = k == Key::kSwapLower;
    hs_[slack] = atLower ? kAtLower : kAtUpper;
    const double bound = atLower ? t_.prob.lower[slack] : t_.prob.upper[slack];
    if (isFiniteValue(bound, io_.params.machine.infBound)) x_[slack] = bound;
    return true;
  }

  bool notFound(long number, std::string_view name) {
    messages_.report(" XXX  Line %6ld  --  name not found:  %.8s", number, name.data());
    return false;
  }

  bool ignored(long number, std::string_view key, std::string_view name, std::string_view second) {
    messages_.report(" XXX  Line %6ld  ignored:  %.4s%.8s  %.8s", number, key.data(), name.data(), second.data());
    return false;
  }

  const BasisFileChannel& io_;
  BasisTarget t_;
  Format format_;
  NameIndex names_;
  LineMessages messages_;
  std::vector<int32_t> hs_;
  std::vector<double> x_;
  std::vector<uint8_t> named_;  // variables named by a line so far
  Counts counts_;
};

bool targetFits(const BasisTarget& t) {
  const size_t nb = static_cast<size_t>(t.prob.nb());
  return t.hs.size() >= nb && t.x.size() >= nb && t.prob.lower.size() >= nb && t.prob.upper.size() >= nb;
}

BasisReadResult readNamed(const BasisFileChannel& io, int unit, InputUnit& in, BasisTarget t, Format format) {
  BasisReadResult result;
  io.out.both(" %s file to be input from file %3d", format == Format::kInsert ? "INSERT" : "LOAD", unit);
  if (!targetFits(t)) return result;
  NamedReader reader(io, t, format);
  const bool complete = reader.read(in);
  const std::string why = in.readErrorText();
  if (unit != io.params.cardReader) in.rewind();
  reader.printCounts();
  if (!complete) io.out.both(" XXX  The file could not be read to its end%s%s", why.empty() ? "" : ": ", why.c_str());
  if (!complete || reader.counts().used == 0) {
    io.out.both("%s", " XXX  The file is not used; the run starts without it");
    return result;
  }
  reader.commit();
  result.loaded = true;
  result.superbasics = reader.counts().superbasics;
  return result;
}

}  // namespace

BasisReadResult readInsert(const BasisFileChannel& io, int unit, InputUnit& in, BasisTarget target) {
  return readNamed(io, unit, in, target, Format::kInsert);
}

BasisReadResult readLoad(const BasisFileChannel& io, int unit, InputUnit& in, BasisTarget target) {
  return readNamed(io, unit, in, target, Format::kLoad);
}

}  // namespace kavro
