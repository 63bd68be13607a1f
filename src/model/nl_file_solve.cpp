// An AMPL .nl model solved into a ModelResult, for callers of the model API who hold a file: the
// model as the kavro command makes it (its first objective, its sense, Solve strategy 1 unless
// an option chooses) and the answer in the file's numbering.

#include <chrono>
#include <numeric>

#include "kavro/model.hpp"
#include "model/model_answer.hpp"
#include "nl/nl_curvature_probe.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_reader.hpp"
#include "nl/nl_sol.hpp"

namespace kavro {

namespace {

ModelResult refused(const std::string& why) {
  ModelResult r;
  r.status = ModelStatus::kInvalidModel;
  r.exitCode = kInvalidProblemData;
  r.message = why;
  return r;
}

// The .nl builder keeps the file's order: columns are the variables, rows the constraints.
model::Layout fileOrder(const nl::BuiltProblem& built, int32_t constraints, model::ModelData& data) {
  model::Layout layout;
  layout.problem = built.problem;
  layout.columnOf.resize(static_cast<size_t>(built.problem.n));
  std::iota(layout.columnOf.begin(), layout.columnOf.end(), 0);
  layout.rowOf.resize(static_cast<size_t>(constraints));
  std::iota(layout.rowOf.begin(), layout.rowOf.end(), 0);
  data.lower.assign(static_cast<size_t>(built.problem.n), 0.0);
  data.conLower.assign(static_cast<size_t>(constraints), 0.0);
  data.sense = built.maximize ? Sense::kMaximize : Sense::kMinimize;
  return layout;
}

}  // namespace

ModelResult solveNlFile(const std::string& path, std::span<const std::string> options, IterationCallback progress) {
  const auto started = std::chrono::steady_clock::now();
  nl::ReadResult read = nl::readNlFile(path);
  if (!read.ok) return refused(read.error);
  nl::BuiltProblem built;
  if (std::string why = nl::buildProblem(read.model, {}, built); !why.empty()) return refused(path + ": " + why);
  Optimizer opt;
  for (const std::string& line : options)
    if (opt.setSpecsLine(line) != 0) return refused("'" + line + "' is not an option");
  if (built.objective >= 0) opt.setSpecsLine(built.maximize ? "Maximize" : "Minimize");
  nl::ModelFunctions functions(read.model, built);
  nl::ModelCurvatureProbe curvature(read.model, built);
  SolveOptions how;
  how.curvature = built.nonlinear() ? &curvature : nullptr;
  how.automaticStorage = true;
  how.functions = built.nonlinear() ? &functions : nullptr;
  how.nonlinearEntries = built.nonlinearEntries;
  how.defaultStrategy = kStrategySolve;
  how.progress = std::move(progress);
  const SolveResult solved = opt.solve(built.problem, built.state, how);
  model::ModelData data;
  const model::Layout layout = fileOrder(built, read.model.nCons(), data);
  ModelResult r;
  r.exitCode = solved.exitCode;
  r.status = model::statusOf(solved.exitCode, false);
  r.message = nl::solveResultCode(solved.exitCode).text;
  r.objective = built.objective >= 0 ? solved.objValue : 0.0;
  model::mapAnswer(data, layout, built.state, {}, r);
  r.iterations = solved.minorIterations;
  r.majorIterations = solved.majorIterations;
  r.objectiveCalls = functions.objectiveCalls();
  r.constraintCalls = functions.constraintCalls();
  r.runs = solved.runs;
  r.certificate = solved.certificate;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return r;
}

}  // namespace kavro
