#include "io/units.hpp"

#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <vector>

namespace kavro {

// ---------------------------------------------------------------- input

InputUnit::InputUnit(std::string path) : path_(std::move(path)) {
  gzFile f = gzopen(path_.c_str(), "rb");
  if (f) gzbuffer(f, 1 << 16);
  file_ = f;
}

InputUnit::~InputUnit() {
  if (file_) gzclose(static_cast<gzFile>(file_));
}

// Reads the next chunk of the file into the buffer; false when nothing more can be read.
bool InputUnit::fill() {
  if (atEnd_ || !file_) return false;
  gzFile f = static_cast<gzFile>(file_);
  buffer_.erase(0, next_);
  next_ = 0;
  char chunk[1 << 15];
  const int got = gzread(f, chunk, sizeof chunk);
  if (got < 0) {
    readError_ = true;
    atEnd_ = true;
    return false;
  }
  if (got == 0) {
    int err = Z_OK;
    gzerror(f, &err);
    // A compressed file that ends in the middle of its data is a read error, not a clean end.
    if (err != Z_OK && err != Z_STREAM_END) readError_ = true;
    atEnd_ = true;
    return false;
  }
  buffer_.append(chunk, static_cast<size_t>(got));
  return true;
}

bool InputUnit::readLine(std::string& line) {
  line.clear();
  if (!file_) return false;
  for (;;) {
    const size_t eol = buffer_.find('\n', next_);
    if (eol != std::string::npos) {
      line.assign(buffer_, next_, eol - next_);
      next_ = eol + 1;
      break;
    }
    if (!fill()) {
      if (next_ >= buffer_.size()) return false;
      line.assign(buffer_, next_, std::string::npos);
      next_ = buffer_.size();
      break;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  ++lineNumber_;
  return true;
}

void InputUnit::rewind() {
  if (file_) gzrewind(static_cast<gzFile>(file_));
  lineNumber_ = 0;
  readError_ = false;
  atEnd_ = false;
  buffer_.clear();
  next_ = 0;
}

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
  std::FILE* file = nullptr;
  bool owned = false;
  long lines = 0;
  std::string path;
};

UnitTable::UnitTable() = default;

UnitTable::~UnitTable() {
  while (!outputs_.empty()) closeOutput(outputs_.begin()->first);
}

void UnitTable::closeOutput(int unit) {
  auto it = outputs_.find(unit);
  if (it == outputs_.end()) return;
  Output& out = *it->second;
  if (out.owned && out.file) {
    if (out.lines > 0) cutAtPosition(out.file);
    std::fclose(out.file);
  } else if (out.file) {
    std::fflush(out.file);
  }
  outputs_.erase(it);
}

void UnitTable::connect(int unit, std::string path) {
  closeOutput(unit);
  inputs_.erase(unit);
  streams_.erase(unit);
  paths_[unit] = std::move(path);
}

void UnitTable::connectStream(int unit, std::FILE* stream) {
  closeOutput(unit);
  paths_.erase(unit);
  streams_[unit] = stream;
}

std::string UnitTable::pathOf(int unit) const {
  auto it = paths_.find(unit);
  if (it != paths_.end()) return it->second;
  return "fort." + std::to_string(unit);
}

bool UnitTable::isStream(int unit) const { return streams_.count(unit) != 0; }

UnitTable::Output* UnitTable::output(int unit) {
  if (unit <= 0) return nullptr;
  auto it = outputs_.find(unit);
  if (it != outputs_.end()) {
    Output* out = it->second.get();
    return out->file ? out : nullptr;
  }
  auto out = std::make_unique<Output>();
  auto s = streams_.find(unit);
  if (s != streams_.end()) {
    out->file = s->second;
    out->owned = false;
  } else {
    out->path = pathOf(unit);
    out->file = std::fopen(out->path.c_str(), "w");
    out->owned = true;
  }
  Output* raw = out.get();
  outputs_[unit] = std::move(out);
  return raw->file ? raw : nullptr;
}

void UnitTable::writeLine(int unit, std::string_view text) {
  Output* out = output(unit);
  if (!out) return;
  std::fwrite(text.data(), 1, text.size(), out->file);
  std::fputc('\n', out->file);
  ++out->lines;
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

// The file is cut where the last write ended and the next write starts over its first byte:
// cheaper than reopening it, which matters for files saved every few iterations.
void UnitTable::rewind(int unit) {
  auto it = outputs_.find(unit);
  if (it != outputs_.end() && it->second->file) {
    Output& out = *it->second;
    std::fflush(out.file);
    if (out.owned) {
      if (cutAtPosition(out.file)) std::fseek(out.file, 0, SEEK_SET);
      out.lines = 0;
    }
  }
  auto in = inputs_.find(unit);
  if (in != inputs_.end()) in->second->rewind();
}

void UnitTable::flush(int unit) {
  auto it = outputs_.find(unit);
  if (it != outputs_.end() && it->second->file) std::fflush(it->second->file);
}

void UnitTable::flushAll() {
  for (auto& [unit, out] : outputs_)
    if (out->file) std::fflush(out->file);
}

long UnitTable::linesWritten(int unit) const {
  auto it = outputs_.find(unit);
  return it == outputs_.end() ? 0 : it->second->lines;
}

InputUnit* UnitTable::openInput(int unit) {
  if (unit <= 0) return nullptr;
  auto it = inputs_.find(unit);
  if (it != inputs_.end()) return it->second->isOpen() ? it->second.get() : nullptr;
  auto in = std::make_unique<InputUnit>(pathOf(unit));
  if (!in->isOpen()) return nullptr;
  InputUnit* raw = in.get();
  inputs_[unit] = std::move(in);
  return raw;
}

InputUnit* UnitTable::input(int unit) {
  auto it = inputs_.find(unit);
  return it == inputs_.end() ? nullptr : it->second.get();
}

void UnitTable::closeInput(int unit) { inputs_.erase(unit); }

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

}  // namespace kavro
