// The pivot row of a simplex step for the weighted pricing rules: alpha_rj = rho' a_j for the
// nonbasic variables (rho = B^-T e_r), by rows or by columns, and with steepest edge the dots
// a_j' tau that the weights' update needs, formed while each column is at hand.
#include <algorithm>

#include "kernels/branchless.hpp"
#include "optimizer/pricing_weights.hpp"

namespace kavro {

double PricingWeights::columnDot(int32_t j, const double* rowVector) const {
  if (j >= n_) return rowVector[j - n_];
  const SparseMatrix& a = prob_->a;
  double sum = 0.0;
  for (int32_t k = a.colStart[j]; k < a.colStart[j + 1]; ++k) sum += a.value[k] * rowVector[a.row[k]];
  return sum;
}

// By rows when the rows where rho is nonzero hold few nonbasic entries (only those are read),
// by columns otherwise (every nonbasic column once, in storage order, without scattering).
void PricingWeights::computePivotRow(const kernels::SparseVector& rho, const double* tau, const int32_t* hs) {
  int64_t rowWork = 0;
  auto count = [&](int32_t i) { rowWork += 1 + rows_.nonbasicEnd(i) - rows_.begin(i); };
  if (rho.listed()) {
    for (int32_t t = 0; t < rho.count; ++t) count(rho.index[t]);
  } else {
    // Which rows are nonzero is irregular: no branch.
    const double* r = rho.value.data();
    for (int32_t i = 0; i < m_; ++i) rowWork += r[i] != 0.0 ? 1 + rows_.nonbasicEnd(i) - rows_.begin(i) : 0;
  }
  tauDotsFormed_ = false;
  const double columnWork = static_cast<double>(rows_.nonbasicNonzeros() + n_);
  // With tau, the pass by rows leaves a_j' tau to a pass over each touched column, which reads
  // about the touched columns' average length for every entry it touched, up to every column.
  double work = kRowwiseCost * static_cast<double>(rowWork);
  if (tau) work += std::min(static_cast<double>(rowWork) * averageColumnLength_, columnWork);
  if (work < columnWork) {
    ++rowwisePivotRows_;
    computePivotRowByRows(rho, hs);
  } else if (!tau) {
    computePivotRowByColumns<TauDots::kNone>(rho.value.data(), nullptr, hs);
  } else if (columnsTouched_ < kTouchedColumnsApart) {
    computePivotRowByColumns<TauDots::kTouched>(rho.value.data(), tau, hs);
  } else {
    computePivotRowByColumns<TauDots::kAll>(rho.value.data(), tau, hs);
  }
}

// With tau, the same pass forms a_j' tau while each column is at hand: only for the columns
// whose pivot-row entry is nonzero (only their weights change) while those are a small part, in
// one loop with a_j' rho when most are (the second loop would read the columns twice).
template <TauDots kDots>
void PricingWeights::computePivotRowByColumns(const double* rho, const double* tau, const int32_t* hs) {
  double* row = pivotRow_.data();
  double* dots = tauDot_.data();
  const SparseMatrix& a = prob_->a;
  const int32_t* start = a.colStart.data();
  const int32_t* rowIndex = a.row.data();
  const double* value = a.value.data();
  int32_t scanned = 0, nonzero = 0;
  for (int32_t j = 0; j < n_; ++j) {
    if (!priceable(hs[j])) continue;
    ++scanned;
    double sum = 0.0, tauSum = 0.0;
    for (int32_t k = start[j]; k < start[j + 1]; ++k) {
      sum += rho[rowIndex[k]] * value[k];
      if constexpr (kDots == TauDots::kAll) tauSum += value[k] * tau[rowIndex[k]];
    }
    if constexpr (kDots == TauDots::kTouched) {
      if (sum == 0.0) continue;
      for (int32_t k = start[j]; k < start[j + 1]; ++k) tauSum += value[k] * tau[rowIndex[k]];
    }
    // Most columns touched or none of the dots wanted: which ones are is irregular, so they are
    // recorded without a branch (an untouched column's entry stays +0, its dot is never read).
    const bool touched = sum != 0.0;
    nonzero += touched ? 1 : 0;
    row[j] = kernels::keepIf(touched, sum);
    if constexpr (kDots != TauDots::kNone) dots[j] = tauSum;
    touchedMark_[j] = touched ? 1 : 0;
    touched_.pushIf(touched, j);
  }
  columnsTouched_ = 0.75 * columnsTouched_ + 0.25 * static_cast<double>(nonzero) / std::max(scanned, 1);
  if constexpr (kDots != TauDots::kNone) {
    for (int32_t i = 0; i < m_; ++i) dots[n_ + i] = tau[i];
    tauDotsFormed_ = true;
  }
  touchSlacks(rho, hs);
}

void PricingWeights::touchSlacks(const double* rho, const int32_t* hs) {
  double* row = pivotRow_.data();
  uint8_t* mark = touchedMark_.data();
  for (int32_t i = 0; i < m_; ++i) {
    const int32_t slack = n_ + i;
    const bool touched = rho[i] != 0.0 && priceable(hs[slack]);
    row[slack] = kernels::keepIf(touched, rho[i]);
    mark[slack] = touched ? 1 : 0;
    touched_.pushIf(touched, slack);
  }
}

void PricingWeights::computePivotRowByRows(const kernels::SparseVector& rho, const int32_t* hs) {
  double* row = pivotRow_.data();
  uint8_t* mark = touchedMark_.data();
  auto touch = [&](int32_t j) {
    if (mark[j]) return;
    mark[j] = 1;
    touched_.push(j);
  };
  const bool listed = rho.listed();
  const int32_t count = listed ? rho.count : m_;
  const int32_t* column = rows_.column();
  const double* value = rows_.value();
  for (int32_t t = 0; t < count; ++t) {
    const int32_t i = listed ? rho.index[t] : t;
    const double r = rho.value[i];
    if (r == 0.0) continue;
    for (int32_t k = rows_.begin(i); k < rows_.nonbasicEnd(i); ++k) {
      const int32_t j = column[k];
      if (!priceable(hs[j])) continue;
      touch(j);
      row[j] += r * value[k];
    }
    const int32_t slack = n_ + i;
    if (!priceable(hs[slack])) continue;
    touch(slack);
    row[slack] = r;
  }
}

void PricingWeights::clearPivotRow() {
  for (int32_t j : touched_) {
    pivotRow_[j] = 0.0;
    touchedMark_[j] = 0;
  }
  touched_.clear();
}

}  // namespace kavro
