#include "driver/mps_load.hpp"

#include <algorithm>
#include <climits>

#include "driver/optimizer_impl.hpp"

namespace kavro {

namespace {

// Sizes the MPS limits from the file itself, unless the options set them.
void sizeLimitsFromFile(Parameters& p, InputUnit& in, MpsFormat format) {
  if (p.rowLimit > 0 && p.columnLimit > 0 && p.elementsLimit > 0) return;
  const MpsDimensions d = scanMpsDimensions(in, format);
  auto fit = [](int64_t v) { return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(v + 1, 1), INT32_MAX)); };
  if (p.rowLimit <= 0) p.rowLimit = fit(d.rows);
  if (p.columnLimit <= 0) p.columnLimit = fit(d.columns);
  if (p.elementsLimit <= 0) p.elementsLimit = fit(d.elements);
}

}  // namespace

MpsLoad loadMpsProblem(Optimizer& opt, int unit, MpsFormat format, MpsIntegers integers) {
  Optimizer::Impl& s = internalsOf(opt);
  MpsLoad loaded;
  InputUnit* in = s.units.openInput(unit);
  if (!in) {
    loaded.unreadable = s.units.inputError(unit);
    loaded.exitCode = kMpsFatalErrors;
    return loaded;
  }
  const Parameters saved = s.params;
  const double start = processorSeconds();
  sizeLimitsFromFile(s.params, *in, format);
  MpsResult r = readMpsFile(s.params, *in, s.channels(), format, integers);
  s.timers.recordBeforeRun(Timers::kMpsInput, processorSeconds() - start);
  s.params.rowLimit = saved.rowLimit;
  s.params.columnLimit = saved.columnLimit;
  s.params.elementsLimit = saved.elementsLimit;
  loaded.exitCode = r.exitCode;
  loaded.integerColumns = r.nIntegerColumns;
  if (r.exitCode != kOptimal) return loaded;
  loaded.problem = std::move(r.problem);
  loaded.state = std::move(r.start);
  loaded.state.reducedCost.assign(static_cast<size_t>(loaded.problem.nb()), 0.0);
  loaded.ok = true;
  return loaded;
}

}  // namespace kavro
