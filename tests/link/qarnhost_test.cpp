// The host program: command line, exit status and the solution file.

#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "link_test_support.hpp"

namespace kavro::link::test {
namespace {

class QarnHost : public HostTest {
 protected:
  // Runs qarnhost with the arguments in the scratch directory; returns its exit status.
  int run(const std::string& arguments) {
    const std::string command = "cd " + scratch_ + " && " QARNHOST_PROGRAM " " + arguments + " > out.txt 2> err.txt";
    const int rc = std::system(command.c_str());
    output = readFile(scratch_ + "/out.txt");
    errors = readFile(scratch_ + "/err.txt");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  std::string output, errors;
};

TEST_F(QarnHost, SolvesAnMpsModelAndWritesTheSolution) {
  ASSERT_EQ(run("--solution sol.json " LINK_TEST_DATA "/small.mps"), 0) << output << errors;
  EXPECT_NE(output.find("    QARN/KAVRO 5.6, Large Scale Nonlinear Solver"), std::string::npos);
  EXPECT_NE(output.find(" EXIT - Optimal Solution found, objective: -7"), std::string::npos) << output;
  const nlohmann::json j = nlohmann::json::parse(readFile(scratch_ + "/sol.json"));
  EXPECT_EQ(j["modelStatus"], 1);
  EXPECT_EQ(j["solveStatus"], 1);
  EXPECT_NEAR(j["objective"].get<double>(), -7.0, 1e-9);
  EXPECT_EQ(j["evaluationErrors"], 0);
  ASSERT_EQ(j["columns"].size(), 4u);  // X1, X2, X3 and the range column of RNG
  EXPECT_EQ(j["columns"][3]["name"], "rng.RNG");
  const double expected[] = {1.0, -1.0, 6.0, 7.0};
  for (size_t k = 0; k < 4; ++k) EXPECT_NEAR(j["columns"][k]["level"].get<double>(), expected[k], 1e-9) << k;
  ASSERT_EQ(j["rows"].size(), 5u);
  EXPECT_EQ(j["rows"][3]["name"], "SPARE");
  EXPECT_TRUE(j["rows"][3]["level"].is_null());  // a free row is not returned
  EXPECT_NEAR(j["rows"][2]["level"].get<double>(), 7.0, 1e-9);
  for (const auto& r : j["rows"]) EXPECT_TRUE(r.contains("name"));
  EXPECT_TRUE(std::filesystem::exists(scratch_ + "/kavro55Print"));
}

TEST_F(QarnHost, OptionFileAndEnvironmentOptions) {
  std::ofstream(scratch_ + "/kavro.opt") << "iterations_limit 1\n";
  EXPECT_EQ(run("--optfile kavro.opt --env WorkSpace=1 --solution s.json " LINK_TEST_DATA "/small.mps"), 0);
  EXPECT_NE(output.find("    >>  iterations_limit 1"), std::string::npos) << output;
  EXPECT_NE(output.find(" Work space allocated           --      1.00 Mb"), std::string::npos);
  const nlohmann::json j = nlohmann::json::parse(readFile(scratch_ + "/s.json"));
  EXPECT_LE(j["iterations"].get<int>(), 1);
}

TEST_F(QarnHost, ExitStatusForUsageInputAndLibraryErrors) {
  struct Case {
    std::string arguments;
    int status;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"", 2, "no model file"},
      {"--bogus x.mps", 2, "unknown option --bogus"},
      {"--optfile", 2, "--optfile needs a value"},
      {"a.mps b.mps", 2, "more than one model file"},
      {"/nonexistent/model.mps", 2, "cannot read /nonexistent/model.mps"},
      {"--env Nothing=1 " LINK_TEST_DATA "/small.mps", 2, "unknown environment option Nothing"},
      {"--env IterLim=x " LINK_TEST_DATA "/small.mps", 2, "bad value for IterLim"},
      {"--env IterLim " LINK_TEST_DATA "/small.mps", 2, "NAME=VALUE expected"},
      {"--library /nonexistent/lib.so " LINK_TEST_DATA "/small.mps", 2, "cannot load the solver library"},
      {"--sysdir /nonexistent " LINK_TEST_DATA "/small.mps", 1, nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.arguments), c.status) << c.arguments;
    if (c.message) {
      EXPECT_NE(errors.find(c.message), std::string::npos) << c.arguments << ": " << errors;
    }
  }
  EXPECT_NE(output.find("*** OPT ERROR: Can't read '/nonexistent/optkavro.def'"), std::string::npos);
}

TEST_F(QarnHost, BadMpsFileIsAnInputError) {
  std::ofstream(scratch_ + "/bad.mps") << "NAME BAD\nROWS\n N COST\n Q R1\nCOLUMNS\n X COST 1.0\nENDATA\n";
  EXPECT_EQ(run("bad.mps"), 2);
  EXPECT_NE(errors.find("error(s) in the MPS file"), std::string::npos) << errors;
}

}  // namespace
}  // namespace kavro::link::test
