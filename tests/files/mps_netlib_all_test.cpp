// The MPS reader on every file of the shared copy of the Netlib LP set (labelled slow): each
// reads without errors, in fixed columns, with its published dimensions.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "files/mps_reader.hpp"
#include "mps_test_support.hpp"

namespace kavro {
namespace {

TEST(MpsNetlibSlowTest, EveryFileHasItsPublishedSize) {
  const std::string dir = std::string(KAVRO_SHARED_DATA_DIR) + "/netlib";
  std::ifstream table(dir + "/REFERENCE.tsv");
  if (!table) GTEST_SKIP() << "no shared Netlib data at " << dir;
  int files = 0;
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#' || line.rfind("name\t", 0) == 0) continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string cell; std::getline(ss, cell, '\t');) f.push_back(cell);
    if (f.size() < 6 || f[2] == "-") continue;
    long rows = std::stol(f[3]), cols = std::stol(f[4]), nonzeros = std::stol(f[5]);
    if (f.size() > 8) std::sscanf(f[8].c_str(), "file has %ld rows, %ld cols, %ld nonzeros", &rows, &cols, &nonzeros);
    const test::MpsRun run = test::readSized(dir + "/" + f[2]);
    ++files;
    EXPECT_EQ(run.r.exitCode, 0) << f[2];
    EXPECT_EQ(run.r.problem.m, rows) << f[2];
    EXPECT_EQ(run.r.problem.n, cols) << f[2];
    EXPECT_EQ(run.r.problem.nElements() + run.r.nRejected, nonzeros) << f[2];
    EXPECT_FALSE(run.r.freeFormat) << f[2];
  }
  EXPECT_GT(files, 80);
}

}  // namespace
}  // namespace kavro
