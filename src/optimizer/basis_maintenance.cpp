// The loop's side of the basis: a refactorization with everything that follows from it, the
// anti-degeneracy reset, and the factor update after each step.

#include "optimizer/main_loop.hpp"

namespace kavro {

bool MainLoop::factorize(FactorKind kind) {
  if (basis_.requestedTwice()) {
    setExit(kFactorizationTwice);
    return false;
  }
  const FactorHeader header{itn_, feasibility_.ninf(),
                            feasibility_.ninf() > 0 ? feasibility_.sinf() : objective_.minimized(x_.data())};
  pricer_.rememberBasicSet(basis_.list(), m_);
  const ExitCode status = basis_.factorize(kind, header);
  pricer_.forgetIfBasisChanged(hs_.data());
  // A new choice of basic and superbasic variables invalidates what R knew of the subspace.
  if (basis_.superbasicsChanged()) subspace_.control().modelResetPending = true;
  if (status != kOptimal) {
    outcome_.exitCode = status;
    return false;
  }
  justFactorized_ = true;
  prices_.markStale();
  if (p_.printLevel % 10 > 0) log_.headerDue();
  basis_.recomputeBasics(linearizedRhs());
  objective_.markStale();
  if (!basis_.rowCheck(true, linearizedRhs(), itn_)) {
    setExit(kNumericalError);
    return false;
  }
  return true;
}

bool MainLoop::expandReset(bool requested) {
  if (!tolerance_.claimReset(requested, feasibility_.ninf() > 0, itn_)) return false;
  if (basis_.moveNonbasicsOntoBounds() <= p_.machine.eps1) return false;
  basis_.recomputeBasics(linearizedRhs());
  objective_.markStale();
  basis_.rowCheck(true, linearizedRhs(), itn_);
  prices_.markStale();
  in_.out.print(" Itn %7d nonbasics set on bound, basics recomputed", itn_);
  return true;
}

bool MainLoop::updateFactors(int32_t position) {
  if (basis_.update(position, linearizedRhs(), itn_) == FactorRequest::kNone) return true;
  return factorize();
}

}  // namespace kavro
