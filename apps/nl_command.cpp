#include "nl_command.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "command_solve.hpp"
#include "driver/optimizer_impl.hpp"
#include "driver/work_estimate.hpp"
#include "nl/ampl_options.hpp"
#include "nl/nl_curvature_probe.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_names.hpp"
#include "nl/nl_reader.hpp"
#include "nl_results.hpp"

namespace kavro::app {

namespace {

enum Status { kStatusOptimal = 0, kStatusNotOptimal = 1, kStatusInputError = 2 };
constexpr const char* kSolverName = "KAVRO 5.6";

bool endsWith(std::string_view s, std::string_view end) { return s.size() >= end.size() && s.ends_with(end); }

bool exists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (f) std::fclose(f);
  return f != nullptr;
}

class NlRun {
 public:
  NlRun(Optimizer& opt, const CommandLine& cl, Progress& progress) : opt_(opt), cl_(cl), progress_(progress) {
    path_ = cl.problemPath;
    if (cl.ampl && !exists(path_) && exists(path_ + ".nl")) path_ += ".nl";
    stub_ = path_;
    for (std::string_view ext : {".gz", ".nl"})
      if (endsWith(stub_, ext)) stub_.resize(stub_.size() - ext.size());
  }

  int run() {
    if (cl_.problemPath.empty()) {
      std::fprintf(stderr, "kavro: -AMPL needs the stub of the model (STUB or STUB.nl)\n");
      return kStatusInputError;
    }
    nl::ReadResult r = nl::readNlFile(path_);
    if (!r.ok) {
      std::fprintf(stderr, "kavro: %s\n", r.error.c_str());
      return kStatusInputError;
    }
    model_ = std::move(r.model);
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
      const int solved = solveOnce();
      if (solved == kStatusInputError) return solved;
      if (solved != kStatusOptimal) status = kStatusNotOptimal;
      if (cl_.specsPath.empty()) break;
    }
    return status;
  }

 private:
  // The banner of the AMPL protocol with the options of kavro_options.
  void announceOptions() {
    const char* text = std::getenv("kavro_options");
    std::printf("%s%s%s\n", kSolverName, text && *text ? ": " : "", text ? text : "");
    ampl_ = nl::parseAmplOptions(text ? text : "");
    for (const std::string& e : ampl_.errors) std::printf("kavro_options: %s\n", e.c_str());
    // Under the protocol the summary report does not go to standard output.
    if (cl_.summaryPath.empty()) internalsOf(opt_).params.summaryFile = 0;
  }

  // The kavro_options lines, after the SPECS block's own (a block starts from the defaults).
  void applyOptions(bool report) {
    for (const std::string& line : ampl_.specsLines)
      if (opt_.setSpecsLine(line) != 0 && report) std::printf("kavro_options: '%s' is not an option\n", line.c_str());
  }

  // What the model itself settles: its sense; and, when an option asks for the single solve,
  // the superbasics limit that the host link sets from the model (the solve strategy sizes it
  // otherwise).
  void modelSettings(const nl::BuiltProblem& built) {
    if (built.objective >= 0) opt_.setSpecsLine(built.maximize ? "Maximize" : "Minimize");
    const Parameters& p = internalsOf(opt_).params;
    if (p.solveStrategy == kSingleSolve && p.superbasicsLimit == kUndefinedInt)
      opt_.setSpecsInteger("Superbasics limit", superbasicsEstimate(built.nonlinearEntries));
  }

  int solveOnce() {
    nl::BuildOptions options;
    options.relaxIntegers = cl_.relaxIntegers || ampl_.relaxIntegers;
    options.objective = ampl_.objno - 1;
    nl::BuiltProblem built;
    if (std::string why = nl::buildProblem(model_, options, built); !why.empty()) return refuse(why);
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
    NlSolve s;
    s.result = solveProblem(opt_, built.problem, built.state, progress_, how);
    s.model = &model_;
    s.built = &built;
    s.state = &built.state;
    s.params = &internalsOf(opt_).params;
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.evaluationErrors = functions.evaluationErrors();
    return finish(s);
  }

  void describe(const nl::BuiltProblem& b) const {
    const Problem& p = b.problem;
    const char* objective = b.objective < 0 ? "no objective" : p.nNonlinObjVars > 0 ? "nonlinear objective" : "linear objective";
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
      if (!writeSol(solFile(s, text))) return kStatusInputError;
    }
    if (!cl_.solutionPath.empty()) {
      const SolutionReport report = solutionReport(s, path_, nl::readAuxiliaryNames(stub_ + ".row", model_.nCons()),
                                                   nl::readAuxiliaryNames(stub_ + ".col", model_.nVars()));
      if (std::string e = writeSolutionReport(report, cl_.solutionPath); !e.empty()) {
        std::fprintf(stderr, "kavro: %s\n", e.c_str());
        return kStatusInputError;
      }
    }
    if (cl_.ampl) return kStatusOptimal;
    return s.result.exitCode == 0 ? kStatusOptimal : kStatusNotOptimal;
  }

  // The model cannot be given to the optimizer: said on standard error and, under the protocol,
  // in the .sol file (result 570).
  int refuse(const std::string& why) {
    std::fprintf(stderr, "kavro: %s: %s\n", path_.c_str(), why.c_str());
    if (cl_.ampl) {
      const std::string text = std::string(kSolverName) + ": " + why;
      std::printf("%s\n", text.c_str());
      nl::SolFile sol = nl::solFileFor(model_, text, 570);
      sol.objno = model_.nObjs() > 0 ? ampl_.objno - 1 : -1;
      if (writeSol(sol)) return kStatusOptimal;
    }
    return kStatusInputError;
  }

  bool writeSol(const nl::SolFile& sol) const {
    const std::string e = nl::writeSolFile(stub_ + ".sol", sol);
    if (!e.empty()) std::fprintf(stderr, "kavro: %s\n", e.c_str());
    return e.empty();
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
