// The kavro command on .nl models, run as AMPL and users run it: the .sol file read back as AMPL
// reads it, the duals checked against the change of the optimal objective when a constraint's
// bound moves (minimization and maximization), kavro_options, refusals, the JSON report and the
// exit statuses.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "nl/sol_reader.hpp"
#include "support/temp_path.hpp"

namespace {

using kavro::nl::testing::ReadSol;
using kavro::nl::testing::readSol;

// min (max) s x0 + 3 s x1  s.t.  x0 + x1 >= 1 + d0,  x0 - x1 <= 0.5 + d1,  0 <= x <= 10; s = 1
// (-1): optimum x = (0.75, 0.25) with both constraints active.
std::string lpModel(bool maximize, double d0 = 0.0, double d1 = 0.0, const std::string& discrete = " 0 0 0 0 0") {
  const double s = maximize ? -1.0 : 1.0;
  char text[1024];
  std::snprintf(text, sizeof text,
                "g3 1 1 0\n 2 2 1 0 0\n 0 0\n 0 0\n 0 0 0\n 0 0 0 1\n%s\n 4 2\n 0 0\n 0 0 0 0 0\n"
                "C0\nn0\nC1\nn0\nO0 %d\nn0\nr\n2 %.17g\n1 %.17g\nb\n0 0 10\n0 0 10\nk1\n2\n"
                "J0 2\n0 1\n1 1\nJ1 2\n0 1\n1 -1\nG0 2\n0 %.17g\n1 %.17g\n",
                discrete.c_str(), maximize ? 1 : 0, 1.0 + d0, 0.5 + d1, s, 3 * s);
  return text;
}

class NlCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = kavro::testing::uniqueTempPath("nl_command", "");
    ASSERT_EQ(std::system(("mkdir -p '" + dir_ + "'").c_str()), 0);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  void write(const std::string& name, const std::string& text) { std::ofstream(dir_ + "/" + name) << text; }
  // Runs kavro with the arguments in the test's folder; returns its exit status, the output in out.
  int run(const std::string& arguments, const std::string& options = "") {
    const std::string command = "cd '" + dir_ + "' && " + (options.empty() ? "" : "kavro_options='" + options + "' ") +
                                KAVRO_PROGRAM + " " + arguments + " > out.txt 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(dir_ + "/out.txt");
    out = std::string(std::istreambuf_iterator<char>(in), {});
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The objective of the message of a .sol file.
  static double objectiveOf(const ReadSol& sol) {
    const size_t at = sol.message.find("objective ");
    return at == std::string::npos ? NAN : std::stod(sol.message.substr(at + 10));
  }
  ReadSol solve(const std::string& model) {
    write("lp.nl", model);
    EXPECT_EQ(run("lp -AMPL"), 0) << out;
    return readSol(dir_ + "/lp.sol");
  }

  std::string dir_, out;
};

TEST_F(NlCommand, DualsAreTheChangeOfTheOptimalObjectivePerUnitOfBound) {
  for (const bool maximize : {false, true}) {
    SCOPED_TRACE(maximize ? "maximize" : "minimize");
    const ReadSol base = solve(lpModel(maximize));
    ASSERT_TRUE(base.ok) << out;
    EXPECT_EQ(base.solveResult, 0);
    EXPECT_EQ(base.objno, 0);  // the 0-based index of the objective used, as AMPL reads it
    EXPECT_NE(base.message.find("KAVRO 5.6: optimal solution; objective"), std::string::npos);
    ASSERT_EQ(base.primals.size(), 2u);
    EXPECT_NEAR(base.primals[0], 0.75, 1e-12);
    EXPECT_NEAR(base.primals[1], 0.25, 1e-12);
    ASSERT_EQ(base.duals.size(), 2u);
    const double f = objectiveOf(base), delta = 1e-3;
    EXPECT_NEAR(f, maximize ? -1.5 : 1.5, 1e-12);
    const double f0 = objectiveOf(solve(lpModel(maximize, delta, 0.0)));
    const double f1 = objectiveOf(solve(lpModel(maximize, 0.0, delta)));
    EXPECT_NEAR(base.duals[0], (f0 - f) / delta, 1e-9);
    EXPECT_NEAR(base.duals[1], (f1 - f) / delta, 1e-9);
    EXPECT_NEAR(base.duals[0], maximize ? -2.0 : 2.0, 1e-12);
  }
}

TEST_F(NlCommand, OptionsFromTheEnvironmentReachTheSolve) {
  write("lp.nl", lpModel(false));
  ASSERT_EQ(run("lp.nl -AMPL", "iterations_limit=0 no_such_option=1"), 0) << out;
  ReadSol sol = readSol(dir_ + "/lp.sol");
  ASSERT_TRUE(sol.ok);
  EXPECT_EQ(sol.solveResult, 400);
  EXPECT_NE(sol.message.find("iteration limit"), std::string::npos);
  EXPECT_NE(out.find("KAVRO 5.6: iterations_limit=0 no_such_option=1"), std::string::npos) << out;
  EXPECT_NE(out.find("kavro_options: no_such_option=1: Second keyword not recognized: SUCH"), std::string::npos) << out;
  // No objective: a feasible point, and no objective index.
  ASSERT_EQ(run("lp -AMPL", "objno=0"), 0) << out;
  sol = readSol(dir_ + "/lp.sol");
  EXPECT_EQ(sol.objno, -1);
  EXPECT_EQ(sol.solveResult, 0);
  EXPECT_GE(sol.primals.at(0) + sol.primals.at(1), 1.0 - 1e-9);
}

TEST_F(NlCommand, ModelsTheOptimizerCannotTakeAreRefusedInTheSolFile) {
  write("int.nl", lpModel(false, 0, 0, " 0 1 0 0 0"));
  ASSERT_EQ(run("int -AMPL"), 0) << out;
  ReadSol sol = readSol(dir_ + "/int.sol");
  ASSERT_TRUE(sol.ok);
  EXPECT_EQ(sol.solveResult, 570);
  EXPECT_EQ(sol.objno, 0);
  EXPECT_NE(sol.message.find("1 integer or binary variables"), std::string::npos) << sol.message;
  EXPECT_TRUE(sol.primals.empty());
  EXPECT_EQ(run("int.nl"), 2);
  EXPECT_NE(out.find("integer or binary variables"), std::string::npos);
  // Solved as continuous only when asked.
  ASSERT_EQ(run("int -AMPL", "relax_integrality=1"), 0) << out;
  EXPECT_EQ(readSol(dir_ + "/int.sol").solveResult, 0);
  EXPECT_EQ(run("--relax-integers int.nl"), 0) << out;
}

// A nonlinear model through the AMPL protocol: solved, with the optimum in the .sol file.
TEST_F(NlCommand, NonlinearModelsSolveThroughTheProtocol) {
  std::system(("cp " KAVRO_TEST_DATA_DIR "/nl/hs071.nl '" + dir_ + "/'").c_str());
  ASSERT_EQ(run("hs071 -AMPL"), 0) << out;
  const ReadSol sol = readSol(dir_ + "/hs071.sol");
  ASSERT_TRUE(sol.ok);
  EXPECT_EQ(sol.solveResult, 0);
  EXPECT_NE(sol.message.find("optimal solution; objective 17.01401"), std::string::npos) << sol.message;
  ASSERT_EQ(sol.primals.size(), 4u);
  EXPECT_NEAR(sol.primals[0], 1.0, 1e-5);
  EXPECT_EQ(run("hs071.nl"), 0);
}

TEST_F(NlCommand, UnreadableModelsEndWithStatusTwoAndTheLine) {
  EXPECT_EQ(run("missing -AMPL"), 2);
  EXPECT_NE(out.find("cannot open missing"), std::string::npos) << out;
  write("bad.nl", "g3 1 1 0\n 2 1 1 0 0\n 0 0\n");
  EXPECT_EQ(run("bad.nl"), 2);
  EXPECT_NE(out.find("bad.nl: line 4: the file ends inside the header"), std::string::npos) << out;
  EXPECT_EQ(run("-AMPL"), 2);
}

TEST_F(NlCommand, SolutionReportHasTheHostsStatusesAndRecords) {
  write("lp.nl", lpModel(false));
  ASSERT_EQ(run("--solution lp.json lp.nl"), 0) << out;
  EXPECT_NE(out.find("Model lp: 2 variables, 2 constraints (0 nonlinear), linear objective, minimize"),
            std::string::npos);
  EXPECT_NE(out.find("EXIT -- optimal solution found"), std::string::npos) << out;
  std::ifstream in(dir_ + "/lp.json");
  const nlohmann::json j = nlohmann::json::parse(in);
  EXPECT_EQ(j["modelStatus"], 1);
  EXPECT_EQ(j["solveStatus"], 1);
  EXPECT_EQ(j["objective"], 1.5);
  ASSERT_EQ(j["rows"].size(), 2u);
  ASSERT_EQ(j["columns"].size(), 2u);
  EXPECT_EQ(j["rows"][0]["name"], "r1");
  EXPECT_NEAR(j["rows"][0]["level"].get<double>(), 1.0, 1e-12);
  EXPECT_NEAR(j["rows"][0]["marginal"].get<double>(), 2.0, 1e-12);
  EXPECT_EQ(j["columns"][0]["basisStatus"], 2);  // basic

  // Names from AMPL's auxiliary files; an infeasible model ends with status 1.
  write("lp.row", "supply\nbalance\nobjective\n");
  write("lp.col", "make\nbuy\n");
  write("lp.nl", lpModel(false, 30.0));  // x0 + x1 >= 31 with x <= 10
  EXPECT_EQ(run("--solution lp.json lp.nl"), 1) << out;
  std::ifstream again(dir_ + "/lp.json");
  const nlohmann::json k = nlohmann::json::parse(again);
  EXPECT_EQ(k["modelStatus"], 4);
  EXPECT_EQ(k["rows"][0]["name"], "supply");
  EXPECT_EQ(k["columns"][1]["name"], "buy");
}

// Without options the superbasics limit and Hessian dimension come from the model (3 for a
// linear one, as the host library sizes it); an option keeps both to the user.
TEST_F(NlCommand, SuperbasicsLimitAndHessianDimensionAreSizedUnlessGiven) {
  write("lp.nl", lpModel(false));
  ASSERT_EQ(run("--print lp.print lp.nl"), 0) << out;
  std::ifstream print(dir_ + "/lp.print");
  const std::string listing(std::istreambuf_iterator<char>(print), {});
  EXPECT_NE(listing.find("Superbasics limit               3"), std::string::npos) << listing.substr(0, 400);
  EXPECT_NE(listing.find("Hessian dimension               3"), std::string::npos);
  write("sb.spc", "BEGIN\n  Superbasics limit 10\nEND\n");
  ASSERT_EQ(run("--specs sb.spc --print sb.print lp.nl"), 0) << out;
  std::ifstream again(dir_ + "/sb.print");
  const std::string given(std::istreambuf_iterator<char>(again), {});
  EXPECT_EQ(given.find("Hessian dimension               3"), std::string::npos);
  EXPECT_NE(given.find("Superbasics limit 10"), std::string::npos) << given.substr(0, 400);
}

// A model with nonlinear constraints gets 500 major and 500 minor iterations unless the options
// give limits.
TEST_F(NlCommand, MajorAndMinorIterationLimitsAreRaisedUnlessGiven) {
  std::system(("cp " KAVRO_TEST_DATA_DIR "/nl/hs071.nl '" + dir_ + "/'").c_str());
  ASSERT_EQ(run("--print default.print hs071.nl"), 0) << out;
  std::ifstream print(dir_ + "/default.print");
  const std::string listing(std::istreambuf_iterator<char>(print), {});
  EXPECT_TRUE(std::regex_search(listing, std::regex("Major iterations +500"))) << listing.substr(0, 1000);
  EXPECT_TRUE(std::regex_search(listing, std::regex("Minor iterations +500"))) << listing.substr(0, 1000);
  write("major.spc", "BEGIN\n  Major iterations 60\n  Minor iterations 70\nEND\n");
  ASSERT_EQ(run("--specs major.spc --print given.print hs071.nl"), 0) << out;
  std::ifstream again(dir_ + "/given.print");
  const std::string given(std::istreambuf_iterator<char>(again), {});
  EXPECT_FALSE(std::regex_search(given, std::regex("Major iterations +500"))) << given.substr(0, 1000);
  EXPECT_FALSE(std::regex_search(given, std::regex("Minor iterations +500"))) << given.substr(0, 1000);
}

// hs093's linearizations stay infeasible with the default penalty (exit 1); the solve strategy
// solves it again from the model's start with a tenfold penalty and finds the optimum
// (135.0759...). Other options leave the repeats on; "Solve strategy 0" (in a SPECS file or in
// kavro_options) asks for the single run, and a penalty given by the user is never replaced.
TEST_F(NlCommand, FailedRunsAreRepeatedWithALargerPenaltyUnlessTheOptionsSayOtherwise) {
  std::system(("cp " KAVRO_TEST_DATA_DIR "/nl/hs093.nl '" + dir_ + "/'").c_str());
  ASSERT_EQ(run("hs093.nl"), 0) << out;
  EXPECT_NE(out.find(" Solved again from the model's starting point with Penalty parameter 10 (the last run ended "
                     "with exit 1)"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("Penalty parameter 100 ("), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("Objective value +1\\.35075"))) << out;

  write("given.spc", "BEGIN\n  Major iterations 500\nEND\n");
  EXPECT_EQ(run("--specs given.spc hs093.nl"), 0) << out;
  EXPECT_NE(out.find("Solved again from the model's starting point with Penalty parameter 10 ("), std::string::npos)
      << out;

  write("single.spc", "BEGIN\n  Solve strategy 0\nEND\n");
  EXPECT_EQ(run("--specs single.spc hs093.nl"), 1) << out;
  EXPECT_EQ(out.find("Solved again"), std::string::npos) << out;
  EXPECT_EQ(run("hs093 -AMPL", "solve_strategy=0"), 0) << out;
  EXPECT_EQ(out.find("Solved again"), std::string::npos) << out;

  write("penalty.spc", "BEGIN\n  Penalty parameter 1\nEND\n");
  run("--specs penalty.spc hs093.nl");
  EXPECT_EQ(out.find("with Penalty parameter"), std::string::npos) << out;
  EXPECT_NE(
      out.find(" Solved again from the model's starting point with Crash option 0 (the last run ended with exit 1)"),
      std::string::npos)
      << out;
}

// ex8_5_6's functions are undefined where the crash's basis puts the point, whatever the penalty:
// the third repeat starts from the all-slack basis and reaches the optimum.
TEST_F(NlCommand, RepeatsEndWithTheAllSlackBasis) {
  std::system(("cp " KAVRO_TEST_DATA_DIR "/nl/ex8_5_6.nl '" + dir_ + "/'").c_str());
  ASSERT_EQ(run("ex8_5_6.nl"), 0) << out;
  for (const char* line :
       {" Solved again from the model's starting point with Penalty parameter 10 (the last run ended with exit 6)",
        " Solved again from the model's starting point with Penalty parameter 100 (the last run ended with exit 6)",
        " Solved again from the model's starting point with Penalty parameter 1 and Crash option 0 (the last "
        "run ended with exit 6)"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  EXPECT_EQ(out.find("Penalty parameter 10 and Crash option 0"), std::string::npos) << out;
  EXPECT_NE(out.find("EXIT -- optimal solution found"), std::string::npos) << out;
}

// optctrl6 runs away with the default penalty: its violation, 2.7e-3 at its best (major 30),
// stays between 0.02 and 1 while the objective grows to 1e9 (500 major iterations, 700,000 minor
// ones when left alone). The solve strategy stops that run after 100 such major iterations and the
// tenfold penalty solves the model.
TEST_F(NlCommand, ARunThatRunsAwayIsStoppedForTheRepeat) {
  std::system(("cp " KAVRO_TEST_DATA_DIR "/nl/optctrl6.nl '" + dir_ + "/'").c_str());
  ASSERT_EQ(run("optctrl6.nl"), 0) << out;
  EXPECT_NE(
      out.find(" The solve strategy stopped the run at major iteration 140 (no CPU limit): the violation of the "
               "nonlinear constraints stayed above 10 times its best (2.7e-03 at major 30) for 100 major iterations"),
      std::string::npos)
      << out;
  EXPECT_NE(
      out.find(
          " Solved again from the model's starting point with Penalty parameter 10 (the last run ended with exit 18)"),
      std::string::npos)
      << out;
  EXPECT_TRUE(std::regex_search(out, std::regex("Objective value +2\\.04801654"))) << out;
}

// ex8_5_1 minimizes terms in log(x3 - x5) with x3 - x5 >= 0 a linear row whose slack starts
// within the crash's reach of its bound: the crash of the inequality rows puts it there, where the
// log is undefined. The crash is undone and the run goes on (to the optimum with this penalty)
// instead of ending before its first step.
TEST_F(NlCommand, ACrashOntoAnUndefinedBoundaryIsUndone) {
  std::system(("cp " KAVRO_TEST_DATA_DIR "/nl/ex8_5_1.nl '" + dir_ + "/'").c_str());
  write("p100.spc", "BEGIN\n  Penalty parameter 100\nEND\n");
  ASSERT_EQ(run("--specs p100.spc ex8_5_1.nl"), 0) << out;
  EXPECT_NE(out.find(" Itn       0 -- functions undefined at the crashed point: the crash of the LG rows is undone"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("EXIT -- optimal solution found"), std::string::npos) << out;
}

// Past 2000 nonlinear variables the command keeps the last updates of the quasi-Newton model
// rather than a dense factor of that order: a separable quadratic of 2001 variables solves so.
TEST_F(NlCommand, ManyNonlinearVariablesUseLimitedMemory) {
  const int n = 2001;
  std::string model = "g3 1 1 0\n " + std::to_string(n) + " 0 1 0 0\n 0 1\n 0 0\n 0 " + std::to_string(n) +
                      " 0\n 0 0 0 1\n 0 0 0 0 0\n 0 " + std::to_string(n) + "\n 0 0\n 0 0 0 0 0\n";
  model += "O0 0\no54\n" + std::to_string(n) + "\n";
  for (int i = 0; i < n; ++i) model += "o5\nv" + std::to_string(i) + "\nn2\n";
  model += "b\n";
  for (int i = 0; i < n; ++i) model += "3\n";
  model += "G0 " + std::to_string(n) + "\n";
  for (int i = 0; i < n; ++i) model += std::to_string(i) + " -2\n";  // min sum x^2 - 2x: x = 1
  write("sep.nl", model);
  ASSERT_EQ(run("--print sep.print sep.nl"), 0) << out;
  std::ifstream print(dir_ + "/sep.print");
  const std::string listing(std::istreambuf_iterator<char>(print), {});
  EXPECT_TRUE(std::regex_search(listing, std::regex("Hessian memory +30"))) << listing.substr(0, 2000);
  EXPECT_NE(out.find("Objective value         -2.0010000000E+03"), std::string::npos) << out;
}

// Linear models give the same optimum from the .nl file as from an MPS copy of them written by
// an independent reader (bench/nl_to_mps.py: objective row last, the model's starting point as
// the INITIAL bounds set), so both runs solve the same problem from the same start.
TEST_F(NlCommand, LinearModelsSolveAsTheirMpsCopies) {
  auto objective = [&]() {
    const size_t at = out.find("Objective value");
    return at == std::string::npos ? std::string("none") : out.substr(at, out.find('\n', at) - at);
  };
  write("max.spc", "BEGIN\n  Maximize\nEND\n");
  for (const std::string model : {"diet", "dietd", "pt"}) {
    SCOPED_TRACE(model);
    const std::string data = KAVRO_TEST_DATA_DIR "/nl/" + model;
    ASSERT_EQ(run("--quiet " + data + ".nl"), 0) << out;
    const std::string fromNl = objective();
    const std::string copy = data + (model == "pt" ? "-copy.mps.gz" : "-copy.mps");
    ASSERT_EQ(run("--quiet --free-mps " + std::string(model == "dietd" ? "--specs max.spc " : "") + copy), 0) << out;
    EXPECT_EQ(objective(), fromNl);
    EXPECT_NE(fromNl, "none");
  }
}

}  // namespace
