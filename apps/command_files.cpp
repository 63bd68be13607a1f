#include "command_files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/optimizer_impl.hpp"

namespace kavro::app {

void connectCommandUnits(Optimizer& opt, const CommandLine& cl) {
  for (const auto& [unit, path] : cl.units) opt.connectUnit(unit, path);
  if (cl.summaryPath.empty()) opt.connectStream(kSummaryUnit, stdout, "standard output");
  else opt.connectUnit(kSummaryUnit, cl.summaryPath);
  if (!cl.printPath.empty()) opt.connectUnit(kPrintUnit, cl.printPath);
  if (!cl.specsPath.empty()) opt.connectUnit(kSpecsUnit, cl.specsPath);
  if (!cl.problemPath.empty()) {
    opt.connectUnit(kProblemUnit, cl.problemPath);
    internalsOf(opt).units.declareUse({kProblemUnit, "problem file", FileUse::Kind::kInput});
  }
}

std::vector<FileClash> commandLineClashes(const UnitTable& units, const CommandLine& cl) {
  using Kind = FileUse::Kind;
  std::vector<FileUse> uses = {{kSummaryUnit, "summary file", Kind::kReport}};
  if (!cl.printPath.empty()) uses.push_back({kPrintUnit, "print file", Kind::kReport});
  if (!cl.specsPath.empty()) uses.push_back({kSpecsUnit, "SPECS file", Kind::kInput});
  for (const auto& [unit, path] : cl.units) uses.push_back({unit, "--unit file", Kind::kInput});
  return findFileClashes(units, uses);
}

bool refuseClashes(const std::vector<FileClash>& clashes) {
  for (const FileClash& c : clashes) std::fprintf(stderr, "kavro: %s\n", c.text.c_str());
  if (!clashes.empty())
    std::fprintf(stderr, "kavro: refused: an output would be written over an input or another output\n");
  return !clashes.empty();
}

bool WriteFailures::report(const UnitTable& units) {
  const std::vector<UnitFailure>& failures = units.failures();
  for (; reported_ < failures.size(); ++reported_)
    std::fprintf(stderr, "kavro: cannot write %s\n", printableText(failures[reported_].text).c_str());
  any_ = any_ || !failures.empty();
  return any_;
}

bool WriteFailures::finish(UnitTable& units) {
  units.closeOutputs();
  report(units);
  // Standard output also carries text from outside the unit table (the built-in example's note);
  // a failure the table has reported already is not reported again.
  const bool reported = units.isStream(kSummaryUnit) && units.failureOf(kSummaryUnit);
  if (!standardOutputWritten(!reported)) any_ = true;
  return any_;
}

bool standardOutputWritten(bool reportFailure) {
  errno = 0;
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
  if (reportFailure)
    std::fprintf(stderr, "kavro: cannot write standard output: %s\n", errno ? std::strerror(errno) : "write error");
  return false;
}

}  // namespace kavro::app
