// Model object: row and column data of the view, and the results written back.

#include <cmath>
#include <cstring>
#include <string>

#include "model_object.hpp"

namespace {

template <class Get>
int fillColumns(qmoHandle_t h, const char* function, double* out, Get get) {
  if (failing(h, function) || (!out && h->viewColumns() > 0)) return 1;
  for (int k = 0; k < h->viewColumns(); ++k) out[k] = get(h->vars[static_cast<size_t>(h->hostColumn(k))]);
  return 0;
}

template <class Get>
int fillRows(qmoHandle_t h, const char* function, double* out, Get get) {
  if (failing(h, function) || (!out && h->viewRows() > 0)) return 1;
  for (int k = 0; k < h->viewRows(); ++k) out[k] = get(h->equs[static_cast<size_t>(h->hostRow(k))]);
  return 0;
}

// Entries of a host row (or the objective) in view columns, counted from the index base.
int fillSparse(qmoHandle_t h, const std::vector<qmoRec::Entry>& entries, int* columns, double* values,
               int* nonlinear, int* nz, int* nlnz) {
  if (!columns || !values || !nonlinear || !nz || !nlnz) return 1;
  int count = 0, nl = 0;
  for (const auto& e : entries) {
    const int view = h->viewColumn(e.column);
    if (view < 0) continue;
    columns[count] = view + h->base;
    values[count] = e.value;
    nonlinear[count] = e.nonlinear ? 1 : 0;
    nl += e.nonlinear ? 1 : 0;
    ++count;
  }
  *nz = count;
  *nlnz = nl;
  return 0;
}

const char* typeText(int type) {
  static const char* const kText[] = {"=E=", "=G=", "=L=", "=N=", "=X=", "=C=", "=B="};
  return type >= 0 && type <= 6 ? kText[type] : "=?=";
}

int setRecord(std::vector<qmoRec::Record>& records, int host, double level, double marginal,
              int basis, int condition) {
  auto& r = records[static_cast<size_t>(host)];
  r = {true, level, marginal, basis, condition};
  return 0;
}

int getRecord(const std::vector<qmoRec::Record>& records, int host, double* level, double* marginal, int* basis,
              int* condition) {
  if (host < 0 || static_cast<size_t>(host) >= records.size() || !records[static_cast<size_t>(host)].set) return 1;
  const auto& r = records[static_cast<size_t>(host)];
  if (level) *level = r.level;
  if (marginal) *marginal = r.marginal;
  if (basis) *basis = r.basis;
  if (condition) *condition = r.condition;
  return 0;
}

}  // namespace

