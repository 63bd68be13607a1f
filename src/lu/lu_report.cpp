// Messages and the statistics block of the factorization.
#include <cstdarg>

#include "io/units.hpp"
#include "lu/lu_internal.hpp"

namespace kavro::lu::detail {

void Printer::line(int32_t atLeast, const char* format, ...) const {
  if (!on(atLeast)) return;
  va_list args;
  va_start(args, format);
  units->vprintf(unit, format, args);
  va_end(args);
}

static char shapeOf(int32_t m, int32_t n) { return m > n ? '>' : (m == n ? '=' : '<'); }

void printFirstStatsLine(const Printer& print, int32_t m, int32_t n, int32_t nelem, double amax) {
  const double density = (m > 0 && n > 0) ? 100.0 * nelem / (static_cast<double>(m) * n) : 0.0;
  print.line(10, "%s", "");
  print.line(10, " m%8d %c n%8d  Elems%9d  Amax%10.1e  Density%7.2f", m, shapeOf(m, n), n, nelem, amax, density);
}

void printStatistics(const Printer& print, int32_t m, int32_t /*n*/, int32_t nelem, LuParams& p) {
  if (!print.on(10)) return;
  static const char* const kRuleCode[] = {"PP", "RP", "CP", "SP"};
  const int32_t rule = (p.pivotRule() >= 0 && p.pivotRule() <= 3) ? p.pivotRule() : 0;
  const double merit = m > 0 ? static_cast<double>(p.meritSum()) / m : 0.0;
  const double incres = 100.0 * (p.lenL() + p.lenU() - nelem) / (nelem > 1 ? nelem : 1);
  const double ltol = p.factorTol() > 1.0001 ? p.factorTol() : 1.0001;
  char line2[400];
  int len;
  if (rule == kPartial) {
    len = std::snprintf(line2, sizeof line2, " Merit%8.1f", merit);
  } else {
    len = std::snprintf(line2, sizeof line2, " Mer%s%8.1f", kRuleCode[rule], merit);
  }
  len += std::snprintf(line2 + len, sizeof line2 - len,
                       "  lenL%9d  L+U%11d  Cmpressns%5d  Incres%8.2f  Utri%9d  lenU%9d  Ltol%10.2e  Umax%10.1e",
                       p.lenL(), p.lenL() + p.lenU(), p.compressions(), incres, p.utri(), p.lenU(), ltol, p.umax());
  if (rule == kPartial) {
    len += std::snprintf(line2 + len, sizeof line2 - len, "  Ugrwth%8.1e  Ltri%9d  dense1%7d  Lmax%10.1e", p.growth(),
                         p.ltri(), p.dense1Step(), p.lmax());
  } else {
    len += std::snprintf(line2 + len, sizeof line2 - len,
                         "  Ugrwth%8.1e  Ltri%9d  dense1%7d  Lmax%10.1e  Akmax%10.1e  Agrwth%8.1e",
                         p.umax() / (p.amax() + 1e-20), p.ltri(), p.dense1Step(), p.lmax(), p.akmax(), p.growth());
  }
  print.units->writeLine(print.unit, line2);
  const int32_t bump = m - p.utri() - p.ltri();
  const double dumin = p.dumin() <= 1e-20 ? 1e-20 : p.dumin();
  print.line(10, " bump%9d  dense2%7d  DUmax%10.1e  DUmin%10.1e  condU%8.1e", bump, p.dense2Step(), p.dumax(),
             p.dumin(), p.dumax() / dumin);
}

}  // namespace kavro::lu::detail
