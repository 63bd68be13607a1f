#pragma once
// The stand-in model object: the model as the host built it (host order), a view that the
// solver library reorders and subsets, and the results the library writes back.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "qarn/qarn.h"

struct qmoRec {
  struct Entry {
    int column = 0;
    double value = 0.0;
    bool nonlinear = false;
  };
  struct Var {
    std::string name;
    double lower = 0.0, level = 0.0, upper = 0.0;
    int basis = qmoBstatLower;
  };
  struct Equ {
    std::string name;
    int type = qmoEquE;
    double rhs = 0.0, level = 0.0, marginal = 0.0;
    int basis = qmoBstatLower;
    std::vector<Entry> entries;
  };
  struct Record {
    bool set = false;
    double level = 0.0, marginal = 0.0;
    int basis = 0, condition = 0;
  };

  qevHandle_t env = nullptr;
  std::vector<Var> vars;
  std::vector<Equ> equs;
  std::vector<Entry> objective;
  bool hasObjective = false;
  int sense = 0;
  double objConstant = 0.0;
  int fixedModelType = 0;  // 0: derived from the data
  int haveBasis = 0;
  std::string optFile;

  // View: view index k is host index order[k]; an empty order with !custom is the identity.
  int base = 0;
  double pinf = 1.0e20, minf = -1.0e20;
  bool customVarOrder = false, customEquOrder = false;
  std::vector<int> varOrder, equOrder;
  std::vector<int> varOfHost;  // host column -> view column (-1 when left out)

  std::vector<Record> varResult, equResult;
  int modelStatus = 0, solveStatus = 0;
  std::array<double, 12> headnTail{};
  bool complete = false;

  int64_t reportNz = -1, reportNlnz = -1;
  std::string failing;

  // Nonlinear functions: the host program's evaluator and its scratch in host indices.
  qmoEvaluator evaluator{};
  void* evaluatorUser = nullptr;
  bool hasEvaluator = false;
  bool pointAnnounced = false;  // hostX is the point of the last qmoEvalNewPoint
  std::vector<double> hostX, hostGradient;
  // Second derivatives: their own point (the rows' announced point stays valid), the row
  // weights, the vectors of a product and the triangle's values, all in host indices.
  std::vector<double> hessianX, hessianWeights, hessianV, hessianHv, hessianValues;

  bool hasSecondDerivatives() const {
    return hasEvaluator && (evaluator.hessianProduct || (evaluator.hessianStructure && evaluator.hessianValues));
  }

  int viewColumns() const { return customVarOrder ? static_cast<int>(varOrder.size()) : static_cast<int>(vars.size()); }
  int viewRows() const { return customEquOrder ? static_cast<int>(equOrder.size()) : static_cast<int>(equs.size()); }
  int hostColumn(int view) const { return customVarOrder ? varOrder[static_cast<size_t>(view)] : view; }
  int hostRow(int view) const { return customEquOrder ? equOrder[static_cast<size_t>(view)] : view; }
  int viewColumn(int host) const { return customVarOrder ? varOfHost[static_cast<size_t>(host)] : host; }
  // A view index given by the caller, made 0-based; -1 when out of range.
  int checkedRow(int index) const {
    const int k = index - base;
    return k >= 0 && k < viewRows() ? k : -1;
  }
  int checkedColumn(int index) const {
    const int k = index - base;
    return k >= 0 && k < viewColumns() ? k : -1;
  }
  int modelType() const;
  double reported(double bound) const;
};

// A call the test hook makes fail (qmoTestFailCall), or one without a model.
inline bool failing(qmoHandle_t h, const char* function) { return !h || h->failing == function; }
