// The stand-in environment object: a few typed options, the log and status file, scratch
// names, the elapsed-time clock and the interrupt flag.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "qarn/qarn.h"

namespace {

using Value = std::variant<int, double, std::string>;

struct Option {
  const char* name;
  Value value;
};

bool sameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

}  // namespace

struct qevRec {
  std::vector<Option> options{{"DomLim", 0},          {"IterLim", 2000000000},        {"ResLim", 1000.0},
                              {"WorkSpace", 0.0},     {"WorkFactor", 1.0},            {"NameSysDir", std::string()},
                              {"ScrDir", std::string(".")}};
  std::vector<std::string> log, status;
  std::FILE* stream = nullptr;
  bool statusOpen = false;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  double fixedClock = -1.0;
  int terminate = 0;
  const volatile sig_atomic_t* watched = nullptr;

  Option* find(const char* name) {
    if (!name) return nullptr;
    for (Option& o : options)
      if (sameName(o.name, name)) return &o;
    return nullptr;
  }
  void toLog(const char* line) {
    log.emplace_back(line ? line : "");
    if (stream) {
      std::fprintf(stream, "%s\n", log.back().c_str());
      std::fflush(stream);
    }
  }
};

extern "C" {

int qevCreate(qevHandle_t* h) {
  if (!h) return 1;
  *h = new (std::nothrow) qevRec;
  return *h ? 0 : 1;
}

void qevFree(qevHandle_t* h) {
  if (!h) return;
  delete *h;
  *h = nullptr;
}

int qevGetIntOpt(qevHandle_t h, const char* name) {
  Option* o = h ? h->find(name) : nullptr;
  if (!o) return 0;
  if (auto* i = std::get_if<int>(&o->value)) return *i;
  if (auto* d = std::get_if<double>(&o->value)) return static_cast<int>(*d);
  return 0;
}

double qevGetDblOpt(qevHandle_t h, const char* name) {
  Option* o = h ? h->find(name) : nullptr;
  if (!o) return 0.0;
  if (auto* d = std::get_if<double>(&o->value)) return *d;
  if (auto* i = std::get_if<int>(&o->value)) return *i;
  return 0.0;
}

int qevGetStrOpt(qevHandle_t h, const char* name, char* buffer, int length) {
  Option* o = h ? h->find(name) : nullptr;
  auto* s = o ? std::get_if<std::string>(&o->value) : nullptr;
  if (!s || !buffer || length <= 0) return 1;
  const size_t n = std::min(s->size(), static_cast<size_t>(length) - 1);
  std::memcpy(buffer, s->data(), n);
  buffer[n] = '\0';
  return 0;
}

int qevSetIntOpt(qevHandle_t h, const char* name, int value) {
  Option* o = h ? h->find(name) : nullptr;
  if (!o || !std::holds_alternative<int>(o->value)) return 1;
  o->value = value;
  return 0;
}

int qevSetDblOpt(qevHandle_t h, const char* name, double value) {
  Option* o = h ? h->find(name) : nullptr;
  if (!o || !std::holds_alternative<double>(o->value) || std::isnan(value)) return 1;
  o->value = value;
  return 0;
}

int qevSetStrOpt(qevHandle_t h, const char* name, const char* value) {
  Option* o = h ? h->find(name) : nullptr;
  if (!o || !std::holds_alternative<std::string>(o->value)) return 1;
  o->value = std::string(value ? value : "");
  return 0;
}

int qevSetOptText(qevHandle_t h, const char* name, const char* value) {
  Option* o = h ? h->find(name) : nullptr;
  if (!o) return 1;
  if (!value) return 2;
  if (std::holds_alternative<std::string>(o->value)) {
    o->value = std::string(value);
    return 0;
  }
  char* end = nullptr;
  errno = 0;
  if (std::holds_alternative<int>(o->value)) {
    const long v = std::strtol(value, &end, 10);
    if (end == value || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX) return 2;
    o->value = static_cast<int>(v);
  } else {
    const double v = std::strtod(value, &end);
    if (end == value || *end != '\0' || std::isnan(v)) return 2;
    o->value = v;
  }
  return 0;
}

void qevLogStat(qevHandle_t h, const char* line) {
  if (!h) return;
  h->toLog(line);
  h->status.emplace_back(line ? line : "");
}

void qevLogStatNoC(qevHandle_t h, const char* line) {
  if (!h) return;
  h->toLog(line);
  if (h->statusOpen) h->status.emplace_back(line ? line : "");
}

void qevStatCon(qevHandle_t h) {
  if (h) h->statusOpen = true;
}

void qevStatCoff(qevHandle_t h) {
  if (h) h->statusOpen = false;
}

void qevLogStream(qevHandle_t h, FILE* stream) {
  if (h) h->stream = stream;
}

int qevLogLineCount(qevHandle_t h) { return h ? static_cast<int>(h->log.size()) : 0; }

const char* qevLogLine(qevHandle_t h, int index) {
  if (!h || index < 0 || static_cast<size_t>(index) >= h->log.size()) return "";
  return h->log[static_cast<size_t>(index)].c_str();
}

int qevStatusLineCount(qevHandle_t h) { return h ? static_cast<int>(h->status.size()) : 0; }

const char* qevStatusLine(qevHandle_t h, int index) {
  if (!h || index < 0 || static_cast<size_t>(index) >= h->status.size()) return "";
  return h->status[static_cast<size_t>(index)].c_str();
}

int qevGetScratchName(qevHandle_t h, const char* name, char* buffer, int length) {
  Option* o = h ? h->find("ScrDir") : nullptr;
  if (!o || !name || !buffer || length <= 0) return 1;
  const std::string& dir = std::get<std::string>(o->value);
  if (dir.empty()) return 1;
  const std::string path = dir + "/" + name;
  if (path.size() >= static_cast<size_t>(length)) return 1;
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return 0;
}

double qevTimeDiffStart(qevHandle_t h) {
  if (!h) return 0.0;
  if (h->fixedClock >= 0.0) return h->fixedClock;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - h->start).count();
}

void qevTimeReset(qevHandle_t h) {
  if (h) h->start = std::chrono::steady_clock::now();
}

void qevTestClockSet(qevHandle_t h, double seconds) {
  if (h) h->fixedClock = seconds;
}

int qevTerminateGet(qevHandle_t h) {
  if (!h) return 0;
  if (h->watched && *h->watched != 0) return 1;
  return h->terminate;
}

void qevTerminateSet(qevHandle_t h, int value) {
  if (h) h->terminate = value;
}

void qevTerminateWatch(qevHandle_t h, const volatile sig_atomic_t* flag) {
  if (h) h->watched = flag;
}

int qevSynchronizeOpt(qevHandle_t h, optHandle_t) { return h ? 0 : 1; }

}  // extern "C"
