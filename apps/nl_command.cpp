#include "nl_command.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "command_solve.hpp"
#include "driver/optimizer_impl.hpp"
#include "driver/work_estimate.hpp"
#include "nl/ampl_options.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_names.hpp"
#include "nl/nl_reader.hpp"
#include "nl_results.hpp"

namespace kavro::app {

namespace {

enum Status { kStatusOptimal = 0, kStatusNotOptimal = 1, kStatusInputError = 2 };
constexpr const char* kSolverName = "KAVRO 5.6";
// The largest quasi-Newton factor the command sizes by itself: its updates cost the square of
// its order every iteration.
constexpr int64_t kHessianDimensionCap = 2000;
// Beyond that many nonlinear variables the quasi-Newton model keeps this many recent updates
// instead of a dense factor (measured over the models of 1000 to 5000 variables: ten pairs
// stall on ill-conditioned quadratics that thirty solve; a hundred cost more and solve no more).
constexpr int64_t kLimitedMemoryPairs = 30;
// Models with nonlinear constraints often need more than the library's 50 major iterations
// (measured: 14 more of the 493 models converge, all within 200); each one is cheap. Their
// subproblems, solved further than the library's 40 minor iterations allow, give better
// multipliers and linearization points (measured: about 18 more of the 493 converge).
constexpr int64_t kMajorIterationsLimit = 500;
constexpr int64_t kMinorIterationsLimit = 500;
// A model with nonlinear constraints that ends without a solution is solved again from its
// starting point with the penalty parameter raised tenfold, then a hundredfold: the augmented
// Lagrangian's usual remedy when its subproblems drift, run away or cannot be satisfied. Then
// from the all-slack basis instead of the crash (with the penalty as it was, then tenfold): the
// crash's triangular basis puts the nonbasic variables and slacks on bounds and can start the
// major iterations far from the model's point, where the linearizations are infeasible or the
// functions undefined. Measured over the 493 models with nonlinear constraints: the penalty 10
// or 100 given to every model loses about as many models the default solves as it gains, so the
// default comes first; as repeats after a failure none is lost.
struct Repeat {
  const char* penalty;
  bool slackBasis;
};
constexpr Repeat kRepeats[] = {{"10", false}, {"100", false}, {"1", true}, {"10", true}};

// Exits after which other settings may succeed: not the limits and interrupts of the host,
// storage, input or derivative errors. (The superbasics limit is the command's own choice when
// a repeat is allowed, and another path may need fewer superbasics.)
bool worthRetrying(int32_t exitCode) {
  switch (exitCode) {
    case 1: case 2: case 3: case 4: case 5: case 6: case 9: case 10: case 11: case 12: case 13: case 22: return true;
    default: return false;
  }
}

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
    if (cl_.summaryPath.empty()) opt_.impl().params.summaryFile = 0;
  }

  // The kavro_options lines, after the SPECS block's own (a block starts from the defaults).
  void applyOptions(bool report) {
    for (const std::string& line : ampl_.specsLines)
      if (opt_.setSpecsLine(line) != 0 && report) std::printf("kavro_options: '%s' is not an option\n", line.c_str());
  }

  // Settings that come from the model: its sense, and the superbasics limit and Hessian
  // dimension unless an option set them.
  void modelSettings(const nl::BuiltProblem& built) {
    if (built.objective >= 0) opt_.setSpecsLine(built.maximize ? "Maximize" : "Minimize");
    const Parameters& p = opt_.impl().params;
    if (built.problem.nNonlinCons > 0 && p.majorIterationsLimit == kUndefinedInt)
      opt_.setSpecsInteger("Major iterations", kMajorIterationsLimit);
    if (built.problem.nNonlinCons > 0 && p.minorIterationsLimit == kUndefinedInt)
      opt_.setSpecsInteger("Minor iterations", kMinorIterationsLimit);
    if (p.superbasicsLimit != kUndefinedInt || p.hessianDimension != kUndefinedInt) return;
    // A nonlinear model may need every nonlinear variable superbasic at once; the quasi-Newton
    // factor's order is kept where its dense updates stay cheap. Pricing admits every candidate
    // close to the best at once, so that a large subspace is not built one variable a time.
    const Problem& prob = built.problem;
    int64_t limit = superbasicsEstimate(built.nonlinearEntries);
    if (built.nonlinear()) limit = std::max<int64_t>(limit, int64_t{prob.nNonlinVars()} + 1);
    limit = std::min<int64_t>(limit, int64_t{prob.n} + prob.m + 1);
    opt_.setSpecsInteger("Superbasics limit", limit);
    opt_.setSpecsInteger("Hessian dimension", std::min<int64_t>(limit, kHessianDimensionCap));
    if (prob.nNonlinVars() > kHessianDimensionCap && p.hessianMemory == 0)
      opt_.setSpecsInteger("Hessian memory", kLimitedMemoryPairs);
    if (built.nonlinear() && p.multiplePrice <= 1) opt_.setSpecsInteger("Multiple price", limit);
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
    const auto start = std::chrono::steady_clock::now();
    const Parameters settings = opt_.impl().params;
    const ProblemState startingPoint = built.state;
    NonlinearFunctions* nonlinear = built.nonlinear() ? &functions : nullptr;
    // Every run but the last possible one is watched for running away (divergence_watch.hpp).
    DivergenceWatch watch;
    const bool repeatable = retryAllowed(built);
    SolveResult result = solveProblem(opt_, built.problem, built.state, progress_, nonlinear, built.nonlinearEntries,
                                      repeatable ? &watch : nullptr);
    for (size_t k = 0; k < std::size(kRepeats); ++k) {
      if (!repeatable || !(worthRetrying(result.exitCode) || watch.fired())) break;
      if (watch.fired())
        opt_.impl().channels().both(" The kavro command stopped the run at major iteration %d (no CPU limit): the violation"
                                    " of the nonlinear constraints stayed above %g times its best (%.1e at major %d) for"
                                    " %d major iterations",
                                    watch.stopMajor(), DivergenceWatch::kFactor, watch.bestViolation(), watch.bestMajor(),
                                    DivergenceWatch::kWindow);
      const Repeat& repeat = kRepeats[k];
      opt_.impl().channels().both(" Solved again from the model's starting point with Penalty parameter %s%s"
                                  " (the last run ended with exit %d)",
                                  repeat.penalty, repeat.slackBasis ? " and Crash option 0" : "", result.exitCode);
      opt_.impl().params = settings;
      opt_.setSpecsLine(std::string("Penalty parameter ") + repeat.penalty);
      if (repeat.slackBasis) opt_.setSpecsLine("Crash option 0");
      built.state = startingPoint;
      watch = DivergenceWatch{};
      const bool last = k + 1 == std::size(kRepeats);
      result = solveProblem(opt_, built.problem, built.state, progress_, nonlinear, built.nonlinearEntries,
                            last ? nullptr : &watch);
    }
    NlSolve s;
    s.model = &model_;
    s.built = &built;
    s.state = &built.state;
    s.result = result;
    s.params = &opt_.impl().params;
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    s.evaluationErrors = functions.evaluationErrors();
    return finish(s);
  }

  // Only the command's own choice of options is changed: not when the user gave a SPECS file or
  // kavro_options.
  bool retryAllowed(const nl::BuiltProblem& built) const {
    return cl_.specsPath.empty() && ampl_.specsLines.empty() && built.problem.nNonlinCons > 0;
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
      sol.objno = model_.nObjs() > 0 ? ampl_.objno : 0;
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
