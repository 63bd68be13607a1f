// Work-space sizing: the request, the cap and the log lines.

#include "link/work_space.hpp"
#include "driver/work_estimate.hpp"
#include "link_test_support.hpp"

namespace kavro::link::test {
namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

TEST(WorkSpace, RequestAndLogLines) {
  struct Case {
    double workSpace, workFactor;
    int64_t words;
    const char* log;
  };
  const int64_t solver = estimateWorkWords(100, 200, 1000, 0);
  const Case cases[] = {
      {0.0, 1.0, solver, "\n Work space allocated           --      0.93 Mb\n\n"},
      {10.0, 1.0, 1310720,
       "\n Work space requested by solver --      0.93 Mb\n Work space requested by user   --     10.00 Mb\n"
       " Work space allocated           --     10.00 Mb\n\n"},
      {10.0, 3.0, 1310720,
       "\n workspace and workfactor both set: workfactor ignored\n Work space requested by solver --      0.93 Mb\n"
       " Work space requested by user   --     10.00 Mb\n Work space allocated           --     10.00 Mb\n\n"},
      {0.0, 2.0, 2 * solver,
       "\n Work space requested by solver --      0.93 Mb\n Work space allocated           --      1.87 Mb\n\n"},
      {0.5, 1.0, 65536, nullptr},
      {1.0e-6, 1.0, 1, nullptr},  // a fraction of a word is rounded up
      {-5.0, 1.0, 1, nullptr},    // nonsense is raised to one word; the solver asks for more
      {0.0, -1.0, 1, nullptr},
  };
  for (const Case& c : cases) {
    const WorkSpaceSizing s = computeWorkSpace(100, 200, 1000, 0, c.workSpace, c.workFactor);
    EXPECT_EQ(s.solverWords, solver);
    EXPECT_EQ(s.workWords, c.words) << c.workSpace << " " << c.workFactor;
    EXPECT_FALSE(s.capped);
    if (c.log) {
      EXPECT_EQ(joined(workSpaceLogLines(s, c.workSpace, c.workFactor)), c.log);
    }
  }
}

TEST(WorkSpace, RequestsOf2To31WordsAreCapped) {
  EXPECT_EQ(computeWorkSpace(1, 1, 1, 0, 16383.99, 1.0).workWords, 2147482338);  // just below 2^31 words
  const WorkSpaceSizing s = computeWorkSpace(1, 1, 1, 0, 16384.0, 1.0);          // exactly 2^31 words
  EXPECT_TRUE(s.capped);
  EXPECT_EQ(s.workWords, 2147483647);
  EXPECT_TRUE(computeWorkSpace(1, 1, 1, 0, 0.0, 1.0e9).capped);
  EXPECT_NE(joined(workSpaceLogLines(s, 16384.0, 1.0)).find(" Work space allocated           --  16384.00 Mb\n"),
            std::string::npos);
}

TEST(WorkSpace, SuperbasicsEstimate) {
  EXPECT_EQ(superbasicsEstimate(0), 3);
  EXPECT_EQ(superbasicsEstimate(1), 3);  // (5 * 1) / 4 = 1: 1 + 2
  EXPECT_EQ(superbasicsEstimate(4), 7);
  EXPECT_EQ(superbasicsEstimate(3998), 4999);  // (5 * 3998) / 4 = 4997
  EXPECT_EQ(superbasicsEstimate(3999), 5000);  // 4998
  EXPECT_EQ(superbasicsEstimate(4000), 5000);
  EXPECT_EQ(superbasicsEstimate(8000), 5000);
}

TEST_F(HostTest, CappedWorkSpaceIsLoggedWithAWarning) {
  buildLp();
  qevSetDblOpt(env.handle(), "WorkSpace", 20000.0);
  ASSERT_EQ(runLibrary(false).ready, 0);
  const std::string text = log();
  const size_t warning = text.find("*** WARNING: internal allocation limit exceeded: work space request was capped\n");
  ASSERT_NE(warning, std::string::npos) << text;
  EXPECT_LT(warning, text.find(" Work space allocated           --  16384.00 Mb\n"));
  EXPECT_NE(text.find(" Work space requested by user   --  20000.00 Mb\n"), std::string::npos);
}

}  // namespace
}  // namespace kavro::link::test
