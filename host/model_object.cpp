// Model object: builder, view set-up and queries.

#include "model_object.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Copies text into a caller's buffer of the given length, always terminated.
void copyText(const std::string& text, char* buffer, int length) {
  if (!buffer || length <= 0) return;
  const size_t n = std::min(text.size(), static_cast<size_t>(length) - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// Permutation check: distinct indices in [base, base + limit).
bool validOrder(const int* order, int count, int base, int limit, std::vector<int>& out) {
  if (count < 0 || count > limit || (count > 0 && !order)) return false;
  std::vector<char> seen(static_cast<size_t>(limit), 0);
  out.assign(static_cast<size_t>(count), 0);
  for (int k = 0; k < count; ++k) {
    const int i = order[k] - base;
    if (i < 0 || i >= limit || seen[static_cast<size_t>(i)]) return false;
    seen[static_cast<size_t>(i)] = 1;
    out[static_cast<size_t>(k)] = i;
  }
  return true;
}

int64_t countRowEntries(qmoHandle_t h, bool nonlinearOnly) {
  int64_t count = 0;
  for (int k = 0; k < h->viewRows(); ++k)
    for (const auto& e : h->equs[static_cast<size_t>(h->hostRow(k))].entries)
      if (!nonlinearOnly || e.nonlinear) ++count;
  return count;
}

int clampInt(int64_t v) { return static_cast<int>(std::min<int64_t>(v, INT32_MAX)); }

}  // namespace

int qmoRec::modelType() const {
  if (fixedModelType != 0) return fixedModelType;
  if (!hasObjective) return qmoProcCNS;
  auto nl = [](const Entry& e) { return e.nonlinear; };
  if (std::any_of(objective.begin(), objective.end(), nl)) return qmoProcNLP;
  for (const Equ& q : equs)
    if (std::any_of(q.entries.begin(), q.entries.end(), nl)) return qmoProcNLP;
  return qmoProcLP;
}

double qmoRec::reported(double bound) const {
  if (bound >= 1.0e20) return pinf;
  if (bound <= -1.0e20) return minf;
  return bound;
}

extern "C" {

int qmoCreate(qmoHandle_t* h, qevHandle_t env) {
  if (!h) return 1;
  *h = new (std::nothrow) qmoRec;
  if (!*h) return 1;
  (*h)->env = env;
  return 0;
}

void qmoFree(qmoHandle_t* h) {
  if (!h) return;
  delete *h;
  *h = nullptr;
}

// ---- builder

int qmoAddVar(qmoHandle_t h, const char* name, double lower, double level, double upper, int basisStatus) {
  if (!h || std::isnan(lower) || std::isnan(level) || std::isnan(upper) || lower > upper) return -1;
  if (h->vars.size() >= static_cast<size_t>(INT32_MAX)) return -1;
  h->vars.push_back({name ? name : "", lower, level, upper, basisStatus});
  h->varResult.emplace_back();
  if (h->customVarOrder) {
    h->varOrder.push_back(static_cast<int>(h->vars.size()) - 1);
    h->varOfHost.push_back(static_cast<int>(h->varOrder.size()) - 1);
  }
  return static_cast<int>(h->vars.size()) - 1;
}

int qmoAddEqu(qmoHandle_t h, const char* name, int type, double rhs, double level, double marginal,
              int basisStatus) {
  if (!h || type < qmoEquE || type > qmoEquB || std::isnan(rhs) || std::isinf(rhs) || std::isnan(level) ||
      std::isnan(marginal))
    return -1;
  qmoRec::Equ q;
  q.name = name ? name : "";
  q.type = type;
  q.rhs = rhs;
  q.level = level;
  q.marginal = marginal;
  q.basis = basisStatus;
  h->equs.push_back(std::move(q));
  h->equResult.emplace_back();
  if (h->customEquOrder) h->equOrder.push_back(static_cast<int>(h->equs.size()) - 1);
  return static_cast<int>(h->equs.size()) - 1;
}

int qmoAddEntry(qmoHandle_t h, int row, int column, double value, int nonlinear) {
  if (!h || column < 0 || static_cast<size_t>(column) >= h->vars.size() || row < -1 ||
      (row >= 0 && static_cast<size_t>(row) >= h->equs.size()) || !std::isfinite(value))
    return 1;
  auto& list = row < 0 ? h->objective : h->equs[static_cast<size_t>(row)].entries;
  for (const auto& e : list)
    if (e.column == column) return 1;
  list.push_back({column, value, nonlinear != 0});
  return 0;
}

int qmoSetObjective(qmoHandle_t h, int hasObjective, int sense, double constant) {
  if (!h || !std::isfinite(constant)) return 1;
  h->hasObjective = hasObjective != 0;
  h->sense = sense;
  h->objConstant = constant;
  return 0;
}

int qmoSetModelType(qmoHandle_t h, int type) {
  if (!h) return 1;
  h->fixedModelType = type;
  return 0;
}

int qmoSetHaveBasis(qmoHandle_t h, int haveBasis) {
  if (!h) return 1;
  h->haveBasis = haveBasis;
  return 0;
}

int qmoSetOptFileName(qmoHandle_t h, const char* path) {
  if (!h) return 1;
  h->optFile = path ? path : "";
  return 0;
}

// ---- view set-up

int qmoObjStyleSet(qmoHandle_t h, int style) { return failing(h, __func__) || style != 2; }
int qmoObjReformSet(qmoHandle_t h, int reform) { return failing(h, __func__) || reform != 1; }

int qmoIndexBaseSet(qmoHandle_t h, int base) {
  if (failing(h, __func__) || (base != 0 && base != 1)) return 1;
  h->base = base;
  return 0;
}

int qmoPinfSet(qmoHandle_t h, double value) {
  if (failing(h, __func__)) return 1;
  h->pinf = value;
  return 0;
}

int qmoMinfSet(qmoHandle_t h, double value) {
  if (failing(h, __func__)) return 1;
  h->minf = value;
  return 0;
}

int qmoSetRvVarPermutation(qmoHandle_t h, const int* order, int count) {
  if (failing(h, __func__)) return 1;
  const int n = static_cast<int>(h->vars.size());
  std::vector<int> out;
  if (count != n || !validOrder(order, count, h->base, n, out)) return 1;
  h->varOrder = std::move(out);
  h->varOfHost.assign(static_cast<size_t>(n), -1);
  for (int k = 0; k < n; ++k) h->varOfHost[static_cast<size_t>(h->varOrder[static_cast<size_t>(k)])] = k;
  h->customVarOrder = true;
  return 0;
}

int qmoSetRvEquPermutation(qmoHandle_t h, const int* order, int count) {
  if (failing(h, __func__)) return 1;
  std::vector<int> out;
  if (!validOrder(order, count, h->base, static_cast<int>(h->equs.size()), out)) return 1;
  h->equOrder = std::move(out);
  h->customEquOrder = true;
  return 0;
}

int qmoSetNRowPerm(qmoHandle_t h) {
  if (failing(h, __func__)) return 1;
  std::vector<int> kept;
  for (int k = 0; k < h->viewRows(); ++k)
    if (h->equs[static_cast<size_t>(h->hostRow(k))].type != qmoEquN) kept.push_back(h->hostRow(k));
  h->equOrder = std::move(kept);
  h->customEquOrder = true;
  return 0;
}

// ---- queries

int qmoN(qmoHandle_t h) { return h ? h->viewColumns() : 0; }
int qmoM(qmoHandle_t h) { return h ? h->viewRows() : 0; }
int64_t qmoNZ64(qmoHandle_t h) {
  if (!h) return 0;
  return h->reportNz >= 0 ? h->reportNz : countRowEntries(h, false);
}
int qmoNZ(qmoHandle_t h) { return h ? clampInt(countRowEntries(h, false)) : 0; }
int64_t qmoNLNZ64(qmoHandle_t h) {
  if (!h) return 0;
  return h->reportNlnz >= 0 ? h->reportNlnz : countRowEntries(h, true);
}
int qmoNLNZ(qmoHandle_t h) { return h ? clampInt(countRowEntries(h, true)) : 0; }

int qmoObjNLNZ(qmoHandle_t h) {
  if (!h || !h->hasObjective) return 0;
  return static_cast<int>(std::count_if(h->objective.begin(), h->objective.end(), [](auto& e) { return e.nonlinear; }));
}

int qmoNLM(qmoHandle_t h) {
  if (!h) return 0;
  int count = 0;
  for (int k = 0; k < h->viewRows(); ++k) {
    const auto& entries = h->equs[static_cast<size_t>(h->hostRow(k))].entries;
    if (std::any_of(entries.begin(), entries.end(), [](auto& e) { return e.nonlinear; })) ++count;
  }
  return count;
}

int qmoNLN(qmoHandle_t h) { return h ? clampInt(countRowEntries(h, true) + qmoObjNLNZ(h)) : 0; }
int qmoModelType(qmoHandle_t h) { return h ? h->modelType() : 0; }
int qmoSense(qmoHandle_t h) { return h ? h->sense : 0; }
double qmoObjConst(qmoHandle_t h) { return h ? h->objConstant : 0.0; }
int qmoHaveBasis(qmoHandle_t h) { return h ? h->haveBasis : 0; }
int qmoOptFile(qmoHandle_t h) { return h && !h->optFile.empty() ? 1 : 0; }

int qmoNameOptFile(qmoHandle_t h, char* buffer, int length) {
  if (failing(h, __func__)) return 1;
  copyText(h->optFile, buffer, length);
  return 0;
}

qevHandle_t qmoEnvironment(qmoHandle_t h) { return h ? h->env : nullptr; }

int qmoTestReportNZ64(qmoHandle_t h, int64_t nz, int64_t nlnz) {
  if (!h) return 1;
  h->reportNz = nz;
  h->reportNlnz = nlnz;
  return 0;
}

int qmoTestFailCall(qmoHandle_t h, const char* functionName) {
  if (!h) return 1;
  h->failing = functionName ? functionName : "";
  return 0;
}

int qmoHostN(qmoHandle_t h) { return h ? static_cast<int>(h->vars.size()) : 0; }
int qmoHostM(qmoHandle_t h) { return h ? static_cast<int>(h->equs.size()) : 0; }

int qmoVarName(qmoHandle_t h, int column, char* buffer, int length) {
  if (!h || column < 0 || static_cast<size_t>(column) >= h->vars.size()) return 1;
  copyText(h->vars[static_cast<size_t>(column)].name, buffer, length);
  return 0;
}

int qmoEquName(qmoHandle_t h, int row, char* buffer, int length) {
  if (!h || row < 0 || static_cast<size_t>(row) >= h->equs.size()) return 1;
  copyText(h->equs[static_cast<size_t>(row)].name, buffer, length);
  return 0;
}

}  // extern "C"
