// libFuzzer target for the SPECS option language: the input's lines go to the line decoder one
// by one, then the same lines are read as a SPECS file, block after block; each block is
// completed and listed. Reports go to /dev/null so that the printing paths run too.
// Checks beyond the sanitizers: no real parameter is ever NaN or infinite.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/units.hpp"
#include "specs/parameters.hpp"
#include "specs/specs.hpp"

namespace {

using kavro::Parameters;

std::vector<std::string> splitLines(std::string_view input) {
  std::vector<std::string> lines;
  while (!input.empty()) {
    const size_t end = input.find('\n');
    lines.emplace_back(input.substr(0, end));
    if (end == std::string_view::npos) break;
    input.remove_prefix(end + 1);
  }
  return lines;
}

void checkFinite(Parameters& p) {
  const double named[] = {p.lowerBoundDefault, p.upperBoundDefault, p.aijTolerance, p.feasibilityTolerance,
                          p.scaleTolerance, p.optimalityTolerance, p.pivotTolerance, p.weightOnObjective,
                          p.differenceInterval, p.linesearchTolerance, p.centralDifferenceInterval,
                          p.subspaceTolerance, p.radiusOfConvergence, p.rowTolerance, p.penaltyParameter,
                          p.luFactorTolerance, p.luUpdateTolerance, p.luSingularityTol, p.luSingularityTol2,
                          p.luDensity, p.cycleTolerance};
  for (double v : named)
    if (!std::isfinite(v)) __builtin_trap();
  for (int k = 1; k <= 30; ++k)
    if (!std::isfinite(kavro::rparmSlot(p, k))) __builtin_trap();
}

void completeAndList(Parameters& p, const kavro::ReportChannels& out) {
  p.rowLimit = 20;
  p.columnLimit = 30;
  p.elementsLimit = 90;
  kavro::setParameters(p, 2, out);
  p.printDetailed = true;  // list whatever the options said
  kavro::setParameters(p, 3, out);
  checkFinite(p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> lines = splitLines({reinterpret_cast<const char*>(data), size});

  kavro::UnitTable units;
  units.connect(9, "/dev/null");
  units.connect(10, "/dev/null");
  const kavro::ReportChannels out{&units, 9, 10};

  Parameters direct;
  direct.printFile = 9;
  direct.summaryFile = 10;
  kavro::setParameters(direct, 1, out);
  int errors = 0;
  for (const auto& line : lines) kavro::decodeSpecsLine(direct, line, out, errors);
  if (errors < 0 || errors > static_cast<int>(lines.size())) __builtin_trap();
  checkFinite(direct);
  completeAndList(direct, out);

  size_t next = 0;
  const kavro::SpecsLineSource source = [&](std::string& line) {
    if (next == lines.size()) return false;
    line = lines[next++];
    return true;
  };
  for (int problem = 1; problem <= 1000; ++problem) {
    Parameters p;
    p.printFile = 9;
    p.summaryFile = 10;
    const kavro::SpecsReadOutcome outcome = kavro::readSpecsBlock(p, problem, 4, source, out);
    if (outcome.result != kavro::kSpecsBlockRead) break;
    completeAndList(p, out);
  }
  return 0;
}
