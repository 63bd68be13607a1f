// The MPS reader on two small files of the Netlib LP set kept with the tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "files/mps_reader.hpp"
#include "mps_test_support.hpp"

namespace kavro {
namespace {

constexpr double kInf = 1.0e20;

int indexOf(const std::vector<std::string>& names, const std::string& name) {
  const auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

TEST(MpsNetlibTest, Afiro) {
  const test::MpsRun run = test::readSized(std::string(KAVRO_TEST_DATA_DIR) + "/netlib/afiro.mps.gz");
  ASSERT_EQ(run.r.exitCode, 0);
  const Problem& p = run.r.problem;
  EXPECT_EQ(p.m, 28);
  EXPECT_EQ(p.n, 32);
  EXPECT_EQ(p.nElements(), 88);
  EXPECT_EQ(p.names[0], "AFIRO   ");
  EXPECT_EQ(p.names[1], "COST    ");
  EXPECT_EQ(p.names[2], "B       ");
  EXPECT_EQ(p.objRow, 27);
  EXPECT_EQ(p.rowNames[static_cast<size_t>(p.objRow)], "COST");
  // No BOUNDS section: every column in [0, +inf]. Row X50 (L) has RHS 310, R09 (E) none.
  for (int j = 0; j < p.n; ++j) {
    EXPECT_EQ(p.lower[j], 0.0);
    EXPECT_EQ(p.upper[j], kInf);
  }
  const int x50 = indexOf(p.rowNames, "X50"), r09 = indexOf(p.rowNames, "R09");
  EXPECT_EQ(p.lower[p.n + x50], -310.0);
  EXPECT_EQ(p.upper[p.n + x50], kInf);
  EXPECT_EQ(p.lower[p.n + r09], 0.0);
  EXPECT_EQ(p.upper[p.n + r09], 0.0);
  for (int j = 0; j < p.n; ++j)
    for (int k = p.a.colStart[j] + 1; k < p.a.colStart[j + 1]; ++k) EXPECT_LT(p.a.row[k - 1], p.a.row[k]);
}

TEST(MpsNetlibTest, Boeing2WithRangesAndBounds) {
  const test::MpsRun run = test::readSized(std::string(KAVRO_TEST_DATA_DIR) + "/netlib/boeing2.mps.gz");
  ASSERT_EQ(run.r.exitCode, 0);
  const Problem& p = run.r.problem;
  EXPECT_EQ(p.m, 167);
  EXPECT_EQ(p.n, 143);
  EXPECT_EQ(p.nElements(), 1339);
  EXPECT_EQ(p.names[3], "RANGE1  ");
  EXPECT_EQ(p.names[4], "INTBOU  ");
  // DMBOSORD: L row, RHS 302, range 61: activity in [241, 302].
  const int row = indexOf(p.rowNames, "DMBOSORD");
  ASSERT_GE(row, 0);
  EXPECT_EQ(p.lower[p.n + row], -302.0);
  EXPECT_EQ(p.upper[p.n + row], -241.0);
  // GRDTIMN1: LO -100, UP 0.
  const int col = indexOf(p.columnNames, "GRDTIMN1");
  ASSERT_GE(col, 0);
  EXPECT_EQ(p.lower[col], -100.0);
  EXPECT_EQ(p.upper[col], 0.0);
  int bounded = 0;
  for (int j = 0; j < p.n; ++j) bounded += (p.lower[j] != 0.0 || p.upper[j] != kInf);
  EXPECT_EQ(bounded, 54);  // 54 UP cards; the 4 LO cards are on columns that also have UP
}

}  // namespace
}  // namespace kavro
