// The AMPL protocol's pieces: the kavro_options words, the .sol file read back as AMPL reads
// it, and the solve result numbers in their ranges.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "kavro/solver.hpp"
#include "nl/ampl_options.hpp"
#include "nl/nl_sol.hpp"
#include "nl_test_support.hpp"
#include "sol_reader.hpp"
#include "support/temp_path.hpp"

namespace kavro::nl {
namespace {

TEST(AmplOptions, WordsBecomeSpecsLinesOrProtocolSettings) {
  AmplOptions o = parseAmplOptions(
      "  iterations_limit=500 feasibility_tolerance=1e-7\tmaximize scale_option 0 "
      "lu_rook_pivoting relax_integrality=1 objno=2 wantsol=9\n");
  EXPECT_EQ(o.specsLines, (std::vector<std::string>{"iterations limit 500", "feasibility tolerance 1e-7", "maximize",
                                                    "scale option 0", "lu rook pivoting"}));
  EXPECT_TRUE(o.relaxIntegers);
  EXPECT_EQ(o.objno, 2);
  EXPECT_TRUE(o.errors.empty());

  o = parseAmplOptions("objno 0 relax_integrality 0 jacobian=sparse");
  EXPECT_EQ(o.objno, 0);
  EXPECT_FALSE(o.relaxIntegers);
  EXPECT_EQ(o.specsLines, (std::vector<std::string>{"jacobian sparse"}));

  o = parseAmplOptions("objno=x =3 iterations_limit= relax_integrality=yes objno=-1");
  EXPECT_EQ(o.errors.size(), 5u);
  EXPECT_EQ(o.objno, 1);
  EXPECT_TRUE(o.specsLines.empty());
  EXPECT_TRUE(parseAmplOptions("").specsLines.empty());
}

TEST(SolFile, WrittenFileReadsBackAsAmplReadsIt) {
  const Model m = testing::readValid(
      "g9 0 1 0 0 20170614 0 4 0 240\n 2 1 1 0 0\n 0 0\n 0 0\n 0 0 0\n 0 0 0 1\n 0 0 0 0 0\n 2 2\n 0 0\n"
      " 0 0 0 0 0\nC0\nn0\nO0 0\nn0\nr\n2 1\nb\n3\n3\nJ0 2\n0 1\n1 1\nG0 2\n0 1\n1 1\n");
  SolFile sol = solFileFor(m, "KAVRO 5.6: optimal solution; objective 1\n3 iterations", 0);
  sol.objno = 1;
  sol.duals = {-0.25};
  sol.primals = {1.0 / 3.0, -2e-300};
  const std::string path = kavro::testing::uniqueTempPath("model", ".sol");
  auto write = [&path](const SolFile& contents) { std::ofstream(path, std::ios::binary) << solFileText(contents); };
  write(sol);
  const testing::ReadSol back = testing::readSol(path);
  ASSERT_TRUE(back.ok);
  EXPECT_EQ(back.message, "KAVRO 5.6: optimal solution; objective 1\n3 iterations");
  EXPECT_EQ(back.options, (std::vector<int>{0, 1, 0, 0, 20170614, 0, 4, 0, 240}));
  EXPECT_EQ(back.nCons, 1);
  EXPECT_EQ(back.nVars, 2);
  EXPECT_EQ(back.duals, sol.duals);
  EXPECT_EQ(back.primals, sol.primals);  // 17 digits: exactly the numbers written
  EXPECT_EQ(back.objno, 1);
  EXPECT_EQ(back.solveResult, 0);

  // Without values (a model that was not solved) the counts say so.
  const SolFile refused = solFileFor(m, "KAVRO 5.6: refused", 570);
  write(refused);
  const testing::ReadSol none = testing::readSol(path);
  ASSERT_TRUE(none.ok);
  EXPECT_EQ(none.nDuals, 0);
  EXPECT_EQ(none.nPrimals, 0);
  EXPECT_EQ(none.nVars, 2);
  EXPECT_EQ(none.solveResult, 570);
  std::remove(path.c_str());
}

TEST(SolFile, SolveResultNumbersFallInTheirRanges) {
  auto range = [](int32_t exitCode) { return solveResultCode(exitCode).code / 100; };
  EXPECT_EQ(solveResultCode(kOptimal).code, 0);
  EXPECT_EQ(range(kNearOptimal), 1);
  EXPECT_EQ(range(kCannotImprove), 1);
  EXPECT_EQ(range(kInfeasible), 2);
  EXPECT_EQ(range(kUnbounded), 3);
  for (const int32_t limit : std::initializer_list<int32_t>{kTooManyIterations, kObjectiveUnchanged, kSuperbasicsLimit,
                                                            kTimeLimit, kInterrupted})
    EXPECT_EQ(range(limit), 4) << limit;
  for (const int32_t failure :
       std::initializer_list<int32_t>{kFunctionError, kBadObjectiveGradient, kBadConstraintGradient, kNumericalError,
                                      kSingularBasis, kWorkspaceTooSmall, kInvalidProblemData, 77})
    EXPECT_EQ(range(failure), 5) << failure;
}

}  // namespace
}  // namespace kavro::nl
