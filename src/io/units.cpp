#include "io/units.hpp"

#include <unistd.h>

#include <vector>

#include "io/output_guard.hpp"

namespace kavro {

// ---------------------------------------------------------------- output

namespace {

// Cuts an output file where writing stopped; false where that is not possible (a device).
bool cutAtPosition(std::FILE* file) {
  std::fflush(file);
  const long end = std::ftell(file);
  return end >= 0 && ftruncate(fileno(file), end) == 0;
}

}  // namespace

struct UnitTable::Output {
  std::unique_ptr<OutputFile> file = std::make_unique<OutputFile>();
  long lines = 0;
  bool failureRecorded = false;  // the failure of `file` is in the table's list
};

UnitTable::UnitTable() = default;

UnitTable::~UnitTable() { closeOutputs(); }

void UnitTable::recordFailure(int unit, const std::string& text) {
  for (UnitFailure& f : failures_) {
    if (f.unit != unit) continue;
    ++f.times;
    return;
  }
  failures_.push_back({unit, text, 1});
}

const UnitFailure* UnitTable::failureOf(int unit) const {
  for (const UnitFailure& f : failures_)
    if (f.unit == unit) return &f;
  return nullptr;
}

UnitTable::Output& UnitTable::outputEntry(int unit) {
  std::unique_ptr<Output>& slot = outputs_[unit];
  if (!slot) slot = std::make_unique<Output>();
  return *slot;
}

// Keeps the first failure of the unit's current file; later writes to it are dropped.
bool UnitTable::noteFailure(int unit, Output& out) {
  if (!out.file->failed()) return false;
  if (!out.failureRecorded) recordFailure(unit, out.file->failure());
  out.failureRecorded = true;
  return true;
}

void UnitTable::closeOutput(int unit) {
  auto it = outputs_.find(unit);
  if (it == outputs_.end()) return;
  Output& out = *it->second;
  if (out.file->isOwned() && out.file->isOpen() && !out.file->isReplacement() && out.lines > 0)
    cutAtPosition(out.file->stream());
  out.file->close();
  noteFailure(unit, out);
  outputs_.erase(it);
}

void UnitTable::closeOutputs() {
  while (!outputs_.empty()) closeOutput(outputs_.begin()->first);
}

void UnitTable::connect(int unit, std::string path) {
  closeOutput(unit);
  inputs_.erase(unit);
  streams_.erase(unit);
  paths_[unit] = std::move(path);
}

void UnitTable::connectStream(int unit, std::FILE* stream, std::string name) {
  closeOutput(unit);
  paths_.erase(unit);
  if (name.empty()) name = "the stream of unit " + std::to_string(unit);
  streams_[unit] = {stream, std::move(name)};
}

std::string UnitTable::pathOf(int unit) const {
  if (auto it = paths_.find(unit); it != paths_.end()) return it->second;
  if (auto s = streams_.find(unit); s != streams_.end()) return s->second.second;
  return "fort." + std::to_string(unit);
}

bool UnitTable::isStream(int unit) const { return streams_.count(unit) != 0; }

FileIdentity UnitTable::identityOf(int unit) const {
  if (auto s = streams_.find(unit); s != streams_.end()) return identifyStream(s->second.first);
  return identifyPath(pathOf(unit));
}

void UnitTable::declareUse(FileUse use) { declared_.push_back(std::move(use)); }

UnitTable::Output* UnitTable::output(int unit) {
  if (unit <= 0) return nullptr;
  Output& out = outputEntry(unit);
  if (out.file->failed()) return nullptr;
  if (out.file->isOpen()) return &out;
  if (auto s = streams_.find(unit); s != streams_.end()) {
    out.file->attach(s->second.first, s->second.second);
    return &out;
  }
  if (out.file->openDirect(pathOf(unit))) return &out;
  noteFailure(unit, out);
  return nullptr;
}

void UnitTable::writeLine(int unit, std::string_view text) {
  Output* out = output(unit);
  if (!out) return;
  if (out->file->write(text) && out->file->write("\n")) ++out->lines;
  noteFailure(unit, *out);
}

void UnitTable::vprintf(int unit, const char* format, va_list args) {
  if (unit <= 0) return;
  char stackBuffer[512];
  va_list copy;
  va_copy(copy, args);
  const int len = std::vsnprintf(stackBuffer, sizeof stackBuffer, format, copy);
  va_end(copy);
  if (len < 0) return;
  if (static_cast<size_t>(len) < sizeof stackBuffer) {
    writeLine(unit, std::string_view(stackBuffer, static_cast<size_t>(len)));
    return;
  }
  std::vector<char> big(static_cast<size_t>(len) + 1);
  std::vsnprintf(big.data(), big.size(), format, args);
  writeLine(unit, std::string_view(big.data(), static_cast<size_t>(len)));
}

void UnitTable::printf(int unit, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(unit, format, args);
  va_end(args);
}

// Each save starts a new file of its own, so that a failure of one save does not silence the
// next; the unit's failure is listed once, with the number of times.
void UnitTable::beginSave(int unit) {
  if (unit <= 0) return;
  Output& out = outputEntry(unit);
  if (streams_.count(unit)) return;  // written as it comes
  out.file->close();
  noteFailure(unit, out);
  out.file = std::make_unique<OutputFile>();
  out.failureRecorded = false;
  out.lines = 0;
  if (!out.file->openReplacement(pathOf(unit))) noteFailure(unit, out);
}

bool UnitTable::commitSave(int unit) {
  auto it = outputs_.find(unit);
  if (unit <= 0 || it == outputs_.end()) return true;
  Output& out = *it->second;
  if (!out.file->failed()) out.file->commit();
  return !noteFailure(unit, out);
}

// The file is cut where the last write ended and the next write starts over its first byte:
// cheaper than reopening it. A save in progress is committed instead.
void UnitTable::rewind(int unit) {
  auto it = outputs_.find(unit);
  if (it != outputs_.end() && it->second->file->isOpen()) {
    Output& out = *it->second;
    if (out.file->isReplacement()) {
      commitSave(unit);
    } else if (out.file->flush() && out.file->isOwned()) {
      if (cutAtPosition(out.file->stream())) std::fseek(out.file->stream(), 0, SEEK_SET);
      out.lines = 0;
    }
    noteFailure(unit, out);
  }
  auto in = inputs_.find(unit);
  if (in != inputs_.end()) in->second->rewind();
}

void UnitTable::flush(int unit) {
  auto it = outputs_.find(unit);
  if (it == outputs_.end() || !it->second->file->isOpen()) return;
  it->second->file->flush();
  noteFailure(unit, *it->second);
}

void UnitTable::flushAll() {
  for (auto& [unit, out] : outputs_) flush(unit);
}

long UnitTable::linesWritten(int unit) const {
  auto it = outputs_.find(unit);
  return it == outputs_.end() ? 0 : it->second->lines;
}

// ---------------------------------------------------------------- input

InputUnit* UnitTable::openInput(int unit) {
  if (unit <= 0) return nullptr;
  auto it = inputs_.find(unit);
  if (it != inputs_.end()) return it->second->isOpen() ? it->second.get() : nullptr;
  auto in = std::make_unique<InputUnit>(pathOf(unit), maxLineLength_, stopCheck_);
  if (!in->isOpen()) {
    inputErrors_[unit] = in->openError();
    return nullptr;
  }
  inputErrors_.erase(unit);
  InputUnit* raw = in.get();
  inputs_[unit] = std::move(in);
  return raw;
}

InputUnit* UnitTable::input(int unit) {
  auto it = inputs_.find(unit);
  return it == inputs_.end() ? nullptr : it->second.get();
}

void UnitTable::closeInput(int unit) { inputs_.erase(unit); }

std::string UnitTable::inputError(int unit) const {
  auto it = inputErrors_.find(unit);
  return it == inputErrors_.end() ? std::string() : it->second;
}

// ---------------------------------------------------------------- report channels

void ReportChannels::print(const char* format, ...) const {
  if (!hasPrint()) return;
  va_list args;
  va_start(args, format);
  units->vprintf(printUnit, format, args);
  va_end(args);
}

void ReportChannels::summary(const char* format, ...) const {
  if (!hasSummary()) return;
  va_list args;
  va_start(args, format);
  units->vprintf(summaryUnit, format, args);
  va_end(args);
}

void ReportChannels::both(const char* format, ...) const {
  va_list args;
  if (hasPrint()) {
    va_start(args, format);
    units->vprintf(printUnit, format, args);
    va_end(args);
  }
  if (hasSummary() && summaryUnit != printUnit) {
    va_start(args, format);
    units->vprintf(summaryUnit, format, args);
    va_end(args);
  }
}

void ReportChannels::printLine(std::string_view text) const {
  if (hasPrint()) units->writeLine(printUnit, text);
}

void ReportChannels::summaryLine(std::string_view text) const {
  if (hasSummary()) units->writeLine(summaryUnit, text);
}

std::string printableText(std::string_view text) {
  std::string s(text);
  for (char& c : s) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7f) c = '?';
  }
  return s;
}

}  // namespace kavro
