#include "link/model_transfer.hpp"

#include <algorithm>
#include <new>
#include <vector>

#include "driver/optimizer_impl.hpp"
#include "driver/work_estimate.hpp"

namespace kavro::link {

namespace {

constexpr double kInf = 1.0e20;
constexpr double kWarmTolerance = 1.0e-7;

// Row types the nonlinear part of the optimizer cannot take.
const char* unsupportedNonlinearType(int type) {
  switch (type) {
    case 4: return "=x=";
    case 5: return "=c=";
    case 6: return "=b=";
    default: return nullptr;
  }
}

// The model's rows as the host returns them, row by row, in view indices.
struct RowWise {
  std::vector<int64_t> start{0};
  std::vector<int32_t> column;
  std::vector<double> value;
  std::vector<int32_t> objColumn;
  std::vector<double> objValue;
  std::vector<uint8_t> objNonlinear;
};

class Transfer {
 public:
  Transfer(LinkContext& ctx, TransferredModel& out) : ctx_(ctx), qmo_(ctx.qmo()), h_(ctx.model), out_(out) {}
  bool run();

 private:
  bool fail(const char* operation) {
    raiseLinkError(ctx_, kQmoError, "Failed calling QMO: %s", operation);
    return false;
  }
  bool setUpView();
  bool readSparse(int row, int& nz);
  bool orderNonlinearFirst();
  bool readLevelsAndBounds();
  bool rowBounds();
  bool readRows();
  void buildMatrix();
  void startingBasis();

