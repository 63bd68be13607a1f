// The loop's side of the basis: a refactorization with everything that follows from it, the
// anti-degeneracy reset, and the crash of the linear inequality rows once the equality rows are
// satisfied (Crash option 3).

#include "optimizer/loop_exit.hpp"
#include "optimizer/main_loop.hpp"
#include "setup/crash.hpp"

namespace kavro {

bool MainLoop::factorize(FactorKind kind) {
  if (basis_.requestedTwice()) {
    declareExit(outcome_.exitCode, kFactorizationTwice, in_.out);
    return false;
  }
  const FactorHeader header{counts_.itn, feasibility_.ninf(),
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
  basis_.recomputeBasics();
  objective_.markStale();
  if (!basis_.rowCheck(true, counts_.itn)) {
    declareExit(outcome_.exitCode, kNumericalError, in_.out);
    return false;
  }
  return true;
}

bool MainLoop::expandReset(bool requested) {
  if (!tolerance_.claimReset(requested, feasibility_.ninf() > 0, counts_.itn)) return false;
  if (basis_.moveNonbasicsOntoBounds() <= p_.machine.eps1) return false;
  basis_.recomputeBasics();
  objective_.markStale();
  basis_.rowCheck(true, counts_.itn);
  prices_.markStale();
  in_.out.print(" Itn %7d nonbasics set on bound, basics recomputed", counts_.itn);
  return true;
}

// With the equality rows satisfied, the crash looks again at the inequality rows whose slacks
// sit near a bound, and the new basis is factorized.
void MainLoop::crashInequalityRows() {
  in_.crashInequalitiesPending = false;
  in_.out.both(" Itn %7d -- linear E rows feasible.   Obj = %16.8e", counts_.itn, objective_.trueObjective(x_.data()));
  // The crash counts only basic variables: superbasics become nonbasic where they stand, so
  // that the new basis has exactly m members; pricing brings back what is needed.
  subspace_.makeNonbasic();
  if (objective_.nonlinear()) {
    crashBackup_.hs = hs_;
    crashBackup_.x = x_;
  }
  crashBasis(4, prob_, in_.rowTypes, crashSettingsOf(p_), hs_, x_, in_.out);
  basis_.toInternalStates();
  basis_.request(FactorRequest::kNone);
  factorize();
}

// The crash puts inequality slacks on their bounds, and a model whose functions are undefined
// on such a boundary (log(x - y) with x - y >= 0) would end before its first step although they
// were defined where the crash began: there the crash is undone and the run goes on from the
// basis it had. False when the run must end.
bool MainLoop::undoInequalityCrash() {
  in_.out.both(" Itn %7d -- functions undefined at the crashed point: the crash of the LG rows is undone", counts_.itn);
  hs_ = std::move(crashBackup_.hs);
  x_ = std::move(crashBackup_.x);
  crashBackup_.hs.clear();
  crashBackup_.x.clear();
  basis_.request(FactorRequest::kNone);
  return factorize();
}

}  // namespace kavro
