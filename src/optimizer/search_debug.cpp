#include "optimizer/search_debug.hpp"

#include "io/units.hpp"

namespace kavro::search {

namespace {

char flag(bool value) { return value ? 'T' : 'F'; }

}  // namespace

void printStart(const ReportChannels& out, int32_t itn, double pNorm, double gnorm) {
  out.print(" ");
  out.print(" Output from m6srch following iteration %7d     Norm p = %11.2e     Norm g = %11.2e", itn, pNorm, gnorm);
}

void printFirstCall(const ReportChannels& out, const LinesearchState& s) {
  out.print(" g0  tolabs  alfmax  %15.6e %15.6e %15.6e", s.g0, s.tolabs, s.alfmax);
  out.print(" targtg  tolrel   epsaf  %15.6e %15.6e %15.6e", s.targtg, s.tolrel, s.epsaf);
  out.print(" crampd  %c", flag(s.crampd));
}

void printTrial(const ReportChannels& out, const LinesearchState& s, bool withDerivatives) {
  if (withDerivatives) {
    out.print(" alfa    ftry    gtry    %15.6e %15.6e %15.6e", s.alfa, s.ftry, s.gtry);
  } else {
    out.print(" alfa    ftry    %15.6e %15.6e", s.alfa, s.ftry);
  }
}

void printState(const ReportChannels& out, const LinesearchState& s, bool withDerivatives) {
  out.print(" a       b       b - a   tol     %15.6e %15.6e %15.6e %15.6e", s.a + s.alfbst, s.b + s.alfbst, s.b - s.a,
            s.tol);
  out.print(" nsamea  nsameb  numf    %3d %3d %3d", s.nsamea, s.nsameb, s.numf);
  out.print(" braktd  extrap  closef  imprvd  %c %c %c %c", flag(s.braktd), flag(s.extrap), flag(s.closef),
            flag(s.imprvd));
  out.print(" found   quitI   %c %c", flag(s.found), flag(s.quitI));
  if (!withDerivatives) out.print(" quitFZ  quitS   %c %c", flag(s.quitFZ), flag(s.quitS));
  out.print(" alfbst  fbest   gbest   %15.6e %15.6e %15.6e", s.alfbst, s.fbest, s.gbest);
  out.print(" alfaw   fw      gw      %15.6e %15.6e %15.6e", s.alfaw, s.fw, s.gw);
  if (!withDerivatives) out.print(" alfav   fv      %15.6e %15.6e", s.alfav, s.fv);
}

void printNote(const ReportChannels& out, const char* label) { out.print(" %s", label); }

void printNote(const ReportChannels& out, const char* label, double value) { out.print(" %s %15.6e", label, value); }

void printNote(const ReportChannels& out, const char* label, double v1, double v2, double v3) {
  out.print(" %s %15.6e %15.6e %15.6e", label, v1, v2, v3);
}

void printEnd(const ReportChannels& out) {
  out.print(" ----------------------------------------------------------------------");
}

void printSummary(const ReportChannels& out, double alfmax, double pNorm, double gnorm, double gtp, int32_t numf) {
  out.print(" alfmax = %11.2e   pnorm  = %11.2e   gnorm  = %11.2e   g(t)p  = %11.2e   numf = %3d", alfmax, pNorm, gnorm,
            gtp, numf);
}

}  // namespace kavro::search
