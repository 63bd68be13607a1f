// The stand-in host's own behaviour that the library relies on: option definitions and
// option files, the model view, environment options and the interrupt flag.

#include <fstream>

#include "link_test_support.hpp"

namespace kavro::link::test {
namespace {

class OptionObject : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    ASSERT_EQ(optCreate(&opt_, nullptr, 0), 0);
  }
  void TearDown() override {
    optFree(&opt_);
    HostTest::TearDown();
  }
  std::string write(const std::string& name, const std::string& text) {
    const std::string path = scratch_ + "/" + name;
    std::ofstream(path) << text;
    return path;
  }
  optHandle_t opt_ = nullptr;
};

TEST_F(OptionObject, ReadsDefinitionsWithGroupsAndTypes) {
  ASSERT_EQ(optReadDefinition(opt_, LINK_TEST_DATA "/sysdir/optkavro.def"), 0);
  ASSERT_EQ(optCount(opt_), 8);
  int defined = -1, recent = -1, type = 0, group = -1;
  ASSERT_EQ(optGetInfoNr(opt_, 3, &defined, &recent, &type), 0);
  optGetOptGroupNr(opt_, 3, &group);
  EXPECT_EQ(type, optDataReal);
  EXPECT_EQ(group, 1);
  EXPECT_EQ(defined, 0);
  int value = 0;
  EXPECT_EQ(optGetIntStr(opt_, "SUMMARY_FREQUENCY", &value), 0);
  EXPECT_EQ(value, 100);
  EXPECT_NE(optGetIntStr(opt_, "nothing", &value), 0);
}

TEST_F(OptionObject, RejectsMalformedDefinitions) {
  for (const char* text :
       {"x integer\n", "x float 1\n", "x integer abc\n", "x integer 1\nX real 2\n", "x integer 5 0 3\n", "group\n"}) {
    EXPECT_EQ(optReadDefinition(opt_, write("bad.def", text).c_str()), 1) << text;
    EXPECT_GT(optMessageCount(opt_), 0);
    optClearMessages(opt_);
  }
  EXPECT_EQ(optReadDefinition(opt_, "/nonexistent.def"), 1);
}

TEST_F(OptionObject, OptionFileSetsValuesAndReportsBadLines) {
  ASSERT_EQ(optReadDefinition(opt_, LINK_TEST_DATA "/sysdir/optkavro.def"), 0);
  optEOLOnlySet(opt_, 1);
  optEchoSet(opt_, 1);
  const std::string path = write("o.opt",
                                 "* comment\n"
                                 "iterations_limit = 55 ! end-of-line comment\n"
                                 "feasibility_tolerance 1d-7\n"
                                 "lu_rook_pivoting\n"
                                 "unknown_thing 3\n"
                                 "iterations_limit many\n"
                                 "flag yes\n");
  EXPECT_EQ(optReadParameterFile(opt_, path.c_str()), 2);
  int value = 0;
  optGetIntStr(opt_, "iterations_limit", &value);
  EXPECT_EQ(value, 55);
  char name[64], text[64];
  int iv = 0;
  double rv = 0.0;
  optGetValuesNr(opt_, 3, name, sizeof name, &iv, &rv, text, sizeof text);
  EXPECT_STREQ(name, "feasibility_tolerance");
  EXPECT_DOUBLE_EQ(rv, 1e-7);
  int defined = 0, recent = 0, type = 0;
  optGetInfoNr(opt_, 4, &defined, &recent, &type);
  EXPECT_EQ(defined, 1);
  EXPECT_EQ(recent, 1);
  optResetAllRecent(opt_);
  optGetInfoNr(opt_, 4, &defined, &recent, &type);
  EXPECT_EQ(recent, 0);
  int echoes = 0, errors = 0, summaries = 0;
  char message[256];
  for (int k = 1; k <= optMessageCount(opt_); ++k) {
    int t = 0;
    optGetMessage(opt_, k, message, sizeof message, &t);
    echoes += t == optMsgEcho;
    errors += t == optMsgError;
    summaries += t == optMsgSummary;
  }
  EXPECT_EQ(echoes, 7);
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(summaries, 1);
}

TEST_F(HostTest, ModelViewPermutesAndDropsFreeRows) {
  buildLp();
  qmoHandle_t h = model.handle();
  EXPECT_EQ(qmoM(h), 4);
  EXPECT_EQ(qmoSetNRowPerm(h), 0);
  ASSERT_EQ(qmoM(h), 3);
  EXPECT_EQ(qmoGetEquTypeOne(h, 2), qmoEquE);
  const int order[] = {1, 0};
  EXPECT_EQ(qmoSetRvVarPermutation(h, order, 2), 0);
  int cols[2], nl[2], nz = 0, nlnz = 0;
  double vals[2];
  ASSERT_EQ(qmoGetRowSparse(h, 1, cols, vals, nl, &nz, &nlnz), 0);
  ASSERT_EQ(nz, 2);
  EXPECT_EQ(cols[0], 1);  // host column 0 is view column 1
  EXPECT_EQ(vals[0], 1.0);
  const int bad[] = {0, 0};
  EXPECT_NE(qmoSetRvVarPermutation(h, bad, 2), 0);
  EXPECT_NE(qmoGetRowSparse(h, 3, cols, vals, nl, &nz, &nlnz), 0);
  EXPECT_EQ(qmoSetSolutionVarRec(h, 0, 7.0, 0.0, 2, 0), 0);
  double level = 0.0;
  EXPECT_EQ(qmoResultVar(h, 1, &level, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(level, 7.0);
}

TEST_F(HostTest, EnvironmentOptionsAndInterrupt) {
  qevHandle_t e = env.handle();
  EXPECT_EQ(qevSetOptText(e, "iterlim", "123"), 0);
  EXPECT_EQ(qevGetIntOpt(e, "IterLim"), 123);
  EXPECT_EQ(qevSetOptText(e, "WorkSpace", "2.5"), 0);
  EXPECT_EQ(qevGetDblOpt(e, "WorkSpace"), 2.5);
  EXPECT_EQ(qevSetOptText(e, "DomLim", "1.5"), 2);
  EXPECT_EQ(qevSetOptText(e, "NoSuchOption", "1"), 1);
  EXPECT_EQ(qevTerminateGet(e), 0);
  volatile sig_atomic_t flag = 0;
  qevTerminateWatch(e, &flag);
  flag = 1;
  EXPECT_EQ(qevTerminateGet(e), 1);
  qevTerminateWatch(e, nullptr);
  qevTestClockSet(e, 42.0);
  EXPECT_EQ(qevTimeDiffStart(e), 42.0);
}

}  // namespace
}  // namespace kavro::link::test
