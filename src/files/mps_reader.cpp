#include "files/mps_reader.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>

#include "files/fortran_format.hpp"
#include "files/mps_reader_impl.hpp"

namespace kavro {

namespace {

// Records are echoed in the listing and in messages up to this length.
constexpr size_t kShownRecordLength = 160;

std::string vformat(const char* format, va_list args) {
  char buffer[512];
  va_list copy;
  va_copy(copy, args);
  const int len = std::vsnprintf(buffer, sizeof buffer, format, copy);
  va_end(copy);
  if (len < 0) return {};
  if (static_cast<size_t>(len) < sizeof buffer) return std::string(buffer, static_cast<size_t>(len));
  std::string big(static_cast<size_t>(len) + 1, '\0');
  std::vsnprintf(big.data(), big.size(), format, args);
  big.resize(len);
  return big;
}

int sectionOrder(MpsSection s) { return static_cast<int>(s); }

bool isDataRecord(const std::string& line) { return line.empty() || line[0] == ' ' || line[0] == '\t'; }

bool isBlankRecord(const std::string& line) { return line.find_first_not_of(" \t\r\v\f") == std::string::npos; }

int64_t limitOrDefault(int64_t limit, int64_t fallback) { return limit >= 1 ? limit : fallback; }

}  // namespace

std::string_view trimName(std::string_view name) {
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return name;
}

// ---------------------------------------------------------------- set-up and record loop

MpsReader::MpsReader(Parameters& params, InputUnit& in, const ReportChannels& out, bool freeFormat,
                     MpsIntegers integers)
    : params_(params), in_(in), out_(out), free_(freeFormat), integers_(integers) {
  rowLimit_ = limitOrDefault(params.rowLimit, 100);
  columnLimit_ = limitOrDefault(params.columnLimit, 3 * rowLimit_);
  elementsLimit_ = limitOrDefault(params.elementsLimit, 5 * columnLimit_);
  infBound_ = params.machine.infBound;
  nNonlinCons_ = std::max(0, params.nonlinearConstraints);
  nNonlinJacVars_ = nNonlinCons_ > 0 ? std::max(0, params.nonlinearJacobianVars) : 0;
  if (nNonlinJacVars_ == 0) nNonlinCons_ = 0;
  rowTable_ = NameTable(rowLimit_);
  columnTable_ = NameTable(columnLimit_);
  colStart_.push_back(0);
}

MpsResult MpsReader::read() {
  out_.printLine("");
  out_.printLine(" MPS file");
  out_.printLine(" --------");
  bool sawAnyRecord = false;
  while (!done_ && in_.readLine(line_)) {
    if (lineNumber() == 1) stripByteOrderMark(line_);
    sawAnyRecord = true;
    const bool data = isDataRecord(line_);
    if (!data || lineNumber() <= params_.listLimit)
      out_.print("%7ld    %s", lineNumber(),
                 printableText(std::string_view(line_).substr(0, kShownRecordLength)).c_str());
    if (!data) {
      if (line_[0] != '*') sectionCard(sectionOfCard(line_));
    } else if (!isBlankRecord(line_)) {
      dataRecord();
    }
  }
  if (!done_) endOfFile(sawAnyRecord);
  if (!storage_) checkBoundsOrder();
  if (!storage_) checkIntegerColumns();
  printSummary();
  return result();
}

void MpsReader::sectionCard(MpsSection s) {
  if (!sawName_) {
    if (s != MpsSection::kName) {
      reportGarbage();
      return;
    }
    sawName_ = true;
    section_ = MpsSection::kName;
    // The problem name is in columns 15-22; a name written elsewhere on the card is taken too.
    if (!free_) problemName_ = std::string(fixedField(line_, 15, 22));
    if (problemName_.empty()) {
      splitFields(line_, fields_);
      if (fields_.size() >= 2) problemName_ = std::string(free_ ? fields_[1] : fields_[1].substr(0, 8));
    }
    return;
  }
  if (s == MpsSection::kUnknown) {
    recordError(kSectionCard, " XXXX  Unknown section card at line");
    skipping_ = true;
    return;
  }
  if (sectionOrder(s) <= sectionOrder(section_)) {
    recordError(kSectionCard, " XXXX  Section out of order at line");
    skipping_ = true;
    return;
  }
  leaveSection();
  if (done_) return;
  reportSkippedSections(section_, s);
  enterSection(s);
}

// Records before the NAME card (a SPECS file's remainder, a mail header, ...) are skipped with
// one warning.
void MpsReader::reportGarbage() {
  if (messageCount_[kGarbage]++ == 0) note(" XXXX  Garbage before NAME card");
}

void MpsReader::enterSection(MpsSection s) {
  section_ = s;
  skipping_ = false;
  if (s == MpsSection::kEndata) done_ = true;
}

void MpsReader::leaveSection() {
  switch (section_) {
    case MpsSection::kRows: endRows(); break;
    case MpsSection::kColumns: endColumns(); break;
    case MpsSection::kRhs: endRhs(); break;
    default: break;
  }
}

// The sections strictly between `from` and `to` were never started.
void MpsReader::reportSkippedSections(MpsSection from, MpsSection to) {
  for (int k = sectionOrder(from) + 1; k < sectionOrder(to); ++k) {
    switch (static_cast<MpsSection>(k)) {
      case MpsSection::kRows: fatal(" XXXX  ROWS card not found"); break;
      case MpsSection::kColumns: fatal(" XXXX  COLUMNS card not found"); break;
      case MpsSection::kRhs:
        note(" XXXX  RHS card not found");
        endRhs();
        break;
      default: break;
    }
  }
}

void MpsReader::dataRecord() {
  if (!sawName_) {
    reportGarbage();
    return;
  }
  if (skipping_) return;
  if (section_ == MpsSection::kName) {
    recordError(kSectionCard, " XXXX  Data record outside a section at line");
    return;
  }
  if (!free_ && line_.size() > 61 && line_.find_first_not_of(' ', 61) != std::string::npos)
    warning(kLongRecord, " XXXX  Characters beyond column 61 ignored at line%7ld", lineNumber());
  MpsCard card;
  if (!splitCard(line_, section_, free_, card, fields_)) {
    recordError(kFieldCount, " XXXX  Wrong number of fields at line");
    return;
  }
  switch (section_) {
    case MpsSection::kRows: rowRecord(card); break;
    case MpsSection::kColumns: columnRecord(card); break;
    case MpsSection::kRhs: rhsRecord(card); break;
    case MpsSection::kRanges: rangesRecord(card); break;
    case MpsSection::kBounds: boundsRecord(card); break;
    default: break;
  }
}

// A file that could not be read to its end is reported as such, not as missing its sections.
void MpsReader::endOfFile(bool sawAnyRecord) {
  if (in_.hadReadError()) {
    fatal(" XXXX  Read error in the MPS file after line%7ld: %s", lineNumber(), in_.readErrorText().c_str());
    return;
  }
  if (!sawAnyRecord) {
    fatal(" XXXX  The MPS file is empty");
    return;
  }
  if (!sawName_) {
    fatal(" XXXX  NAME card not found");
    return;
  }
  leaveSection();
  if (done_) return;  // stopped by a limit
  reportSkippedSections(section_, MpsSection::kEndata);
  fatal(" XXXX  ENDATA card not found");
}

void MpsReader::checkBoundsOrder() {
  for (size_t j = 0; j < colLower_.size(); ++j)
    if (colLower_[j] > colUpper_[j])
      error(kBackToFront, " XXXX  Bounds back to front on column %s", columnNames_[j].c_str());
}

// The optimizer treats every column as continuous: a file with integer columns describes another
// problem, whose optimum the run would not find, unless the caller asked for the relaxation.
void MpsReader::checkIntegerColumns() {
  if (nInteger_ == 0) return;
  if (integers_ == MpsIntegers::kRelax) {
    note(" ===>  Note:  %d integer columns are taken as continuous: the problem solved is the continuous relaxation",
         nInteger_);
    return;
  }
  fatal(" XXXX  This file describes an integer program; KAVRO solves continuous problems");
  note(" XXXX  (%d integer columns, marked by MARKER cards or by BV, LI or UI bounds)", nInteger_);
}

void MpsReader::printSummary() {
  if (errors_ > 0) out_.both(" XXXX  Total no. of errors in MPS file%8d", errors_);
  out_.both("%s", "");
  out_.both(" No. of INITIAL  bounds  specified%9d", nInitial_);
  out_.both(" No. of superbasics specified     %9d", nSuperbasics_);
  out_.both(" No. of Jacobian entries specified%9d", nJacobian_);
  out_.both(" No. of rejected coefficients     %9d", nRejected_);
  out_.both(" Length of row-name hash table    %9lld", static_cast<long long>(rowTable_.length()));
  out_.both(" Collisions during table lookup   %9lld", static_cast<long long>(rowTable_.collisions()));
  if (storage_) out_.both(" EXIT -- not enough storage to read the MPS file");
  else if (errors_ > 0) out_.both(" EXIT -- fatal errors in the MPS file");
}

MpsResult MpsReader::result() {
  MpsResult r;
  r.exitCode = storage_ ? kNoStorageForMps : (errors_ > 0 ? kMpsFatalErrors : kOptimal);
  r.freeFormat = free_;
  Problem& p = r.problem;
  p.m = static_cast<int32_t>(rowNames_.size());
  p.n = static_cast<int32_t>(columnNames_.size());
  // A column left open by a stop keeps the matrix consistent with n.
  colStart_.resize(static_cast<size_t>(p.n) + 1, static_cast<int32_t>(value_.size()));
  p.nNonlinCons = std::min(nNonlinCons_, p.m);
  p.nNonlinJacVars = std::min(nNonlinJacVars_, p.n);
  p.nNonlinObjVars = std::min(std::max(0, params_.nonlinearObjectiveVars), p.n);
  p.objRow = objRow_;
  p.objConstant = objConstant_;
  p.names = {problemName_, params_.objectiveName, params_.rhsName, params_.rangesName, params_.boundsName};
  for (std::string& name : p.names)
    if (name.size() < 8) name.resize(8, ' ');
  p.a.value = std::move(value_);
  p.a.row = std::move(rowIndex_);
  p.a.colStart = std::move(colStart_);
  slackLower_.resize(p.m, -infBound_);
  slackUpper_.resize(p.m, infBound_);
  p.lower = std::move(colLower_);
  p.lower.insert(p.lower.end(), slackLower_.begin(), slackLower_.end());
  p.upper = std::move(colUpper_);
  p.upper.insert(p.upper.end(), slackUpper_.begin(), slackUpper_.end());
  p.rowNames = std::move(rowNames_);
  p.columnNames = std::move(columnNames_);

  r.start.resizeFor(p);
  for (size_t j = 0; j < x_.size() && j < static_cast<size_t>(p.n); ++j) {
    r.start.x[j] = x_[j];
    r.start.hs[j] = hs_[j];
  }
  for (size_t i = 0; i < pi_.size() && i < static_cast<size_t>(p.m); ++i) r.start.pi[i] = pi_[i];
  r.start.ns = nSuperbasics_;
  r.integerColumn = std::move(integer_);
  r.integerColumn.resize(p.n, 0);
  r.nIntegerColumns = nInteger_;
  r.nErrors = errors_;
  r.nInitialBounds = nInitial_;
  r.nSuperbasics = nSuperbasics_;
  r.nJacobianEntries = nJacobian_;
  r.nRejected = nRejected_;
  r.hashTableLength = rowTable_.length();
  r.hashCollisions = rowTable_.collisions();
  return r;
}

// ---------------------------------------------------------------- messages

bool MpsReader::allow(Message kind) { return ++messageCount_[kind] <= params_.errorMessageLimit; }

// Names and records may hold any bytes; the messages show control bytes as "?".
void MpsReader::emit(const char* format, va_list args) {
  out_.both("%s", printableText(vformat(format, args)).c_str());
}

void MpsReader::error(Message kind, const char* format, ...) {
  ++errors_;
  if (!allow(kind)) return;
  va_list args;
  va_start(args, format);
  emit(format, args);
  va_end(args);
}

void MpsReader::warning(Message kind, const char* format, ...) {
  if (!allow(kind)) return;
  va_list args;
  va_start(args, format);
  emit(format, args);
  va_end(args);
}

void MpsReader::fatal(const char* format, ...) {
  ++errors_;
  va_list args;
  va_start(args, format);
  emit(format, args);
  va_end(args);
}

void MpsReader::note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(format, args);
  va_end(args);
}

void MpsReader::recordError(Message kind, const char* text) {
  const std::string_view record = recordText();
  error(kind, "%s%7ld    %.*s", text, lineNumber(), static_cast<int>(record.size()), record.data());
}

std::string_view MpsReader::recordText() const { return std::string_view(line_).substr(0, kShownRecordLength); }

// ---------------------------------------------------------------- entry points

MpsResult readMpsFile(Parameters& params, InputUnit& in, const ReportChannels& out, MpsFormat format,
                      MpsIntegers integers) {
  try {
    bool freeFormat = format == MpsFormat::kFree;
    if (format == MpsFormat::kAutomatic) freeFormat = scanMpsDimensions(in, MpsFormat::kAutomatic).freeFormat;
    MpsReader reader(params, in, out, freeFormat, integers);
    return reader.read();
  } catch (const std::bad_alloc&) {
    out.both(" EXIT -- not enough storage to read the MPS file");
    MpsResult r;
    r.exitCode = kNoStorageForMps;
    return r;
  }
}

}  // namespace kavro
