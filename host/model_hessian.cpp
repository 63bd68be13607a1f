// Model object: second derivatives of the Lagrangian, evaluated by the host program's evaluator
// in the host's indices and seen through the view. The triangle keeps the evaluator's order;
// the view only renames its indices (and leaves out entries on columns it leaves out).

#include "model_object.hpp"

#include <utility>

namespace {

struct Triangle {
  int64_t count = 0;
  const int* rows = nullptr;
  const int* columns = nullptr;
};

// The evaluator's triangle; false when it keeps none.
bool hostTriangle(qmoHandle_t h, Triangle& t) {
  if (!h->hasEvaluator || !h->evaluator.hessianStructure || !h->evaluator.hessianValues) return false;
  if (h->evaluator.hessianStructure(h->evaluatorUser, &t.count, &t.rows, &t.columns) != 0) return false;
  return t.count >= 0 && (t.count == 0 || (t.rows && t.columns));
}

// Entry k in view indices: false when the view leaves one of its columns out.
bool viewEntry(qmoHandle_t h, const Triangle& t, int64_t k, int& row, int& column) {
  const int hostColumns = static_cast<int>(h->vars.size());
  const int r = t.rows[k], c = t.columns[k];
  if (r < 0 || r >= hostColumns || c < 0 || c >= hostColumns) return false;
  row = h->viewColumn(r);
  column = h->viewColumn(c);
  if (row < 0 || column < 0) return false;
  if (row < column) std::swap(row, column);  // the view's order may turn the pair over
  return true;
}

// The view's point and row weights in host order, in the Hessian's own scratch.
bool hostArguments(qmoHandle_t h, const double* x, const double* rowWeights) {
  if ((!x && h->viewColumns() > 0) || (!rowWeights && h->viewRows() > 0)) return false;
  h->hessianX.resize(h->vars.size());  // sized on the first call only
  h->hessianWeights.assign(h->equs.size(), 0.0);
  for (int k = 0; k < h->viewColumns(); ++k) h->hessianX[static_cast<size_t>(h->hostColumn(k))] = x[k];
  for (int k = 0; k < h->viewRows(); ++k) h->hessianWeights[static_cast<size_t>(h->hostRow(k))] = rowWeights[k];
  return true;
}

}  // namespace

extern "C" {

int qmoHaveHessLag(qmoHandle_t h) { return !failing(h, __func__) && h->hasSecondDerivatives() ? 1 : 0; }

int qmoHessLagNZ(qmoHandle_t h, int64_t* nz) {
  Triangle t;
  if (failing(h, __func__) || !nz || !hostTriangle(h, t)) return 1;
  int64_t count = 0;
  for (int64_t k = 0; k < t.count; ++k) {
    int row = 0, column = 0;
    if (viewEntry(h, t, k, row, column)) ++count;
  }
  *nz = count;
  return 0;
}

int qmoHessLagStruct(qmoHandle_t h, int* rows, int* columns, int64_t length) {
  Triangle t;
  if (failing(h, __func__) || !hostTriangle(h, t)) return 1;
  int64_t next = 0;
  for (int64_t k = 0; k < t.count; ++k) {
    int row = 0, column = 0;
    if (!viewEntry(h, t, k, row, column)) continue;
    if (next >= length || !rows || !columns) return 1;
    rows[next] = row + h->base;
    columns[next] = column + h->base;
    ++next;
  }
  return 0;
}

int qmoHessLagValues(qmoHandle_t h, const double* x, double objWeight, const double* rowWeights, double* values,
                     int* errors) {
  Triangle t;
  if (failing(h, __func__) || !errors || !hostTriangle(h, t) || (!values && t.count > 0) ||
      !hostArguments(h, x, rowWeights))
    return 1;
  h->hessianValues.resize(static_cast<size_t>(t.count));
  *errors = 0;
  if (h->evaluator.hessianValues(h->evaluatorUser, h->hessianX.data(), objWeight, h->hessianWeights.data(),
                                 h->hessianValues.data(), errors) != 0)
    return 1;
  int64_t next = 0;
  for (int64_t k = 0; k < t.count; ++k) {
    int row = 0, column = 0;
    if (viewEntry(h, t, k, row, column)) values[next++] = h->hessianValues[static_cast<size_t>(k)];
  }
  return 0;
}

int qmoHessLagVec(qmoHandle_t h, const double* x, double objWeight, const double* rowWeights, const double* v,
                  double* hv, int* errors) {
  if (failing(h, __func__) || !errors || !h->hasEvaluator || !h->evaluator.hessianProduct ||
      ((!v || !hv) && h->viewColumns() > 0) || !hostArguments(h, x, rowWeights))
    return 1;
  h->hessianV.assign(h->vars.size(), 0.0);  // columns the view leaves out: no direction
  h->hessianHv.resize(h->vars.size());
  for (int k = 0; k < h->viewColumns(); ++k) h->hessianV[static_cast<size_t>(h->hostColumn(k))] = v[k];
  *errors = 0;
  if (h->evaluator.hessianProduct(h->evaluatorUser, h->hessianX.data(), objWeight, h->hessianWeights.data(),
                                  h->hessianV.data(), h->hessianHv.data(), errors) != 0)
    return 1;
  for (int k = 0; k < h->viewColumns(); ++k) hv[k] = h->hessianHv[static_cast<size_t>(h->hostColumn(k))];
  return 0;
}

}  // extern "C"
