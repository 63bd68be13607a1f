// kavro: the stand-alone optimizer. Reads SPECS options and an MPS problem, solves, and
// writes the summary report to standard output and the full report to the print file.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "builtin_example.hpp"
#include "command_line.hpp"
#include "driver/optimizer_impl.hpp"
#include "driver/work_estimate.hpp"
#include "files/mps_reader.hpp"
#include "kavro/solver.hpp"
#include "progress.hpp"

namespace {

using kavro::app::CommandLine;

bool readable(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (f) std::fclose(f);
  return f != nullptr;
}

// Unit numbers the command uses for its own files.
constexpr int kSpecsUnit = 4;
constexpr int kSummaryUnit = 6;
constexpr int kPrintUnit = 9;
constexpr int kProblemUnit = 98;

enum Status { kStatusOptimal = 0, kStatusNotOptimal = 1, kStatusInputError = 2 };

struct LoadedProblem {
  kavro::Problem problem;
  kavro::ProblemState state;
  bool ok = false;
};

// Sizes the MPS limits from the file itself, unless the options set them.
void sizeLimitsFromFile(kavro::Parameters& p, kavro::InputUnit& in, kavro::MpsFormat format) {
  if (p.rowLimit > 0 && p.columnLimit > 0 && p.elementsLimit > 0) return;
  const kavro::MpsDimensions d = kavro::scanMpsDimensions(in, format);
  auto fit = [](int64_t v) { return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(v + 1, 1), INT32_MAX)); };
  if (p.rowLimit <= 0) p.rowLimit = fit(d.rows);
  if (p.columnLimit <= 0) p.columnLimit = fit(d.columns);
  if (p.elementsLimit <= 0) p.elementsLimit = fit(d.elements);
}

LoadedProblem readProblem(kavro::Optimizer& opt, const CommandLine& cl, int unit) {
  kavro::Optimizer::Impl& s = opt.impl();
  LoadedProblem loaded;
  kavro::InputUnit* in = s.units.openInput(unit);
  if (!in) {
    std::fprintf(stderr, "kavro: cannot read the MPS file %s\n", s.units.pathOf(unit).c_str());
    return loaded;
  }
  const kavro::MpsFormat format = cl.freeMps ? kavro::MpsFormat::kFree : kavro::MpsFormat::kAutomatic;
  kavro::Parameters saved = s.params;
  const double start = kavro::processorSeconds();
  sizeLimitsFromFile(s.params, *in, format);
  kavro::MpsResult r = kavro::readMpsFile(s.params, *in, s.channels(), format);
  s.timers.recordBeforeRun(kavro::Timers::kMpsInput, kavro::processorSeconds() - start);
  // The limits were only for reading; the solve stores the true sizes.
  s.params.rowLimit = saved.rowLimit;
  s.params.columnLimit = saved.columnLimit;
  s.params.elementsLimit = saved.elementsLimit;
  if (r.exitCode != 0) return loaded;
  loaded.problem = std::move(r.problem);
  loaded.state = std::move(r.start);
  loaded.state.reducedCost.assign(static_cast<size_t>(loaded.problem.nb()), 0.0);
  loaded.ok = true;
  return loaded;
}

// The library's default iteration limit (3 x rows) suits a caller that restarts often; a user
// of the command wants the problem solved (degenerate problems can need many times more simplex
// iterations than rows: dfl001 takes 2.1 million with 18,301 rows and columns), so without an
// "Iterations limit" option the command allows 10,000,000 iterations, as the host library does,
// or 10 x (rows + columns) when that is more. Ctrl-C still ends a run early with its report.
void setCommandIterationLimit(kavro::Parameters& p, const kavro::Problem& problem) {
  if (p.iterationLimit != kavro::kUndefinedInt) return;
  const int64_t limit = std::max<int64_t>(10000000, 10 * (static_cast<int64_t>(problem.m) + problem.n));
  p.iterationLimit = static_cast<int32_t>(std::min<int64_t>(limit, 99999999));
}

