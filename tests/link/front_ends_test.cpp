// One solver behind every door: a .nl model solved by the kavro command, by the host library
// through qarnhost with "solve_strategy 1", and by the C++ Optimizer with "Solve strategy 1"
// gives the same run: the same exit, iterations, objective and point, to the last bit, and the
// same certificate of that point. A linear program, models with linear and with nonlinear
// constraints, two that need repeats, and one that none of the repeats makes feasible.

#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "link_test_support.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_problem.hpp"
#include "nl/nl_reader.hpp"

namespace kavro::link::test {
namespace {

struct Case {
  const char* model;
  int32_t runs;  // the runs the strategy makes
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.model; }

// What a front end returned.
struct Outcome {
  int32_t exitCode = -1;
  int modelStatus = -1;
  long long iterations = -1;
  double objective = 0.0;
  std::vector<double> levels;
  bool certified = false;
  double primal = 0.0, dual = 0.0;  // relative
};

class FrontEnds : public HostTest, public ::testing::WithParamInterface<Case> {
 protected:
  std::string modelPath() const { return std::string(KAVRO_TEST_DATA_DIR "/nl/") + GetParam().model + ".nl"; }

  // Runs a program in the scratch directory; the JSON it wrote.
  nlohmann::json runProgram(const std::string& command, std::string& output) {
    const int rc = std::system(("cd " + scratch_ + " && " + command + " > out.txt 2>&1").c_str());
    output = readFile(scratch_ + "/out.txt");
    EXPECT_TRUE(WIFEXITED(rc)) << output;
    return nlohmann::json::parse(readFile(scratch_ + "/run.json"), nullptr, false);
  }

  static Outcome fromJson(const nlohmann::json& j) {
    Outcome o;
    o.exitCode = j.value("exitCode", -1);
    o.modelStatus = j.value("modelStatus", -1);
    o.iterations = j.value("iterations", -1LL);
    o.objective = j.value("objective", 0.0);
    for (const auto& c : j["columns"]) o.levels.push_back(c["level"].is_null() ? NAN : c["level"].get<double>());
    const nlohmann::json& c = j["certificate"];
    o.certified = c.value("passed", false);
    o.primal = c.value("maxPrimalInfeasRelative", -1.0);
    o.dual = c.value("maxDualInfeasRelative", -1.0);
    return o;
  }

  Outcome command(std::string& output) {
    return fromJson(runProgram(std::string(KAVRO_PROGRAM) + " --quiet --solution run.json " + modelPath(), output));
  }

  // The host's evaluation-error limit is lifted: the command has none.
  Outcome host(std::string& output) {
    std::ofstream(scratch_ + "/s1.opt") << "solve_strategy 1\n";
    return fromJson(runProgram(
        std::string(QARNHOST_PROGRAM) + " --optfile s1.opt --env DomLim=2000000000 --solution run.json " + modelPath(),
        output));
  }

  static Outcome library(const std::string& path, int32_t& runs) {
    nl::ReadResult read = nl::readNlFile(path);
    EXPECT_TRUE(read.ok) << read.error;
    nl::BuiltProblem built;
    EXPECT_EQ(nl::buildProblem(read.model, {}, built), "");
    nl::ModelFunctions functions(read.model, built);
    Optimizer opt;
    EXPECT_EQ(opt.setSpecsLine("Solve strategy 1"), 0);
    EXPECT_EQ(opt.setSpecsLine(built.maximize ? "Maximize" : "Minimize"), 0);
    SolveOptions options;
    options.automaticStorage = true;
    options.functions = built.nonlinear() ? &functions : nullptr;
    options.nonlinearEntries = built.nonlinearEntries;
    const SolveResult r = opt.solve(built.problem, built.state, options);
    runs = r.runs;
    Outcome o;
    o.exitCode = r.exitCode;
    o.iterations = r.minorIterations;
    o.objective = r.objValue;
    o.levels.assign(built.state.x.begin(), built.state.x.begin() + built.problem.n);
    o.certified = r.certificate.passed;
    o.primal = r.certificate.maxPrimalInfeasRelative;
    o.dual = r.certificate.maxDualInfeasRelative;
    return o;
  }
};

TEST_P(FrontEnds, SolveAlike) {
  std::string commandOutput, hostOutput;
  const Outcome k = command(commandOutput);
  const Outcome h = host(hostOutput);
  int32_t runs = 0;
  const Outcome c = library(modelPath(), runs);
  EXPECT_EQ(runs, GetParam().runs);
  EXPECT_EQ(countOf(commandOutput, " Solved again from the model's starting point"), GetParam().runs - 1)
      << commandOutput;
  EXPECT_EQ(countOf(readFile(scratch_ + "/kavro55Print"), " Solved again from the model's starting point"),
            GetParam().runs - 1);
  EXPECT_EQ(c.exitCode, k.exitCode);
  EXPECT_EQ(h.modelStatus, k.modelStatus) << hostOutput;
  EXPECT_EQ(k.certified, k.exitCode == kOptimal);
  for (const Outcome* o : {&h, &c}) {
    EXPECT_EQ(o->iterations, k.iterations);
    EXPECT_EQ(o->objective, k.objective);
    EXPECT_EQ(o->levels, k.levels);
    // The host evaluates the functions its own way (linear terms apart): the same to rounding.
    EXPECT_EQ(o->certified, k.certified);
    EXPECT_NEAR(o->primal, k.primal, 1e-12 * (1.0 + k.primal));
    EXPECT_NEAR(o->dual, k.dual, 1e-12 * (1.0 + k.dual));
  }
}

INSTANTIATE_TEST_SUITE_P(Models, FrontEnds,
                         ::testing::Values(Case{"pt", 1},       // LP
                                           Case{"dietd", 1},    // LP
                                           Case{"dallass", 1},  // linear constraints
                                           Case{"hs071", 1},    // nonlinear constraints
                                           Case{"water", 1},    // nonlinear constraints
                                           Case{"hs093", 2},    // a larger penalty
                                           Case{"ex8_5_6", 4},  // the all-slack basis
                                           Case{"hs085", 5}),   // infeasible after every repeat
                         [](const auto& info) { return std::string(info.param.model); });

}  // namespace
}  // namespace kavro::link::test
