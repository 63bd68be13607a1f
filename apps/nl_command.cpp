#include "nl_command.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "command_files.hpp"
#include "driver/command_solve.hpp"
#include "driver/optimizer_impl.hpp"
#include "driver/run_files.hpp"
#include "driver/work_estimate.hpp"
#include "io/output_guard.hpp"
#include "nl/ampl_options.hpp"
#include "nl/nl_curvature_probe.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_names.hpp"
#include "nl/nl_reader.hpp"
#include "nl_results.hpp"
#include "signals.hpp"

namespace kavro::app {

namespace {

enum Status { kStatusOptimal = 0, kStatusNotOptimal = 1, kStatusInputError = 2, kStatusWriteFailed = 3 };
constexpr const char* kSolverName = "KAVRO 5.6";
// The solve result number of a model that this version cannot solve (what it uses is refused).
constexpr int32_t kRefusedResult = 570;

bool endsWith(std::string_view s, std::string_view end) { return s.size() >= end.size() && s.ends_with(end); }

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

class NlRun {
 public:
  NlRun(Optimizer& opt, const CommandLine& cl, Progress& progress) : opt_(opt), cl_(cl), progress_(progress) {
    path_ = cl.problemPath;
    if (cl.ampl && !exists(path_) && exists(path_ + ".nl")) path_ += ".nl";
    stub_ = nl::stubOf(path_);
  }

