// libFuzzer target for the SPECS option language: the input's lines go to the line decoder one
// by one, then the same lines are read as a SPECS file, block after block; each block's files
// (the unit options) are checked for clashes against units connected to a few paths, and the
// block is completed and listed. Reports go to /dev/null so that the printing paths run too.
// Checks beyond the sanitizers: no real parameter is ever NaN or infinite, no file number leaves
// 0..99, no ranged option or tolerance is ever stored outside its admissible range, and a clash
// is found exactly when two of the block's files share a unit that is not a report's.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run_files.hpp"
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

// What decoding may store: file numbers 0..99, option numbers that select something, and
// tolerances below 1 (or not positive, which completion replaces). Undefined values pass.
void checkRanges(const Parameters& p) {
  for (int32_t unit : {p.mpsFile, p.oldBasisFile, p.solutionFile, p.newBasisFile, p.printFile, p.insertFile,
                       p.backupBasisFile, p.punchFile, p.loadFile, p.dumpFile, p.summaryFile, p.reportFile})
    if (unit < 0 || unit > 99) __builtin_trap();
  // Options left unset stay undefined until the run completes them (the solve strategy must see
  // which ones the caller gave), so only a defined value must lie in its range.
  const auto defined = [](int32_t v) { return v != kavro::kUndefinedInt; };
  if (p.scaleOption > 2 || (defined(p.crashOption) && (p.crashOption < 0 || p.crashOption > 3)) ||
      (defined(p.multiplePrice) && p.multiplePrice < 1))
    __builtin_trap();
  for (double v : {p.feasibilityTolerance, p.optimalityTolerance, p.pivotTolerance, p.luSingularityTol,
                   p.luSingularityTol2, p.functionPrecision, p.rowTolerance, p.aijTolerance, p.luSwapTolerance})
    if (v >= 1.0) __builtin_trap();
}

// The clash check of a block's files: units 20..24 are connected to two paths (so that different
// numbers can reach one file), the rest are fort.N; whatever the options, the check must agree
// with a direct count of the output units that share a number with another use.
void checkFileClashes(const Parameters& p, const kavro::UnitTable& units) {
  const std::vector<kavro::FileClash> clashes = kavro::runFileClashes(p, units);
  for (const kavro::FileClash& c : clashes)
    if (c.text.empty() || (c.first.unit <= 0) || (c.second.unit <= 0)) __builtin_trap();
  const std::vector<kavro::FileUse> uses = kavro::runFileUses(p);
  bool sharedOutput = false;
  for (size_t i = 0; i < uses.size(); ++i)
    for (size_t j = i + 1; j < uses.size(); ++j) {
      const kavro::FileUse& a = uses[i];
      const kavro::FileUse& b = uses[j];
      if (a.unit <= 0 || a.unit != b.unit) continue;
      const bool report = a.kind == kavro::FileUse::Kind::kReport || b.kind == kavro::FileUse::Kind::kReport;
      const bool bothWrite = a.writes() && b.writes();
      if ((a.writes() || b.writes()) && !(report && bothWrite)) sharedOutput = true;
    }
  if (sharedOutput && clashes.empty()) __builtin_trap();
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
  for (int unit = 20; unit <= 24; ++unit)
    units.connect(unit, unit % 2 ? "/nonexistent/kavro_fuzz/a" : "/nonexistent/kavro_fuzz/../kavro_fuzz/b");
  const kavro::ReportChannels out{&units, 9, 10};

  Parameters direct;
  direct.printFile = 9;
  direct.summaryFile = 10;
  kavro::setParameters(direct, 1, out);
  int errors = 0;
  for (const auto& line : lines) kavro::decodeSpecsLine(direct, line, out, errors);
  if (errors < 0 || errors > static_cast<int>(lines.size())) __builtin_trap();
  checkFinite(direct);
  checkRanges(direct);
  checkFileClashes(direct, units);
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
    checkRanges(p);
    checkFileClashes(p, units);
    completeAndList(p, out);
  }
  return 0;
}
