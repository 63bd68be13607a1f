// Classification of variables for the listing and the status return, as a table of cases.

#include <gtest/gtest.h>

#include "files/variable_class.hpp"

namespace kavro {
namespace {

struct ClassCase {
  const char* label;
  int32_t j;  // n = 5: j >= 5 is a slack
  int32_t hs;
  double x, lower, upper, reducedCost;
  int32_t sense, ninf, exitCode, maxPrimal, maxDual;
  const char* state;
  char flag;
};

class ClassifyVariableTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassifyVariableTest, GivesStateAndFlag) {
  const ClassCase& c = GetParam();
  ClassificationContext ctx;
  ctx.n = 5;
  ctx.primalTol = 1e-6;
  ctx.dualTol = 1e-6;
  ctx.objectiveSense = c.sense;
  ctx.ninf = c.ninf;
  ctx.exitCode = static_cast<ExitCode>(c.exitCode);
  ctx.maxPrimalInfeasVar = c.maxPrimal;
  ctx.maxDualInfeasVar = c.maxDual;
  const VariableClass v = classifyVariable(c.j, c.hs, c.x, c.lower, c.upper, c.reducedCost, ctx);
  EXPECT_STREQ(reportStateText(v.state), c.state);
  EXPECT_EQ(reportFlagChar(v.flag), c.flag);
}

constexpr double kInf = 1e20;

INSTANTIATE_TEST_SUITE_P(
    Table, ClassifyVariableTest,
    ::testing::Values(
        // label                 j hs  x      lower  upper  rc     sense ninf exit pMax dMax  state  flag
        ClassCase{"atLowerZeroDj", 0, 0, 0.0, 0.0, 1.0, 0.0, 1, 0, 0, -1, -1, " LL", 'A'},
        ClassCase{"atLowerRightSign", 0, 0, 0.0, 0.0, 1.0, 1.0, 1, 0, 0, -1, -1, " LL", ' '},
        ClassCase{"atLowerWrongSign", 0, 0, 0.0, 0.0, 1.0, -1.0, 1, 0, 0, -1, -1, " LL", 'N'},
        ClassCase{"atUpperRightSign", 0, 1, 1.0, 0.0, 1.0, -1.0, 1, 0, 0, -1, -1, " UL", ' '},
        ClassCase{"atUpperWrongSign", 0, 1, 1.0, 0.0, 1.0, 1.0, 1, 0, 0, -1, -1, " UL", 'N'},
        ClassCase{"fixedAnySign", 0, 0, 2.0, 2.0, 2.0, -5.0, 1, 0, 0, -1, -1, " EQ", ' '},
        ClassCase{"fixedZeroDj", 0, 1, 2.0, 2.0, 2.0, 0.0, 1, 0, 0, -1, -1, " EQ", 'A'},
        ClassCase{"betweenBounds", 0, 0, 0.5, 0.0, 1.0, 0.0, 1, 0, 0, -1, -1, " FR", 'A'},
        ClassCase{"betweenBoundsDj", 0, 0, 0.5, 0.0, 1.0, 1.0, 1, 0, 0, -1, -1, " FR", 'N'},
        ClassCase{"nearBoundIsNotBetween", 0, 0, 5e-7, 0.0, 1.0, 1.0, 1, 0, 0, -1, -1, " LL", ' '},
        ClassCase{"basicDegenerate", 0, 3, 1e-7, 0.0, 1.0, 0.0, 1, 0, 0, -1, -1, " BS", 'D'},
        ClassCase{"basicInside", 0, 3, 0.5, 0.0, 1.0, 0.0, 1, 0, 0, -1, -1, " BS", ' '},
        ClassCase{"basicInfeasible", 0, 3, -1e-3, 0.0, 1.0, 0.0, 1, 0, 0, -1, -1, " BS", 'I'},
        ClassCase{"superbasicNonOptimal", 0, 2, 0.5, 0.0, 1.0, 1e-3, 1, 0, 0, -1, -1, "SBS", 'N'},
        ClassCase{"superbasicOptimal", 0, 2, 0.5, 0.0, 1.0, 1e-7, 1, 0, 0, -1, -1, "SBS", ' '},
        // Slack of row 0 with row limits [-inf, 4] (slack bounds [-4, +inf]), at its own lower bound:
        // the row is at its upper limit.
        ClassCase{"slackAtRowUpper", 5, 0, -4.0, -4.0, kInf, 2.0, 1, 0, 0, -1, -1, " UL", ' '},
        ClassCase{"slackWrongSign", 5, 0, -4.0, -4.0, kInf, -2.0, 1, 0, 0, -1, -1, " UL", 'N'},
        ClassCase{"slackAtRowLower", 5, 1, 3.0, -kInf, 3.0, -2.0, 1, 0, 0, -1, -1, " LL", ' '},
        ClassCase{"slackBasicDegenerate", 5, 3, -4.0, -4.0, kInf, 0.0, 1, 0, 0, -1, -1, " BS", 'D'},
        // Maximizing: the sense turns the reduced cost round, except while infeasible.
        ClassCase{"maxAtLower", 0, 0, 0.0, 0.0, 1.0, -1.0, -1, 0, 0, -1, -1, " LL", ' '},
        ClassCase{"maxAtLowerWrong", 0, 0, 0.0, 0.0, 1.0, 1.0, -1, 0, 0, -1, -1, " LL", 'N'},
        ClassCase{"maxInfeasibleNoTurn", 0, 0, 0.0, 0.0, 1.0, -1.0, -1, 2, 1, -1, -1, " LL", 'N'},
        // Variables singled out at exit.
        ClassCase{"maxDualOnError", 0, 3, 0.5, 0.0, 1.0, 0.0, 1, 0, 3, -1, 0, " BS", 'N'},
        ClassCase{"maxDualOptimalIgnored", 0, 3, 0.5, 0.0, 1.0, 0.0, 1, 0, 0, -1, 0, " BS", ' '},
        ClassCase{"maxPrimalBasic", 0, 3, 0.5, 0.0, 1.0, 0.0, 1, 1, 1, 0, -1, " BS", 'I'},
        ClassCase{"maxPrimalNonbasicIgnored", 0, 0, 0.0, 0.0, 1.0, 1.0, 1, 1, 1, 0, -1, " LL", ' '},
        ClassCase{"maxPrimalFeasibleIgnored", 0, 3, 0.5, 0.0, 1.0, 0.0, 1, 0, 0, 0, -1, " BS", ' '},
        ClassCase{"internalStateBetween", 0, -1, 0.5, 0.0, 1.0, 0.0, 1, 0, 0, -1, -1, " FR", 'A'}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace kavro
