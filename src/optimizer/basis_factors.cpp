#include "optimizer/basis_factors.hpp"

#include <algorithm>
#include <cmath>

#include "kernels/column_view.hpp"

namespace kavro {

BasisFactors::BasisFactors(Problem& prob, ProblemState& state, Parameters& params, const ReportChannels& out,
                           const std::vector<double>* rhs, int32_t maxSuperbasics, int32_t factorElements,
                           bool storageGrows)
    : prob_(prob), state_(state), p_(params), out_(out), rhs_(rhs), m_(prob.m), n_(prob.n) {
  // Rank checks of the basic and superbasic columns take up to m + maxSuperbasics rows.
  const int32_t positions = m_ + maxSuperbasics + 1;
  lu_.size(m_, positions - 1, factorElements);
  // Without a limit the storage may grow to what 32-bit indices address.
  if (storageGrows) fc_.maxFactorElements = INT32_MAX - 16;
  list_.assign(positions, -1);
  set_ = BasisSet{&prob_, &state_.hs, &state_.x, &list_, &state_.ns};
  work_.assign(m_, 0.0);
  work2_.assign(m_, 0.0);
}

bool BasisFactors::requestedTwice() const {
  return itnSinceFactor_ == 0 && fc_.factorizations > 0 && fc_.factorRequest != FactorRequest::kRowError &&
         fc_.factorRequest != FactorRequest::kNone;
}

ExitCode BasisFactors::factorize(FactorKind kind, const FactorHeader& header) {
  fc_.itn = header.itn;
  fc_.ninf = header.ninf;
  fc_.infeasible = header.ninf > 0;
  fc_.objectiveOrSinf = header.objectiveOrSinf;
  const ExitCode status = factorizeBasis(set_, lu_, p_, out_, fc_, kind);
  if (status == kOptimal) itnSinceFactor_ = 0;
  return status;
}

// x_B = B^-1 (b - N x_N).
void BasisFactors::recomputeBasics() {
  const double* rhs = this->rhs();
  const kernels::ColumnView a(prob_.a);
  const int32_t* hs = state_.hs.data();
  double* x = state_.x.data();
  double* w = work_.data();
  if (rhs) std::copy(rhs, rhs + m_, w);
  else std::fill(w, w + m_, 0.0);
  for (int32_t j = 0; j < n_; ++j) {
    if (hs[j] == kBasic) continue;
    const double v = x[j];
    if (v == 0.0) continue;
    a.subtract(j, v, w);
  }
  for (int32_t i = 0; i < m_; ++i)
    if (hs[n_ + i] != kBasic) w[i] -= x[n_ + i];
  lu_.solveB(w, work2_.data());
  const double* xB = work2_.data();
  for (int32_t k = 0; k < m_; ++k) x[list_[k]] = xB[k];
}

// r = A x + slacks - b (the rows' residuals).
void BasisFactors::computeResidual(double* r) const {
  const double* rhs = this->rhs();
  const kernels::ColumnView a(prob_.a);
  const double* x = state_.x.data();
  for (int32_t i = 0; i < m_; ++i) r[i] = x[n_ + i];
  if (rhs)
    for (int32_t i = 0; i < prob_.nNonlinCons; ++i) r[i] -= rhs[i];
  for (int32_t j = 0; j < n_; ++j) {
    const double v = x[j];
    if (v == 0.0) continue;
    a.add(j, v, r);
  }
}

bool BasisFactors::rowCheck(bool correcting, int32_t itn) {
  double* r = work_.data();
  double* x = state_.x.data();
  const int32_t* basic = list_.data();
  computeResidual(r);
  auto basicNorm = [&] {
    double biggest = 0.0;
    for (int32_t k = 0; k < m_; ++k) biggest = std::max(biggest, std::fabs(x[basic[k]]));
    return biggest;
  };
  auto largest = [&](int32_t& where) {
    double biggest = 0.0;
    where = 0;
    for (int32_t i = 0; i < m_; ++i)
      if (std::fabs(r[i]) > biggest) {
        biggest = std::fabs(r[i]);
        where = i;
      }
    return biggest;
  };
  int32_t row = 0;
  double rmax = largest(row);
  if (correcting && rmax / (1.0 + basicNorm()) > p_.machine.eps0) {
    lu_.solveB(r, work2_.data());
    const double* correction = work2_.data();
    for (int32_t k = 0; k < m_; ++k) x[basic[k]] -= correction[k];
    computeResidual(r);
    rmax = largest(row);
  }
  double xNorm = basicNorm();
  if (xNorm <= p_.machine.eps4) xNorm = 1.0;
  const double relative = rmax / (1.0 + xNorm);
  const bool bad = relative > p_.rowCheckTolerance;
  if (bad || p_.debugLevel >= 2)
    out_.print(" Itn %7d -- row check.   Max residual = %8.1e on row %5d.   Norm x = %8.1e", itn, rmax, row + 1, xNorm);
  return !bad;
}

// Refactorizes at the "Factorize basis" frequency and when the factors have grown too much;
// otherwise replaces the column, and checks the rows every "Check row error" iterations.
FactorRequest BasisFactors::update(int32_t position, int32_t itn) {
  lu::LuParams& lp = lu_.params();
  const int32_t updates = lp.replacements();
  const bool basisChanged = position >= 0;
  auto refactorize = [this](FactorRequest why) {
    fc_.factorRequest = why;
    return why;
  };
  if (basisChanged && updates >= p_.factorizeBasis - 1) return refactorize(FactorRequest::kFrequency);
  const int32_t nonzeros = lp.lenL() + lp.lenU();
  if (updates >= 20 && nonzeros > 2 * fc_.nonzerosAfterFactor) {
    if (p_.printLevel % 10 > 0)
      out_.print(" LU file has increased by a factor of %6.1f",
                 static_cast<double>(nonzeros) / std::max(1, fc_.nonzerosAfterFactor));
    return refactorize(FactorRequest::kFactorsGrew);
  }
  const bool checkDue = itnSinceFactor_ % std::max(1, p_.checkRowError) == 0;
  if (basisChanged) {
    if (lu_.replaceColumn(position) != 0) return refactorize(FactorRequest::kReplacementFailed);
  } else if (checkDue && !rowCheck(false, itn)) {
    return refactorize(FactorRequest::kRowError);
  }
  if (basisChanged && checkDue && !rowCheck(false, itn)) return refactorize(FactorRequest::kRowError);
  return FactorRequest::kNone;
}

double BasisFactors::moveNonbasicsOntoBounds() {
  const int32_t* hs = state_.hs.data();
  double* x = state_.x.data();
  const double* lower = prob_.lower.data();
  const double* upper = prob_.upper.data();
  double moved = 0.0;
  for (int32_t j = 0; j < n_ + m_; ++j) {
    const int32_t h = hs[j];
    if (h != kAtLower && h != kAtUpper && h != kFixedNonbasic) continue;
    const double bound = h == kAtUpper ? upper[j] : lower[j];
    moved = std::max(moved, std::fabs(x[j] - bound));
    x[j] = bound;
  }
  return moved;
}

void BasisFactors::placeWithinBounds() {
  int32_t* hs = state_.hs.data();
  double* x = state_.x.data();
  for (int32_t j = 0; j < n_ + m_; ++j) {
    int32_t& h = hs[j];
    if (h == kBasic) continue;
    const double lo = prob_.lower[j], up = prob_.upper[j];
    x[j] = std::min(std::max(x[j], lo), up);
    if (h == kSuperbasic) continue;
    if (lo == up) h = kFixedNonbasic;
    else if (x[j] <= lo) h = kAtLower;
    else if (x[j] >= up) h = kAtUpper;
    else h = kBetweenBounds;
  }
}

void BasisFactors::toInternalStates() {
  int32_t* hs = state_.hs.data();
  const double* x = state_.x.data();
  for (int32_t j = 0; j < n_ + m_; ++j) {
    int32_t& h = hs[j];
    if (h != kAtLower && h != kAtUpper) continue;
    const double lo = prob_.lower[j], up = prob_.upper[j];
    const double v = x[j];
    if (lo == up) h = kFixedNonbasic;
    else if (v <= lo) h = kAtLower;
    else if (v >= up) h = kAtUpper;
    else h = kBetweenBounds;
  }
}

void BasisFactors::toExternalStates() {
  for (int32_t& h : state_.hs)
    if (h == kFixedNonbasic || h == kBetweenBounds) h = kAtLower;
}

}  // namespace kavro
