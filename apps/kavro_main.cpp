// kavro: the stand-alone optimizer. Reads SPECS options and an MPS problem, solves, and
// writes the summary report to standard output and the full report to the print file.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "builtin_example.hpp"
#include "command_files.hpp"
#include "command_line.hpp"
#include "driver/command_solve.hpp"
#include "driver/mps_load.hpp"
#include "driver/optimizer_impl.hpp"
#include "driver/run_files.hpp"
#include "kavro/solver.hpp"
#include "nl_command.hpp"
#include "progress.hpp"
#include "signals.hpp"

namespace {

using kavro::app::CommandLine;
using kavro::app::kPrintUnit;
using kavro::app::kProblemUnit;
using kavro::app::kSpecsUnit;
using kavro::app::kSummaryUnit;

enum Status { kStatusOptimal = 0, kStatusNotOptimal = 1, kStatusInputError = 2, kStatusWriteFailed = 3 };

// Why a file cannot be read, or empty. The file is not opened: opening a named pipe and closing
// it again would lose what the writer sends.
std::string unreadableReason(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || ::access(path.c_str(), R_OK) != 0) return std::strerror(errno);
  return S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "";
}

// The problem file of a run (driver/mps_load.hpp), with the command's messages on standard error
// for the failures the reader does not report itself.
kavro::MpsLoad readProblem(kavro::Optimizer& opt, const CommandLine& cl, int unit) {
  const kavro::MpsFormat format = cl.freeMps ? kavro::MpsFormat::kFree : kavro::MpsFormat::kAutomatic;
  const kavro::MpsIntegers integers = cl.relaxIntegers ? kavro::MpsIntegers::kRelax : kavro::MpsIntegers::kRefuse;
  kavro::MpsLoad loaded = kavro::loadMpsProblem(opt, unit, format, integers);
  if (!loaded.unreadable.empty())
    std::fprintf(stderr, "kavro: cannot read the MPS file %s: %s\n",
                 kavro::printableText(internalsOf(opt).units.pathOf(unit)).c_str(), loaded.unreadable.c_str());
  else if (!loaded.ok && loaded.integerColumns > 0 && !cl.relaxIntegers)
    std::fprintf(stderr,
                 "kavro: the MPS file describes an integer program; --relax-integers solves its "
                 "continuous relaxation\n");
  return loaded;
}

// Exit status of one solve (the command's limits and storage: command_solve.hpp).
int solve(kavro::Optimizer& opt, const kavro::Problem& problem, kavro::ProblemState& state,
          kavro::app::Progress& progress) {
  kavro::CommandSolve how;
  how.progress = progress.callback();
  const kavro::SolveResult r = kavro::solveAsCommand(opt, problem, state, how);
  progress.done();
  if (r.exitCode == kavro::kFileClash) return kStatusInputError;
  if (r.exitCode == kavro::kOutOfMemory) {
    std::fprintf(stderr, "kavro: not enough memory for a model of %d variables and %d constraints\n", problem.n,
                 problem.m);
    return kStatusInputError;
  }
  return r.exitCode == 0 ? kStatusOptimal : kStatusNotOptimal;
}

int runBuiltin(kavro::Optimizer& opt, kavro::app::Progress& progress) {
  std::printf(" No problem file given: solving the built-in example problem BLEND.\n");
  std::fflush(stdout);
  kavro::Problem problem = kavro::app::builtinExample();
  kavro::ProblemState state;
  state.resizeFor(problem);
  return solve(opt, problem, state, progress);
}

// The files of a block's run, before the problem file is read: the MPS reader already writes
// to the print file the options name.
bool blockFilesClash(kavro::Optimizer& opt) {
  kavro::Optimizer::Impl& s = internalsOf(opt);
  return kavro::app::refuseClashes(kavro::runFileClashes(s.params, s.units));
}

