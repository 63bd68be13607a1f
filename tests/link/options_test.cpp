// Host settings as SPECS lines, seen where the optimizer echoes every line it decodes: the
// print file.

#include <sstream>

#include "link_test_support.hpp"

namespace kavro::link::test {
namespace {

class Options : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    buildLp();
    qevSetStrOpt(env.handle(), "NameSysDir", LINK_TEST_DATA "/sysdir");
  }
  // True when the print file echoes a decoded line (after 6 blanks) that reads as the
  // words given, whatever the blanks between them.
  bool decoded(const std::string& words) {
    std::istringstream in(printFile());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("      ", 0) != 0) continue;
      std::istringstream w(line);
      std::string word, collapsed;
      while (w >> word) collapsed += (collapsed.empty() ? "" : " ") + word;
      if (collapsed == words) return true;
    }
    return false;
  }
};

TEST_F(Options, HostDefaultsAndTheIterationLimitCap) {
  struct Case {
    int iterLim;
    const char* expected;
  };
  for (const Case& c : {Case{2000000000, "10000000"}, Case{10000000, "10000000"}, Case{500, "500"}}) {
    qevSetIntOpt(env.handle(), "IterLim", c.iterLim);
    ASSERT_EQ(runLibrary(false).ready, 0);
    EXPECT_TRUE(decoded("Print Level 1")) << printFile();
    EXPECT_TRUE(decoded("Jacobian Sparse"));
    EXPECT_TRUE(decoded("Solution No"));
    EXPECT_TRUE(decoded("Verify Level -1"));
    EXPECT_TRUE(decoded(std::string("Iterations Limit ") + c.expected)) << c.iterLim;
    EXPECT_TRUE(decoded(std::string("Major Iterations Limit ") + c.expected));
  }
}

// "solve_strategy 1" leaves to the strategy what the host does not limit: the major iterations
// (an IterLim at the cap limits nothing) and the superbasics limit; an IterLim below the cap is
// still sent for both iteration limits.
TEST_F(Options, UnderTheSolveStrategyTheHostLeavesItsOwnSizesToIt) {
  writeOptionFile("solve_strategy 1\n");
  const Calls c = runLibrary();
  ASSERT_EQ(c.call, 0) << log();
  EXPECT_TRUE(decoded("solve strategy 1")) << printFile();
  EXPECT_TRUE(decoded("Iterations Limit 10000000"));
  EXPECT_FALSE(decoded("Major Iterations Limit 10000000"));
  EXPECT_FALSE(decoded("Superbasics Limit 3"));
  EXPECT_TRUE(decoded("Superbasics limit 3"));  // the strategy's, for a linear model
  EXPECT_TRUE(decoded("Pricing option 2"));
  qevSetIntOpt(env.handle(), "IterLim", 500);
  ASSERT_EQ(runLibrary().call, 0);
  EXPECT_TRUE(decoded("Iterations Limit 500"));
  EXPECT_TRUE(decoded("Major Iterations Limit 500"));
}

TEST_F(Options, UserOptionsUseBlanksForUnderscoresAndSixDigits) {
  writeOptionFile("iterations_limit 77\nfeasibility_tolerance 0.123456789\nlu_rook_pivoting\nscale linear\n");
  ASSERT_EQ(runLibrary(false).ready, 0);
  EXPECT_TRUE(decoded("iterations limit 77")) << printFile();
  EXPECT_TRUE(decoded("feasibility tolerance 0.123457"));
  EXPECT_TRUE(decoded("lu rook pivoting"));
  EXPECT_TRUE(decoded("scale linear"));
  // The user's line comes after the host default, so it wins.
  const std::string print = printFile();
  EXPECT_LT(print.find("Iterations Limit"), print.find("iterations limit"));
  // The echo of the option file and the blank lines around it are in the log.
  EXPECT_NE(log().find("\n    >>  iterations_limit 77\n"), std::string::npos) << log();
}

TEST_F(Options, ProblemsInTheOptionFileAreLoggedAndTheRunGoesOn) {
  writeOptionFile("no_such_option 1\niterations_limit lots\n");
  const Calls c = runLibrary();
  EXPECT_EQ(c.ready, 0);
  EXPECT_EQ(c.call, 0);
  EXPECT_NE(log().find("unknown option \"no_such_option\""), std::string::npos) << log();
  EXPECT_NE(log().find("*** 2 error(s) in option file"), std::string::npos);
  EXPECT_EQ(log().find("set to"), std::string::npos) << "detail messages are not logged";
}

// A line past the reader's limit ends the option file there: the lines before it count.
TEST_F(Options, OverlongLineEndsTheOptionFile) {
  writeOptionFile("iterations_limit 77\n" + std::string(100000, 'x') + "\nsolution yes\n");
  EXPECT_EQ(runLibrary(false).ready, 0);
  EXPECT_NE(log().find("*** Error: line 2 is longer than 65536 characters"), std::string::npos) << log();
  EXPECT_NE(log().find("*** 1 error(s) in option file"), std::string::npos);
  EXPECT_EQ(log().find("solution yes"), std::string::npos);
}

TEST_F(Options, MissingOptionFileIsOnlyLogged) {
  qmoSetOptFileName(model.handle(), "/nonexistent/kavro.opt");
  EXPECT_EQ(runLibrary(false).ready, 0);
  EXPECT_NE(log().find("Cannot open the option file /nonexistent/kavro.opt"), std::string::npos);
}

TEST_F(Options, RejectedUserOptionIsASolverError) {
  writeOptionFile("iterations_limit 5\nbogus_keyword 5\n");
  EXPECT_EQ(runLibrary().ready, 1);
  EXPECT_NE(log().find("*** SOLVER ERROR: set option 'bogus_keyword'"), std::string::npos) << log();
  EXPECT_EQ(modelStatus(), 13);
  EXPECT_EQ(solveStatus(), 10);
}

TEST_F(Options, UnknownOptionTypeIsADataError) {
  writeOptionFile("flag 1\n");
  EXPECT_EQ(runLibrary().ready, 1);
  EXPECT_NE(log().find("*** DATA ERROR: Unknown option type 4 of option flag"), std::string::npos) << log();
  EXPECT_EQ(modelStatus(), 13);
  EXPECT_EQ(solveStatus(), 13);
}

TEST_F(Options, ShippedDefinitionsAreAllSpecsPhrases) {
  // Every option of the shipped file, set to its default, must pass the decoder.
  qevSetStrOpt(env.handle(), "NameSysDir", QARN_SYSDIR);
  optHandle_t opt = nullptr;
  optCreate(&opt, nullptr, 0);
  ASSERT_EQ(optReadDefinition(opt, QARN_SYSDIR "/optkavro.def"), 0);
  std::string file;
  for (int k = 1; k <= optCount(opt); ++k) {
    char name[64], text[64];
    int iv = 0, type = 0, group = 0;
    double rv = 0.0;
    optGetValuesNr(opt, k, name, sizeof name, &iv, &rv, text, sizeof text);
    optGetInfoNr(opt, k, nullptr, nullptr, &type);
    optGetOptGroupNr(opt, k, &group);
    if (group == 0) continue;
    file += std::string(name) + " " + (type == 1 ? std::to_string(iv) : type == 2 ? std::to_string(rv) : text) + "\n";
  }
  optFree(&opt);
  writeOptionFile(file);
  EXPECT_EQ(runLibrary(false).ready, 0) << log();
}

}  // namespace
}  // namespace kavro::link::test
