// The error record: classes and statuses, the order in which errors are printed, unknown codes.

#include "link_test_support.hpp"

namespace kavro::link::test {
namespace {

using ErrorRecordTest = ReadyLpTest;

TEST_F(ErrorRecordTest, EveryClassSetsItsStatusesAndText) {
  struct Case {
    int32_t code;
    const char* text;
    int ms, ss;
  };
  const Case cases[] = {{1, "ERROR", 13, 13},           {2, "INIT ERROR", 13, 9},     {5, "QMO ERROR", 13, 9},
                        {6, "CAPABILITY ERROR", 14, 6}, {7, "QDX ERROR", 13, 9},      {8, "DICTIONARY ERROR", 13, 9},
                        {9, "OPT ERROR", 13, 9},        {10, "SOLVER ERROR", 13, 10}, {11, "DATA ERROR", 13, 13},
                        {12, "MEMORY ERROR", 13, 9},    {13, "BCH ERROR", 13, 13},    {14, "IO ERROR", 13, 13}};
  for (const Case& c : cases) {
    markLog();
    raiseLinkError(ctx, c.code, "message %d", c.code);
    EXPECT_EQ(modelStatus(), c.ms) << c.text;
    EXPECT_EQ(solveStatus(), c.ss) << c.text;
    EXPECT_EQ(newLog(), "") << "printed only when the entry point returns";
    EXPECT_EQ(finishEntry(ctx), 1);
    const std::string expected = std::string("*** ") + c.text + ": message " + std::to_string(c.code) + "\n" +
                                 (c.code == 6 ? "" : "*** Contact support@kavro-solver.org for help.\n");
    EXPECT_EQ(newLog(), expected);
    EXPECT_EQ(finishEntry(ctx), 0) << "cleared";
  }
}

TEST_F(ErrorRecordTest, TwoErrorsInOneCallPrintTheFirstWhenTheSecondIsRaised) {
  raiseLinkError(ctx, kQmoError, "first");
  raiseLinkError(ctx, kCapabilityError, "second");
  EXPECT_EQ(newLog(), "*** QMO ERROR: first\n*** Contact support@kavro-solver.org for help.\n");
  EXPECT_EQ(modelStatus(), 14);
  EXPECT_EQ(finishEntry(ctx), 1);
  EXPECT_EQ(newLog(),
            "*** QMO ERROR: first\n*** Contact support@kavro-solver.org for help.\n*** CAPABILITY ERROR: second\n");
}

TEST_F(ErrorRecordTest, UnknownCodeIsReportedAndNotRecorded) {
  testing::internal::CaptureStderr();
  raiseLinkError(ctx, 3, "ignored");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "### UNKNOWN ERROR CODE: 3\n");
  EXPECT_FALSE(errorPending(ctx));
  raiseLinkError(ctx, kErrorNone, "nothing");
  EXPECT_FALSE(errorPending(ctx));
}

TEST_F(ErrorRecordTest, LongMessagesAreCutTo255Characters) {
  const std::string longText(400, 'a');
  raiseLinkError(ctx, kDataError, "%s", longText.c_str());
  finishEntry(ctx);
  EXPECT_NE(newLog().find("*** DATA ERROR: " + std::string(255, 'a') + "\n"), std::string::npos);
}

TEST_F(ErrorRecordTest, WarningsAreStatusFileMessages) {
  const int statusBefore = qevStatusLineCount(env.handle());
  logWarning(ctx, "watch %s", "out");
  EXPECT_EQ(newLog(), "*** WARNING: watch out\n");
  ASSERT_EQ(qevStatusLineCount(env.handle()), statusBefore + 1);
  EXPECT_STREQ(qevStatusLine(env.handle(), statusBefore), "*** WARNING: watch out");
}

}  // namespace
}  // namespace kavro::link::test