// Each block of the SPECS file runs the problem again with its options, until ENDRUN, the end
// of the file or a stop signal.
int runWithSpecs(kavro::Optimizer& opt, const CommandLine& cl, kavro::app::Progress& progress,
                 kavro::app::WriteFailures& failures) {
  const std::string specs = kavro::printableText(cl.specsPath);
  int status = kStatusOptimal;
  for (int problemNumber = 1; !kavro::app::stopRequested(); ++problemNumber) {
    const int r = opt.readSpecsFile(problemNumber).result;
    if (r == 3 && problemNumber > 1) break;
    if (r == 4) {
      if (problemNumber > 1) break;
      std::fprintf(stderr, "kavro: %s: ENDRUN before any Begin ... End block: nothing was solved\n", specs.c_str());
      return kStatusInputError;
    }
    if (r == 1 || r == 2 || r == 3) {
      std::fprintf(stderr, "kavro: %s: %s\n", specs.c_str(),
                   r == 2 ? "the file ends inside a Begin ... End block" : "no Begin ... End block found");
      return kStatusInputError;
    }
    if (blockFilesClash(opt)) return kStatusInputError;
    kavro::Parameters& p = internalsOf(opt).params;
    int unit = kProblemUnit;
    if (cl.problemPath.empty()) unit = p.mpsFile > 0 ? p.mpsFile : kSpecsUnit;
    else if (kavro::InputUnit* again = internalsOf(opt).units.input(kProblemUnit))
      again->rewind();  // a pipe is not reopened
    kavro::MpsLoad loaded = readProblem(opt, cl, unit);
    if (!loaded.ok) return kStatusInputError;
    const int solved = solve(opt, loaded.problem, loaded.state, progress);
    failures.report(internalsOf(opt).units);
    if (solved == kStatusInputError) return solved;
    if (solved != kStatusOptimal) status = solved;
  }
  return status;
}

int runProblem(kavro::Optimizer& opt, const CommandLine& cl, kavro::app::WriteFailures& failures) {
  kavro::app::Progress progress(!cl.quiet);
  if (kavro::app::isNlRun(cl)) return kavro::app::runNlModel(opt, cl, progress);
  if (!cl.specsPath.empty()) return runWithSpecs(opt, cl, progress, failures);
  if (blockFilesClash(opt)) return kStatusInputError;
  if (cl.problemPath.empty()) return runBuiltin(opt, progress);
  kavro::MpsLoad loaded = readProblem(opt, cl, kProblemUnit);
  if (!loaded.ok) return kStatusInputError;
  return solve(opt, loaded.problem, loaded.state, progress);
}

// Memory that cannot be had anywhere ends the command with a message, never with an exception
// out of main (the solves and the readers say which model did not fit themselves).
int run(kavro::Optimizer& opt, const CommandLine& cl, kavro::app::WriteFailures& failures) {
  try {
    return runProblem(opt, cl, failures);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  std::fprintf(stderr, "kavro: not enough memory\n");
  return kStatusInputError;
}

}  // namespace

int main(int argc, char** argv) {
  kavro::app::watchStopSignals();
  CommandLine cl;
  std::string error;
  if (!kavro::app::parseCommandLine(argc, argv, cl, error)) {
    std::fprintf(stderr, "kavro: %s\n\n%s", kavro::printableText(error).c_str(), kavro::app::usageText());
    return kStatusInputError;
  }
  if (cl.help || cl.version) {
    std::fputs(cl.help ? kavro::app::usageText() : "kavro 5.6\n", stdout);
    return kavro::app::standardOutputWritten() ? 0 : kStatusWriteFailed;
  }
  if (!cl.specsPath.empty()) {
    const std::string why = unreadableReason(cl.specsPath);
    if (!why.empty()) {
      std::fprintf(stderr, "kavro: cannot read the SPECS file %s: %s\n", kavro::printableText(cl.specsPath).c_str(),
                   why.c_str());
      return kStatusInputError;
    }
  }

  kavro::Optimizer opt;
  // A stop signal also ends the reading of an input (a pipe that never ends, a long file).
  internalsOf(opt).units.setStopCheck(kavro::app::stopRequested);
  kavro::app::connectCommandUnits(opt, cl);
  if (kavro::app::refuseClashes(kavro::app::commandLineClashes(internalsOf(opt).units, cl))) return kStatusInputError;
  opt.initialize({cl.printPath.empty() ? 0 : kPrintUnit, kSummaryUnit, cl.specsPath.empty() ? 0 : kSpecsUnit});

  kavro::app::WriteFailures failures;
  int status = run(opt, cl, failures);
  if (kavro::app::stopRequested()) {
    std::fprintf(stderr, "kavro: stopped by %s\n", kavro::app::signalName(kavro::app::stopSignal()));
    // An input whose reading the signal ended is not at fault.
    if (status == kStatusInputError) status = kStatusNotOptimal;
  }
  const bool writeFailed = failures.finish(internalsOf(opt).units);
  return writeFailed && status != kStatusInputError ? kStatusWriteFailed : status;
}
