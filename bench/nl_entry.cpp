// nl_entry: a .nl model solved through the C++ solver entry (kavro::Optimizer::solve) as a
// library caller solves it: the model read with the .nl reader, the optimizer's problem and
// functions built from it, the options given as SPECS lines, and the answer written as the JSON
// of `kavro --solution` (the same statuses, records and certificate), which bench/nl_certify
// checks.
//
//   nl_entry [--line "SPECS LINE"]... --solution FILE.json MODEL.nl[.gz]
//
// The lines are set in order before the model's sense; without any, "Solve strategy 1". Nothing
// is printed but errors. Exit status 0 optimal, 1 another optimizer exit, 2 a usage error or a
// model that cannot be read or solved, 3 the JSON could not be written.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/optimizer_impl.hpp"
#include "kavro/solver.hpp"
#include "nl/nl_curvature_probe.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_reader.hpp"
#include "nl_results.hpp"

namespace {

enum Status { kStatusOptimal = 0, kStatusNotOptimal = 1, kStatusUsage = 2, kStatusWriteFailed = 3 };

struct Arguments {
  std::vector<std::string> lines;
  std::string solution, model;
};

bool parse(int argc, char** argv, Arguments& a) {
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--line" && k + 1 < argc) a.lines.push_back(argv[++k]);
    else if (arg == "--solution" && k + 1 < argc) a.solution = argv[++k];
    else if (!arg.empty() && arg[0] != '-' && a.model.empty()) a.model = arg;
    else return false;
  }
  if (a.lines.empty()) a.lines.push_back("Solve strategy 1");
  return !a.model.empty() && !a.solution.empty();
}

int solve(const Arguments& a) {
  kavro::nl::ReadResult read = kavro::nl::readNlFile(a.model);
  if (!read.ok) {
    std::fprintf(stderr, "nl_entry: %s\n", read.error.c_str());
    return kStatusUsage;
  }
  kavro::nl::BuiltProblem built;
  if (const std::string why = kavro::nl::buildProblem(read.model, {}, built); !why.empty()) {
    std::fprintf(stderr, "nl_entry: %s: %s\n", a.model.c_str(), why.c_str());
    return kStatusUsage;
  }
  kavro::nl::ModelFunctions functions(read.model, built);
  kavro::nl::ModelCurvatureProbe curvature(read.model, built);
  kavro::Optimizer opt;
  for (const std::string& line : a.lines)
    if (opt.setSpecsLine(line) != 0) {
      std::fprintf(stderr, "nl_entry: '%s' is not an option\n", line.c_str());
      return kStatusUsage;
    }
  if (built.objective >= 0) opt.setSpecsLine(built.maximize ? "Maximize" : "Minimize");
  kavro::SolveOptions options;
  options.automaticStorage = true;
  options.functions = built.nonlinear() ? &functions : nullptr;
  options.curvature = built.nonlinear() ? &curvature : nullptr;
  options.nonlinearEntries = built.nonlinearEntries;
  const auto start = std::chrono::steady_clock::now();
  kavro::app::NlSolve s;
  s.result = opt.solve(built.problem, built.state, options);
  s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  s.model = &read.model;
  s.built = &built;
  s.state = &built.state;
  s.params = &internalsOf(opt).params;
  s.evaluationErrors = functions.evaluationErrors();
  const kavro::app::SolutionReport report = kavro::app::solutionReport(s, a.model, {}, {});
  if (const std::string e = kavro::app::writeSolutionReport(report, a.solution); !e.empty()) {
    std::fprintf(stderr, "nl_entry: %s\n", e.c_str());
    return kStatusWriteFailed;
  }
  return s.result.exitCode == kavro::kOptimal ? kStatusOptimal : kStatusNotOptimal;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments a;
  if (!parse(argc, argv, a)) {
    std::fprintf(stderr, "usage: nl_entry [--line \"SPECS LINE\"]... --solution FILE.json MODEL.nl\n");
    return kStatusUsage;
  }
  return solve(a);
}
