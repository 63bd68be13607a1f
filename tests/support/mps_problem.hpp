#pragma once
// Reading an MPS file for a test through the optimizer's own reader, with the reader's limits
// sized from the file.

#include <string>

#include "driver/optimizer_impl.hpp"
#include "files/mps_reader.hpp"

namespace kavro::testing {

// The file is read on unit 20 of opt; exitCode kMpsFatalErrors when it cannot be opened.
inline MpsResult readMpsForTest(Optimizer& opt, const std::string& path) {
  const int unit = 20;
  opt.connectUnit(unit, path);
  Optimizer::Impl& s = internalsOf(opt);
  InputUnit* in = s.units.openInput(unit);
  if (!in) {
    MpsResult failed;
    failed.exitCode = kMpsFatalErrors;
    return failed;
  }
  const MpsDimensions d = scanMpsDimensions(*in);
  s.params.rowLimit = static_cast<int32_t>(d.rows + 1);
  s.params.columnLimit = static_cast<int32_t>(d.columns + 1);
  s.params.elementsLimit = static_cast<int32_t>(d.elements + 1);
  return readMpsFile(s.params, *in, s.channels());
}

}  // namespace kavro::testing