  int run() {
    if (cl_.problemPath.empty()) {
      std::fprintf(stderr, "kavro: -AMPL needs the stub of the model (STUB or STUB.nl)\n");
      return kStatusInputError;
    }
    if (filesClash()) return kStatusInputError;
    nl::ReadResult r = nl::readNlFile(path_, stopRequested);
    for (const std::string& w : r.warnings)
      std::fprintf(stderr, "kavro: warning: %s: %s\n", printableText(path_).c_str(), printableText(w).c_str());
    if (!r.ok) return unreadable(r);
    model_ = std::move(r.model);
    try {
      return solveBlocks();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return outOfMemory();
  }

 private:
  std::string solPath() const { return stub_ + ".sol"; }

  // The files of the run beside the units (the model on the problem unit, the JSON and .sol
  // outputs, AMPL's name files), checked with the units' files before anything is written; a
  // run's own check covers them too from here on.
  bool filesClash() {
    using Kind = FileUse::Kind;
    UnitTable& units = internalsOf(opt_).units;
    opt_.connectUnit(kProblemUnit, path_);
    if (!cl_.solutionPath.empty()) units.declareUse({0, "--solution file", Kind::kOutput, cl_.solutionPath});
    if (cl_.ampl) units.declareUse({0, "solution file of the AMPL run", Kind::kOutput, solPath()});
    units.declareUse({0, "row names file", Kind::kInput, stub_ + ".row"});
    units.declareUse({0, "column names file", Kind::kInput, stub_ + ".col"});
    return refuseClashes(commandLineClashes(units, cl_));
  }

  // A model that cannot be read: said on standard error; under the protocol the .sol file of an
  // earlier run is removed, so that it is not taken for this run's answer.
  int unreadable(const nl::ReadResult& r) const {
    std::fprintf(stderr, "kavro: %s\n", printableText(r.error).c_str());
    if (cl_.ampl) removeEarlierSol();
    return r.stopped ? kStatusNotOptimal : kStatusInputError;
  }

  void removeEarlierSol() const {
    struct stat st {};
    if (::lstat(solPath().c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
      ::unlink(solPath().c_str());
  }

  int solveBlocks() {
    if (cl_.ampl) announceOptions();
    int status = kStatusOptimal;
    for (int block = 1;; ++block) {
      if (!cl_.specsPath.empty()) {
        const int result = opt_.readSpecsFile(block).result;
        if (result == 4 || (result == 3 && block > 1)) break;
        if (result != 0) {
          std::fprintf(stderr, "kavro: %s: %s\n", cl_.specsPath.c_str(),
                       result == 2 ? "the file ends inside a Begin ... End block" : "no Begin ... End block found");
          return kStatusInputError;
        }
      }
      applyOptions(block == 1);
      if (const std::vector<FileClash> clashes = runFileClashes(internalsOf(opt_).params, internalsOf(opt_).units);
          !clashes.empty())
        return refuseBlock(clashes);
      const int solved = solveOnce();
      if (solved == kStatusInputError || solved == kStatusWriteFailed) return solved;
      if (solved != kStatusOptimal) status = kStatusNotOptimal;
      if (cl_.specsPath.empty() || stopRequested()) break;
    }
    return status;
  }

  // Files of a block's options that clash: nothing is solved or written. Under the protocol the
  // .sol file says why, unless it is one of the files.
  int refuseBlock(const std::vector<FileClash>& clashes) {
    refuseClashes(clashes);
    if (!cl_.ampl) return kStatusInputError;
    for (const FileClash& c : clashes)
      if (c.first.path == solPath() || c.second.path == solPath()) return kStatusInputError;
    return answerAmpl("refused: " + clashes.front().text, nl::solveResultCode(kFileClash).code);
  }

  // The banner of the AMPL protocol with the options of kavro_options.
  void announceOptions() {
    const char* text = std::getenv("kavro_options");
    std::printf("%s%s%s\n", kSolverName, text && *text ? ": " : "", text ? text : "");
    ampl_ = nl::parseAmplOptions(text ? text : "");
    for (const std::string& e : ampl_.errors) std::printf("kavro_options: %s\n", e.c_str());
    // Under the protocol the summary report does not go to standard output.
    if (cl_.summaryPath.empty()) internalsOf(opt_).params.summaryFile = 0;
  }

  // The kavro_options lines, after the SPECS block's own (a block starts from the defaults). A
  // line the decoder rejects is reported with its reason, as a SPECS file's would be.
  void applyOptions(bool report) {
    for (size_t k = 0; k < ampl_.specsLines.size(); ++k) {
      const std::string why = opt_.explainedSpecsLine(ampl_.specsLines[k]);
      if (!why.empty() && report)
        std::printf("kavro_options: %s: %s\n", printableText(ampl_.words[k]).c_str(), printableText(why).c_str());
    }
  }

  // The model's sense, unless an option gave one: the user's Maximize or Minimize wins, and the
  // reports say so when it differs from the model's.
  void objectiveSense(const nl::BuiltProblem& built) {
    if (built.objective < 0) return;
    const Parameters& p = internalsOf(opt_).params;
    if (!p.objectiveSenseGiven) {
      opt_.setSpecsLine(built.maximize ? "Maximize" : "Minimize");
      return;
    }
    if ((p.objectiveSense < 0) == built.maximize) return;
    const char* note = p.objectiveSense < 0
                           ? " The objective is maximized, as the options ask (the model minimizes it)"
                           : " The objective is minimized, as the options ask (the model maximizes it)";
    if (cl_.ampl) std::printf("%s\n", note + 1);
    internalsOf(opt_).channels().both("%s", note);
  }

  // What the model itself settles: its sense; and, when an option asks for the single solve,
  // the superbasics limit that the host link sets from the model (the solve strategy sizes it
  // otherwise).
  void modelSettings(const nl::BuiltProblem& built) {
    objectiveSense(built);
    const Parameters& p = internalsOf(opt_).params;
    if (p.solveStrategy == kSingleSolve && p.superbasicsLimit == kUndefinedInt)
      opt_.setSpecsInteger("Superbasics limit", superbasicsEstimate(built.nonlinearEntries));
  }

  int solveOnce() {
    nl::BuildOptions options;
    options.relaxIntegers = cl_.relaxIntegers || ampl_.relaxIntegers;
    options.objective = ampl_.objno - 1;
    nl::BuiltProblem built;
    if (std::string why = nl::buildProblem(model_, options, built); !why.empty()) return refuse(why, kRefusedResult);
    if (!cl_.ampl) describe(built);
    modelSettings(built);
    nl::ModelFunctions functions(model_, built);
    nl::ModelCurvatureProbe curvature(model_, built);
    const auto start = std::chrono::steady_clock::now();
    CommandSolve how;
    how.functions = built.nonlinear() ? &functions : nullptr;
    how.curvature = built.nonlinear() ? &curvature : nullptr;
    how.nonlinearEntries = built.nonlinearEntries;
    how.defaultStrategy = kStrategySolve;
    how.progress = progress_.callback();
    NlSolve s;
    s.result = solveAsCommand(opt_, built.problem, built.state, how);
    progress_.done();
    s.model = &model_;
    s.built = &built;
    s.state = &built.state;
    s.params = &internalsOf(opt_).params;
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.evaluationErrors = functions.evaluationErrors();
    if (s.result.exitCode == kOutOfMemory) return outOfMemory();
    return finish(s);
  }

  void describe(const nl::BuiltProblem& b) const {
    const Problem& p = b.problem;
    const char* objective = b.objective < 0        ? "no objective"
                            : p.nNonlinObjVars > 0 ? "nonlinear objective"
                                                   : "linear objective";
    const char* sense = b.objective < 0 ? "" : b.maximize ? ", maximize" : ", minimize";
    std::printf(" Model %s: %d variables, %d constraints (%d nonlinear), %s%s\n", model_.name.c_str(), p.n,
                model_.nCons(), p.nNonlinCons, objective, sense);
    std::fflush(stdout);
  }

  // The result message of the AMPL protocol: what happened, the objective, the effort.
  std::string message(const NlSolve& s) const {
    std::string text = std::string(kSolverName) + ": " + nl::solveResultCode(s.result.exitCode).text;
    if (s.built->objective >= 0 && s.result.usable()) {
      char objective[64];
      std::snprintf(objective, sizeof objective, "; objective %.16g", s.result.objValue);
      text += objective;
    }
    text += "\n" + std::to_string(s.result.minorIterations) + " iterations";
    if (s.built->problem.nNonlinCons > 0) text += ", " + std::to_string(s.result.majorIterations) + " major iterations";
    if (s.evaluationErrors > 0) text += ", " + std::to_string(s.evaluationErrors) + " evaluation errors";
    return text;
  }

  int finish(const NlSolve& s) {
    const std::string text = message(s);
    if (cl_.ampl) {
      std::printf("%s\n", text.c_str());
      if (!writeSol(solFile(s, text))) return kStatusWriteFailed;
    }
    if (!cl_.solutionPath.empty()) {
      SolutionReport report = solutionReport(s, path_, nl::readAuxiliaryNames(stub_ + ".row", model_.nCons()),
                                             nl::readAuxiliaryNames(stub_ + ".col", model_.nVars()));
      if (stopRequested()) report.stopSignal = signalName(stopSignal());
      if (std::string e = writeSolutionReport(report, cl_.solutionPath); !e.empty()) {
        std::fprintf(stderr, "kavro: %s\n", printableText(e).c_str());
        return kStatusWriteFailed;
      }
    }
    if (cl_.ampl) return kStatusOptimal;
    return s.result.exitCode == 0 ? kStatusOptimal : kStatusNotOptimal;
  }

  // The model cannot be solved: said on standard error and, under the protocol, in the .sol
  // file with the given solve result number.
  int refuse(const std::string& why, int32_t solveResult) {
    std::fprintf(stderr, "kavro: %s: %s\n", printableText(path_).c_str(), printableText(why).c_str());
    return cl_.ampl ? answerAmpl(why, solveResult) : kStatusInputError;
  }

  int outOfMemory() {
    return refuse("not enough memory for a model of " + std::to_string(model_.nVars()) + " variables and " +
                      std::to_string(model_.nCons()) + " constraints",
                  nl::solveResultCode(kOutOfMemory).code);
  }

  // A run without a solution, under the protocol: the result line and a .sol file without values.
  int answerAmpl(const std::string& why, int32_t solveResult) {
    const std::string text = std::string(kSolverName) + ": " + why;
    std::printf("%s\n", printableText(text).c_str());
    nl::SolFile sol = nl::solFileFor(model_, text, solveResult);
    sol.objno = model_.nObjs() > 0 ? ampl_.objno - 1 : -1;
    return writeSol(sol) ? kStatusOptimal : kStatusWriteFailed;
  }

  // STUB.sol, replaced whole: an interrupted or failed save leaves the earlier file.
  bool writeSol(const nl::SolFile& sol) const {
    const std::string failure = replaceFileContents(solPath(), nl::solFileText(sol));
    if (!failure.empty()) std::fprintf(stderr, "kavro: cannot write %s\n", printableText(failure).c_str());
    return failure.empty();
  }

  Optimizer& opt_;
  const CommandLine& cl_;
  Progress& progress_;
  std::string path_, stub_;
  nl::Model model_;
  nl::AmplOptions ampl_;
};

}  // namespace

bool isNlRun(const CommandLine& cl) {
  return cl.ampl || endsWith(cl.problemPath, ".nl") || endsWith(cl.problemPath, ".nl.gz");
}

int runNlModel(Optimizer& opt, const CommandLine& cl, Progress& progress) { return NlRun(opt, cl, progress).run(); }

}  // namespace kavro::app