  LinkContext& ctx_;
  const ModelApi& qmo_;
  qmoHandle_t h_;
  TransferredModel& out_;
  int32_t n_ = 0, m0_ = 0;
  int32_t nNonlinJac_ = 0, nNonlinObj_ = 0;
  std::vector<int> colIndex_, nlFlag_;
  std::vector<double> values_;
  RowWise rows_;
};

bool Transfer::setUpView() {
  if (qmo_.qmoObjStyleSet(h_, 2) != 0 || qmo_.qmoObjReformSet(h_, 1) != 0 || qmo_.qmoIndexBaseSet(h_, 0) != 0 ||
      qmo_.qmoPinfSet(h_, kInf) != 0 || qmo_.qmoMinfSet(h_, -kInf) != 0)
    return fail("set up the model view");
  n_ = qmo_.qmoN(h_);
  out_.modelType = qmo_.qmoModelType(h_);
  ctx_.hasObjective = out_.modelType != 8;
  out_.nonlinear = qmo_.qmoNLNZ(h_) > 0 || qmo_.qmoObjNLNZ(h_) > 0;
  colIndex_.assign(n_, 0);
  nlFlag_.assign(n_, 0);
  values_.assign(n_, 0.0);
  return true;
}

// One row (or the objective, row -1) into the scratch buffers, checked.
bool Transfer::readSparse(int row, int& nz) {
  int nlnz = 0;
  nz = 0;
  const int rc = row < 0 ? qmo_.qmoGetObjSparse(h_, colIndex_.data(), values_.data(), nlFlag_.data(), &nz, &nlnz)
                         : qmo_.qmoGetRowSparse(h_, row, colIndex_.data(), values_.data(), nlFlag_.data(), &nz, &nlnz);
  if (rc != 0 || nz < 0 || nz > n_) return false;
  for (int k = 0; k < nz; ++k)
    if (colIndex_[k] < 0 || colIndex_[k] >= n_) return false;
  return true;
}

bool Transfer::orderNonlinearFirst() {
  const int m = qmo_.qmoM(h_);
  std::vector<uint8_t> jac(static_cast<size_t>(n_), 0), obj(static_cast<size_t>(n_), 0);
  std::vector<int> nonlinearRows, linearRows;
  for (int i = 0; i < m; ++i) {
    const int type = qmo_.qmoGetEquTypeOne(h_, i);
    if (type == 3) continue;
    if (qmo_.qmoGetEquOrderOne(h_, i) == 1) {
      linearRows.push_back(i);
      continue;
    }
    if (const char* text = unsupportedNonlinearType(type)) {
      raiseLinkError(ctx_, kCapabilityError, "Equation type %s not supported.", text);
      return false;
    }
    int nz = 0;
    if (!readSparse(i, nz)) return fail("get sparse row");
    for (int k = 0; k < nz; ++k)
      if (nlFlag_[k]) jac[colIndex_[k]] = 1;
    nonlinearRows.push_back(i);
  }
  if (ctx_.hasObjective) {
    int nz = 0;
    if (!readSparse(-1, nz)) return fail("get sparse objective");
    for (int k = 0; k < nz; ++k)
      if (nlFlag_[k]) obj[colIndex_[k]] = 1;
  }
  // Both flags, then Jacobian only, then objective only, then linear columns.
  std::vector<int> order;
  order.reserve(n_);
  auto group = [&](bool inJac, bool inObj) {
    for (int j = 0; j < n_; ++j)
      if (static_cast<bool>(jac[j]) == inJac && static_cast<bool>(obj[j]) == inObj) order.push_back(j);
  };
  group(true, true);
  group(true, false);
  nNonlinJac_ = static_cast<int32_t>(order.size());
  group(false, true);
  nNonlinObj_ = static_cast<int32_t>(order.size());
  group(false, false);
  if (qmo_.qmoSetRvVarPermutation(h_, order.data(), n_) != 0) return fail("set variable permutation");
  nonlinearRows.insert(nonlinearRows.end(), linearRows.begin(), linearRows.end());
  if (qmo_.qmoSetRvEquPermutation(h_, nonlinearRows.data(), static_cast<int>(nonlinearRows.size())) != 0)
    return fail("set equation permutation");
  return true;
}

bool Transfer::readLevelsAndBounds() {
  Problem& p = out_.problem;
  ProblemState& s = out_.state;
  const size_t nb = static_cast<size_t>(p.nb());
  s.x.assign(nb, 0.0);
  p.lower.assign(nb, 0.0);
  p.upper.assign(nb, 0.0);
  s.pi.assign(p.m, 0.0);
  s.hs.assign(nb, 0);
  s.reducedCost.assign(nb, 0.0);
  std::vector<double> rowLevel(static_cast<size_t>(m0_), 0.0);
  if (qmo_.qmoGetVarL(h_, s.x.data()) != 0) return fail("get variable level");
  if (qmo_.qmoGetVarLower(h_, p.lower.data()) != 0) return fail("get variable lower bounds");
  if (qmo_.qmoGetVarUpper(h_, p.upper.data()) != 0) return fail("get variable upper bounds");
  if (qmo_.qmoGetEquL(h_, rowLevel.data()) != 0) return fail("get equation level");
  if (qmo_.qmoGetEquM(h_, s.pi.data()) != 0) return fail("get equation marginals");
  for (int32_t i = 0; i < m0_; ++i) s.x[n_ + i] = -rowLevel[i];
  return true;
}

bool Transfer::rowBounds() {
  Problem& p = out_.problem;
  for (int32_t i = 0; i < m0_; ++i) {
    const size_t slack = static_cast<size_t>(n_ + i);
    const double r = qmo_.qmoGetRhsOne(h_, i);
    switch (qmo_.qmoGetEquTypeOne(h_, i)) {
      case 0: p.lower[slack] = -r, p.upper[slack] = -r; break;
      case 2: p.lower[slack] = -r, p.upper[slack] = kInf; break;
      case 1: p.lower[slack] = -kInf, p.upper[slack] = -r; break;
      default: {
        char text[16] = "";
        qmo_.qmoGetEquTypeTxt(h_, i, text, sizeof text);
        raiseLinkError(ctx_, kCapabilityError, "Equation type '%s' not supported.", text);
        return false;
      }
    }
  }
  if (ctx_.hasObjective) {
    const size_t slack = static_cast<size_t>(n_ + p.objRow);
    p.lower[slack] = -kInf;
    p.upper[slack] = kInf;
  }
  return true;
}

bool Transfer::readRows() {
  for (int32_t i = 0; i < m0_; ++i) {
    int nz = 0;
    if (!readSparse(i, nz)) return fail("get sparse row");
    rows_.column.insert(rows_.column.end(), colIndex_.begin(), colIndex_.begin() + nz);
    rows_.value.insert(rows_.value.end(), values_.begin(), values_.begin() + nz);
    rows_.start.push_back(static_cast<int64_t>(rows_.column.size()));
  }
  if (ctx_.hasObjective) {
    int nz = 0;
    if (!readSparse(-1, nz)) return fail("get sparse objective");
    rows_.objColumn.assign(colIndex_.begin(), colIndex_.begin() + nz);
    rows_.objValue.assign(values_.begin(), values_.begin() + nz);
    rows_.objNonlinear.assign(nlFlag_.begin(), nlFlag_.begin() + nz);
  }
  return true;
}

// Column-wise matrix, rows increasing within a column and the objective row last.
void Transfer::buildMatrix() {
  Problem& p = out_.problem;
  const size_t n = static_cast<size_t>(n_);
  std::vector<int32_t> count(n + 1, 0);
  std::vector<int32_t> jacCount(static_cast<size_t>(nNonlinJac_) + 1, 0);
  for (int32_t i = 0; i < m0_; ++i)
    for (int64_t k = rows_.start[i]; k < rows_.start[i + 1]; ++k) {
      const int32_t j = rows_.column[k];
      ++count[j + 1];
      if (i < p.nNonlinCons && j < nNonlinJac_) ++jacCount[j + 1];
    }
  for (int32_t j : rows_.objColumn)
    if (j >= nNonlinObj_) ++count[j + 1];
  for (size_t j = 0; j < n; ++j) count[j + 1] += count[j];
  for (size_t j = 0; j < static_cast<size_t>(nNonlinJac_); ++j) jacCount[j + 1] += jacCount[j];
  ctx_.jacobianStart = std::move(jacCount);

  p.a.colStart = count;
  p.a.row.assign(count[n], 0);
  p.a.value.assign(count[n], 0.0);
  std::vector<int32_t> next(count.begin(), count.end() - 1);
  auto append = [&](int32_t j, int32_t row, double value) {
    const size_t k = static_cast<size_t>(next[j]++);
    p.a.row[k] = row;
    p.a.value[k] = value;
  };
  for (int32_t i = 0; i < m0_; ++i)
    for (int64_t k = rows_.start[i]; k < rows_.start[i + 1]; ++k) append(rows_.column[k], i, rows_.value[k]);
  for (size_t k = 0; k < rows_.objColumn.size(); ++k)
    if (rows_.objColumn[k] >= nNonlinObj_) append(rows_.objColumn[k], p.objRow, rows_.objValue[k]);

  if (ctx_.hasObjective) {
    // The objective row's slack starts at minus the linear part of the objective.
    double linear = 0.0;
    for (size_t k = 0; k < rows_.objColumn.size(); ++k)
      if (!rows_.objNonlinear[k]) linear += rows_.objValue[k] * out_.state.x[rows_.objColumn[k]];
    out_.state.x[n_ + p.objRow] = -linear;
  }
}

void Transfer::startingBasis() {
  Problem& p = out_.problem;
  ProblemState& s = out_.state;
  if (qmo_.qmoHaveBasis(h_) == 0 || out_.modelType == 8) {
    out_.start = "Cold";
    return;
  }
  out_.start = "Warm";
  for (int32_t j = 0; j < p.nb(); ++j) {
    const size_t k = static_cast<size_t>(j);
    if (j - n_ == p.objRow) {
      s.hs[k] = kBasic;
      continue;
    }
    const int status = j < n_ ? qmo_.qmoGetVarStatOne(h_, j) : qmo_.qmoGetEquStatOne(h_, j - n_);
    s.hs[k] = warmStartState(status, s.x[k], p.lower[k], p.upper[k]);
  }
}

bool Transfer::run() {
  if (!setUpView()) return false;
  if (out_.nonlinear) {
    if (!orderNonlinearFirst()) return false;
  } else if (qmo_.qmoSetNRowPerm(h_) != 0) {
    return fail("set equation permutation");
  }
  Problem& p = out_.problem;
  m0_ = qmo_.qmoM(h_);
  out_.hostRows = m0_;
  p.n = n_;
  p.m = ctx_.hasObjective ? m0_ + 1 : m0_;
  p.objRow = ctx_.hasObjective ? m0_ : -1;
  ctx_.objRow = p.objRow;
  p.nNonlinCons = qmo_.qmoNLM(h_);
  p.nNonlinJacVars = nNonlinJac_;
  p.nNonlinObjVars = nNonlinObj_;
  p.objConstant = qmo_.qmoObjConst(h_);
  p.names = {"QARN    ", "        ", "        ", "        ", "        "};
  if (!readLevelsAndBounds() || !rowBounds() || !readRows()) return false;
  buildMatrix();
  startingBasis();
  return true;
}

}  // namespace

int32_t warmStartState(int hostStatus, double value, double lower, double upper) {
  if (hostStatus == 2) return kBasic;
  const bool aboveLower = value > lower + kWarmTolerance;
  if (aboveLower && value < upper - kWarmTolerance) return kBasic;
  if (aboveLower) return kAtUpper;
  return kAtLower;
}

bool transferModel(LinkContext& ctx, TransferredModel& model) {
  try {
    Transfer transfer(ctx, model);
    if (transfer.run()) return true;
  } catch (const std::bad_alloc&) {
    raiseLinkError(ctx, kMemoryError, "Out of memory!");
  }
  model = TransferredModel{};
  ctx.jacobianStart = {};
  return false;
}

bool sendModelOptions(LinkContext& ctx) {
  if (ctx.hasObjective) {
    const int sense = ctx.qmo().qmoSense(ctx.model);
    if (sense != 0 && sense != 1) {
      raiseLinkError(ctx, kCapabilityError, "Only supports optimization sense min and max.");
      return false;
    }
    if (ctx.optimizer->setSpecsLine(sense == 0 ? "Minimize" : "Maximize") != 0) {
      raiseLinkError(ctx, kSolverError, "set objective sense");
      return false;
    }
  }
  // The solve strategy sizes the superbasics limit itself, from the same count.
  if (ctx.userSuperbasicsLimit || internalsOf(*ctx.optimizer).params.solveStrategy == kStrategySolve) return true;
  if (ctx.optimizer->setSpecsInteger("Superbasics Limit", superbasicsEstimate(ctx.qmo().qmoNLN(ctx.model))) != 0) {
    raiseLinkError(ctx, kSolverError, "set superbasic limit");
    return false;
  }
  return true;
}

}  // namespace kavro::link
