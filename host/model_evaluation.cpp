// Model object: the nonlinear functions, evaluated by the host program's evaluator in the
// host's indices and seen through the view.

#include "model_object.hpp"

namespace {

// The view's point in the host's column order; false without an evaluator.
bool hostPoint(qmoHandle_t h, const double* x) {
  if (!h->hasEvaluator || (!x && h->viewColumns() > 0)) return false;
  h->hostX.resize(h->vars.size());  // sized on the first call only
  h->hostGradient.resize(h->vars.size());
  for (int k = 0; k < h->viewColumns(); ++k) h->hostX[static_cast<size_t>(h->hostColumn(k))] = x[k];
  return true;
}

// True when x agrees with the announced point at the nonlinear entries' columns, the only
// values the function of those entries reads. Checking them alone keeps a row's evaluation to
// the cost of its own terms: the whole point, copied and compared for every row, made the
// constraints of a model with thousands of rows cost the square of its size.
bool atAnnouncedPoint(qmoHandle_t h, const std::vector<qmoRec::Entry>& entries, const double* x) {
  if (!h->pointAnnounced) return false;
  for (const qmoRec::Entry& e : entries) {
    if (!e.nonlinear) continue;
    const int view = h->viewColumn(e.column);
    if (view >= 0 && !(h->hostX[static_cast<size_t>(e.column)] == x[view])) return false;
  }
  return true;
}

// The derivatives at the nonlinear entries, from host columns to view positions.
void viewGradient(qmoHandle_t h, const std::vector<qmoRec::Entry>& entries, double* gradient) {
  for (const qmoRec::Entry& e : entries) {
    if (!e.nonlinear) continue;
    const int view = h->viewColumn(e.column);
    if (view >= 0) gradient[view] = h->hostGradient[static_cast<size_t>(e.column)];
  }
}

}  // namespace

extern "C" {

int qmoSetEvaluator(qmoHandle_t h, const qmoEvaluator* evaluator, void* user) {
  if (!h) return 1;
  h->hasEvaluator = false;
  h->evaluatorUser = nullptr;
  if (!evaluator) return 0;
  if (!evaluator->newPoint || !evaluator->row || !evaluator->objective) return 1;
  h->evaluator = *evaluator;
  h->evaluatorUser = user;
  h->hasEvaluator = true;
  h->pointAnnounced = false;
  return 0;
}

int qmoEvalNewPoint(qmoHandle_t h, const double* x) {
  if (!h) return 1;
  h->pointAnnounced = false;
  if (failing(h, __func__) || !hostPoint(h, x)) return 1;
  h->pointAnnounced = h->evaluator.newPoint(h->evaluatorUser, h->hostX.data()) == 0;
  return h->pointAnnounced ? 0 : 1;
}

int qmoEvalGradNL(qmoHandle_t h, int row, const double* x, double* f, double* gradient, int* errors) {
  if (failing(h, __func__) || !f || !gradient || !errors) return 1;
  const int k = h->checkedRow(row);
  if (k < 0 || !h->hasEvaluator || (!x && h->viewColumns() > 0)) return 1;
  const int host = h->hostRow(k);
  const std::vector<qmoRec::Entry>& entries = h->equs[static_cast<size_t>(host)].entries;
  if (!atAnnouncedPoint(h, entries, x) && qmoEvalNewPoint(h, x) != 0) return 1;
  *errors = 0;
  if (h->evaluator.row(h->evaluatorUser, host, h->hostX.data(), f, h->hostGradient.data(), errors) != 0) return 1;
  viewGradient(h, entries, gradient);
  return 0;
}

int qmoEvalGradNLObj(qmoHandle_t h, const double* x, double* f, double* gradient, int* errors) {
  if (failing(h, __func__) || !f || !gradient || !errors || !h->hasObjective) return 1;
  h->pointAnnounced = false;  // hostX is about to hold the objective's point
  if (!hostPoint(h, x)) return 1;
  *errors = 0;
  if (h->evaluator.objective(h->evaluatorUser, h->hostX.data(), f, h->hostGradient.data(), errors) != 0) return 1;
  viewGradient(h, h->objective, gradient);
  return 0;
}

}  // extern "C"