extern "C" {

int qmoGetEquTypeOne(qmoHandle_t h, int row) {
  const int k = h ? h->checkedRow(row) : -1;
  return k < 0 ? -1 : h->equs[static_cast<size_t>(h->hostRow(k))].type;
}

int qmoGetEquTypeTxt(qmoHandle_t h, int row, char* buffer, int length) {
  const int k = h ? h->checkedRow(row) : -1;
  if (k < 0 || !buffer || length < 4) return 1;
  std::strcpy(buffer, typeText(h->equs[static_cast<size_t>(h->hostRow(k))].type));
  return 0;
}

int qmoGetEquOrderOne(qmoHandle_t h, int row) {
  const int k = h ? h->checkedRow(row) : -1;
  if (k < 0) return -1;
  for (const auto& e : h->equs[static_cast<size_t>(h->hostRow(k))].entries)
    if (e.nonlinear) return 2;
  return 1;
}

double qmoGetRhsOne(qmoHandle_t h, int row) {
  const int k = h ? h->checkedRow(row) : -1;
  return k < 0 ? 0.0 : h->equs[static_cast<size_t>(h->hostRow(k))].rhs;
}

int qmoGetRowSparse(qmoHandle_t h, int row, int* columns, double* values, int* nonlinear, int* nz, int* nlnz) {
  if (failing(h, __func__)) return 1;
  const int k = h->checkedRow(row);
  if (k < 0) return 1;
  return fillSparse(h, h->equs[static_cast<size_t>(h->hostRow(k))].entries, columns, values, nonlinear, nz, nlnz);
}

int qmoGetObjSparse(qmoHandle_t h, int* columns, double* values, int* nonlinear, int* nz, int* nlnz) {
  if (failing(h, __func__) || !h->hasObjective) return 1;
  return fillSparse(h, h->objective, columns, values, nonlinear, nz, nlnz);
}

int qmoGetVarL(qmoHandle_t h, double* x) {
  return fillColumns(h, __func__, x, [](const qmoRec::Var& v) { return v.level; });
}
int qmoGetVarLower(qmoHandle_t h, double* lower) {
  return fillColumns(h, __func__, lower, [h](const qmoRec::Var& v) { return h->reported(v.lower); });
}
int qmoGetVarUpper(qmoHandle_t h, double* upper) {
  return fillColumns(h, __func__, upper, [h](const qmoRec::Var& v) { return h->reported(v.upper); });
}
int qmoGetEquL(qmoHandle_t h, double* level) {
  return fillRows(h, __func__, level, [](const qmoRec::Equ& q) { return q.level; });
}
int qmoGetEquM(qmoHandle_t h, double* marginal) {
  return fillRows(h, __func__, marginal, [](const qmoRec::Equ& q) { return q.marginal; });
}

int qmoGetVarStatOne(qmoHandle_t h, int column) {
  const int k = h ? h->checkedColumn(column) : -1;
  return k < 0 ? -1 : h->vars[static_cast<size_t>(h->hostColumn(k))].basis;
}

int qmoGetEquStatOne(qmoHandle_t h, int row) {
  const int k = h ? h->checkedRow(row) : -1;
  return k < 0 ? -1 : h->equs[static_cast<size_t>(h->hostRow(k))].basis;
}

int qmoSetSolutionVarRec(qmoHandle_t h, int column, double level, double marginal, int basisStatus, int condition) {
  if (failing(h, __func__)) return 1;
  const int k = h->checkedColumn(column);
  if (k < 0) return 1;
  return setRecord(h->varResult, h->hostColumn(k), level, marginal, basisStatus, condition);
}

int qmoSetSolutionEquRec(qmoHandle_t h, int row, double level, double marginal, int basisStatus, int condition) {
  if (failing(h, __func__)) return 1;
  const int k = h->checkedRow(row);
  if (k < 0) return 1;
  return setRecord(h->equResult, h->hostRow(k), level, marginal, basisStatus, condition);
}

int qmoModelStatSet(qmoHandle_t h, int status) {
  if (failing(h, __func__)) return 1;
  h->modelStatus = status;
  return 0;
}

int qmoSolveStatSet(qmoHandle_t h, int status) {
  if (failing(h, __func__)) return 1;
  h->solveStatus = status;
  return 0;
}

int qmoModelStat(qmoHandle_t h) { return h ? h->modelStatus : 0; }
int qmoSolveStat(qmoHandle_t h) { return h ? h->solveStatus : 0; }

int qmoSetHeadnTail(qmoHandle_t h, int field, double value) {
  if (failing(h, __func__) || field < 0 || static_cast<size_t>(field) >= h->headnTail.size()) return 1;
  h->headnTail[static_cast<size_t>(field)] = value;
  return 0;
}

int qmoCompleteSolution(qmoHandle_t h) {
  if (failing(h, __func__)) return 1;
  h->complete = true;
  return 0;
}

int qmoResultVar(qmoHandle_t h, int column, double* level, double* marginal, int* basisStatus, int* condition) {
  return h ? getRecord(h->varResult, column, level, marginal, basisStatus, condition) : 1;
}

int qmoResultEqu(qmoHandle_t h, int row, double* level, double* marginal, int* basisStatus, int* condition) {
  return h ? getRecord(h->equResult, row, level, marginal, basisStatus, condition) : 1;
}

double qmoHeadnTail(qmoHandle_t h, int field) {
  if (!h || field < 0 || static_cast<size_t>(field) >= h->headnTail.size()) return 0.0;
  return h->headnTail[static_cast<size_t>(field)];
}

int qmoSolutionComplete(qmoHandle_t h) { return h && h->complete ? 1 : 0; }

}  // extern "C"
