// Factorization, recomputation of the basic values, the row check, the anti-degeneracy reset
// and the schedule that decides between updating and refactorizing.

#include <algorithm>
#include <cmath>

#include "optimizer/main_loop.hpp"

namespace kavro {

bool MainLoop::factorize(FactorKind kind) {
  if (itnSinceFactor_ == 0 && fc_.factorizations > 0 && fc_.factorRequest != FactorRequest::kRowError &&
      fc_.factorRequest != FactorRequest::kNone) {
    // Asked again before a single iteration was made: the factors cannot be improved.
    setExit(kFactorizationTwice);
    return false;
  }
  fc_.itn = itn_;
  fc_.ninf = ninf_;
  fc_.infeasible = ninf_ > 0;
  fc_.objectiveOrSinf = ninf_ > 0 ? sinf_ : minimizedObjective();
  rememberBasicSet();
  const ExitCode status = factorizeBasis(basisSet_, lu_, p_, in_.out, fc_, kind);
  forgetWeightsIfBasisChanged();
  // A new choice of basic and superbasic variables invalidates what R knew of the subspace.
  if (fc_.superbasicsChanged) sb_.hessianResetPending = true;
  if (status != kOptimal) {
    outcome_.exitCode = status;
    return false;
  }
  itnSinceFactor_ = 0;
  justFactorized_ = true;
  pricesStale_ = true;
  if (p_.printLevel % 10 > 0) log_.headerDue();
  recomputeBasics();
  functionsStale_ = true;
  if (!rowCheck(true)) {
    setExit(kNumericalError);
    return false;
  }
  return true;
}

// x_B = B^-1 (b - N x_N): the basic values that satisfy the general constraints exactly (b is
// zero but for the linearized nonlinear rows).
void MainLoop::recomputeBasics() {
  if (majors_) std::copy(majors_->rhs().begin(), majors_->rhs().end(), work_.begin());
  else std::fill(work_.begin(), work_.begin() + m_, 0.0);
  for (int32_t j = 0; j < n_; ++j) {
    const size_t uj = static_cast<size_t>(j);
    if (hs_[uj] == kBasic) continue;
    const double v = x_[uj];
    if (v == 0.0) continue;
    for (int32_t k = prob_.a.colStart[uj]; k < prob_.a.colStart[uj + 1]; ++k)
      work_[static_cast<size_t>(prob_.a.row[static_cast<size_t>(k)])] -= prob_.a.value[static_cast<size_t>(k)] * v;
  }
  for (int32_t i = 0; i < m_; ++i)
    if (hs_[static_cast<size_t>(n_ + i)] != kBasic) work_[static_cast<size_t>(i)] -= x_[static_cast<size_t>(n_ + i)];
  lu_.solveB(work_.data(), work2_.data());
  for (int32_t k = 0; k < m_; ++k)
    x_[static_cast<size_t>(basisList_[static_cast<size_t>(k)])] = work2_[static_cast<size_t>(k)];
}

void MainLoop::computeResidual(std::vector<double>& r) const {
  for (int32_t i = 0; i < m_; ++i) r[static_cast<size_t>(i)] = x_[static_cast<size_t>(n_ + i)];
  if (majors_)
    for (int32_t i = 0; i < prob_.nNonlinCons; ++i) r[static_cast<size_t>(i)] -= majors_->rhs()[static_cast<size_t>(i)];
  for (int32_t j = 0; j < n_; ++j) {
    const size_t uj = static_cast<size_t>(j);
    const double v = x_[uj];
    if (v == 0.0) continue;
    for (int32_t k = prob_.a.colStart[uj]; k < prob_.a.colStart[uj + 1]; ++k)
      r[static_cast<size_t>(prob_.a.row[static_cast<size_t>(k)])] += prob_.a.value[static_cast<size_t>(k)] * v;
  }
}

bool MainLoop::rowCheck(bool correcting) {
  std::vector<double>& r = work_;
  computeResidual(r);
  auto basicNorm = [&] {
    double biggest = 0.0;
    for (int32_t k = 0; k < m_; ++k)
      biggest = std::max(biggest, std::fabs(x_[static_cast<size_t>(basisList_[static_cast<size_t>(k)])]));
    return biggest;
  };
  auto largest = [&](int32_t& where) {
    double biggest = 0.0;
    where = 0;
    for (int32_t i = 0; i < m_; ++i)
      if (std::fabs(r[static_cast<size_t>(i)]) > biggest) {
        biggest = std::fabs(r[static_cast<size_t>(i)]);
        where = i;
      }
    return biggest;
  };
  int32_t row = 0;
  double rmax = largest(row);
  if (correcting && rmax / (1.0 + basicNorm()) > p_.machine.eps0) {
    lu_.solveB(r.data(), work2_.data());
    for (int32_t k = 0; k < m_; ++k)
      x_[static_cast<size_t>(basisList_[static_cast<size_t>(k)])] -= work2_[static_cast<size_t>(k)];
    computeResidual(r);
    rmax = largest(row);
  }
  double xNorm = basicNorm();
  if (xNorm <= p_.machine.eps4) xNorm = 1.0;
  const double relative = rmax / (1.0 + xNorm);
  const bool bad = relative > p_.rowCheckTolerance;
  if (bad || p_.debugLevel >= 2)
    in_.out.print(" Itn %7d -- row check.   Max residual = %8.1e on row %5d.   Norm x = %8.1e", itn_, rmax, row + 1,
                   xNorm);
  return !bad;
}

// Puts every nonbasic variable at a bound (or fixed) exactly on it; returns the largest move.
double MainLoop::moveNonbasicsOntoBounds() {
  double moved = 0.0;
  for (int32_t j = 0; j < nb_; ++j) {
    const size_t uj = static_cast<size_t>(j);
    const int32_t h = hs_[uj];
    if (h != kAtLower && h != kAtUpper && h != kFixedNonbasic) continue;
    const double bound = h == kAtUpper ? prob_.upper[uj] : prob_.lower[uj];
    moved = std::max(moved, std::fabs(x_[uj] - bound));
    x_[uj] = bound;
  }
  return moved;
}

bool MainLoop::expandReset(bool requested) {
  if (requested) {
    if (lastResetItn_ == itn_) return false;
    int32_t& count = ninf_ > 0 ? resetsInfeasible_ : resetsFeasible_;
    if (count >= 2) return false;
    ++count;
  }
  lastResetItn_ = itn_;
  expandTol_ = expandBase_;
  if (moveNonbasicsOntoBounds() <= p_.machine.eps1) return false;
  recomputeBasics();
  functionsStale_ = true;
  rowCheck(true);
  pricesStale_ = true;
  in_.out.print(" Itn %7d nonbasics set on bound, basics recomputed", itn_);
  return true;
}

bool MainLoop::updateFactors(int32_t position) {
  lu::LuParams& lp = lu_.params();
  const int32_t updates = lp.replacements();
  const bool basisChanged = position >= 0;
  if (basisChanged && updates >= p_.factorizeBasis - 1) {
    fc_.factorRequest = FactorRequest::kFrequency;
    return factorize();
  }
  const int32_t nonzeros = lp.lenL() + lp.lenU();
  if (updates >= 20 && nonzeros > 2 * fc_.nonzerosAfterFactor) {
    if (p_.printLevel % 10 > 0)
      in_.out.print(" LU file has increased by a factor of %6.1f",
                     static_cast<double>(nonzeros) / std::max(1, fc_.nonzerosAfterFactor));
    fc_.factorRequest = FactorRequest::kFactorsGrew;
    return factorize();
  }
  if (basisChanged) {
    if (lu_.replaceColumn(position) != 0) {
      fc_.factorRequest = FactorRequest::kReplacementFailed;
      return factorize();
    }
  } else if (itnSinceFactor_ % std::max(1, p_.checkRowError) == 0 && !rowCheck(false)) {
    fc_.factorRequest = FactorRequest::kRowError;
    return factorize();
  }
  if (basisChanged && itnSinceFactor_ % std::max(1, p_.checkRowError) == 0 && !rowCheck(false)) {
    fc_.factorRequest = FactorRequest::kRowError;
    return factorize();
  }
  return true;
}

}  // namespace kavro