kavro::SolveResult solve(kavro::Optimizer& opt, const kavro::Problem& problem, kavro::ProblemState& state,
                         kavro::app::Progress& progress) {
  setCommandIterationLimit(opt.impl().params, problem);
  kavro::SolveOptions options;
  // Without "Workspace (total)" the storage is the solver's to size, and to grow when the
  // basis factors need more; a length the user gave is a limit.
  const int64_t given = opt.impl().params.workspaceTotal;
  options.automaticStorage = given <= 0;
  options.workLength = given > 0 ? given : kavro::estimateWorkWords(problem.m, problem.n, problem.nElements(), 0);
  options.progress = progress.callback();
  const kavro::ProblemState start = state;
  kavro::SolveResult r = opt.solve(problem, state, options);
  if (r.exitCode == kavro::kWorkspaceTooSmall) {
    // Once more with the least storage the problem needs.
    state = start;
    options.workLength = r.minWorkWords;
    r = opt.solve(problem, state, options);
  }
  // The solve records the length it used; the next SPECS block must not take that for a
  // length the user gave.
  opt.impl().params.workspaceTotal = given;
  progress.done();
  return r;
}

int runBuiltin(kavro::Optimizer& opt, kavro::app::Progress& progress) {
  std::printf(" No problem file given: solving the built-in example problem BLEND.\n");
  std::fflush(stdout);
  kavro::Problem problem = kavro::app::builtinExample();
  kavro::ProblemState state;
  state.resizeFor(problem);
  return solve(opt, problem, state, progress).exitCode == 0 ? kStatusOptimal : kStatusNotOptimal;
}

void connectUnits(kavro::Optimizer& opt, const CommandLine& cl) {
  for (const auto& [unit, path] : cl.units) opt.connectUnit(unit, path);
  if (cl.summaryPath.empty()) opt.connectStream(kSummaryUnit, stdout);
  else opt.connectUnit(kSummaryUnit, cl.summaryPath);
  if (!cl.printPath.empty()) opt.connectUnit(kPrintUnit, cl.printPath);
  if (!cl.specsPath.empty()) opt.connectUnit(kSpecsUnit, cl.specsPath);
  if (!cl.problemPath.empty()) opt.connectUnit(kProblemUnit, cl.problemPath);
}

// Each block of the SPECS file runs the problem again with its options.
int runWithSpecs(kavro::Optimizer& opt, const CommandLine& cl, kavro::app::Progress& progress) {
  int status = kStatusOptimal;
  for (int problemNumber = 1;; ++problemNumber) {
    const int r = opt.readSpecsFile(problemNumber).result;
    if (r == 4 || (r == 3 && problemNumber > 1)) break;
    if (r == 1 || r == 2 || r == 3) {
      std::fprintf(stderr, "kavro: %s: %s\n", cl.specsPath.c_str(),
                   r == 2 ? "the file ends inside a Begin ... End block" : "no Begin ... End block found");
      return kStatusInputError;
    }
    kavro::Parameters& p = opt.impl().params;
    int unit = kProblemUnit;
    if (cl.problemPath.empty()) unit = p.mpsFile > 0 ? p.mpsFile : kSpecsUnit;
    else if (problemNumber > 1) opt.impl().units.closeInput(kProblemUnit);
    LoadedProblem loaded = readProblem(opt, cl, unit);
    if (!loaded.ok) return kStatusInputError;
    if (solve(opt, loaded.problem, loaded.state, progress).exitCode != 0) status = kStatusNotOptimal;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine cl;
  std::string error;
  if (!kavro::app::parseCommandLine(argc, argv, cl, error)) {
    std::fprintf(stderr, "kavro: %s\n\n%s", error.c_str(), kavro::app::usageText());
    return kStatusInputError;
  }
  if (cl.help) {
    std::fputs(kavro::app::usageText(), stdout);
    return 0;
  }
  if (cl.version) {
    std::puts("kavro 5.6");
    return 0;
  }
  if (!cl.specsPath.empty() && !readable(cl.specsPath)) {
    std::fprintf(stderr, "kavro: cannot read the SPECS file %s\n", cl.specsPath.c_str());
    return kStatusInputError;
  }

  kavro::Optimizer opt;
  connectUnits(opt, cl);
  opt.initialize({cl.printPath.empty() ? 0 : kPrintUnit, kSummaryUnit, cl.specsPath.empty() ? 0 : kSpecsUnit});
  kavro::app::Progress progress(!cl.quiet);

  if (!cl.specsPath.empty()) return runWithSpecs(opt, cl, progress);
  if (cl.problemPath.empty()) return runBuiltin(opt, progress);
  LoadedProblem loaded = readProblem(opt, cl, kProblemUnit);
  if (!loaded.ok) return kStatusInputError;
  return solve(opt, loaded.problem, loaded.state, progress).exitCode == 0 ? kStatusOptimal : kStatusNotOptimal;
}
