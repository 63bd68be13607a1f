// Netlib problems solved end to end through the library: objective, exit code and a bound on
// the iterations, with the default options (scaling and crash) and, for the smallest ones,
// from the all-slack basis without scaling.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "driver/optimizer_impl.hpp"
#include "driver/work_estimate.hpp"
#include "files/mps_reader.hpp"
#include "support/mps_problem.hpp"
#include "support/temp_path.hpp"

namespace kavro {
namespace {

struct NetlibCase {
  const char* name;
  double objective;   // cross-checked optimal value
  int maxIterations;  // about 1.5 x what the solver takes today
  bool allSlack;      // also run from the all-slack basis without scaling
};

const NetlibCase kCases[] = {
    {"afiro", -4.6475314286e+02, 30, true},     {"sc50a", -6.4575077059e+01, 45, true},
    {"sc50b", -7.0000000000e+01, 45, true},     {"adlittle", 2.2549496316e+05, 150, true},
    {"blend", -3.0812149846e+01, 150, true},    {"share2b", -4.1573224074e+02, 180, true},
    {"sc105", -5.2202061212e+01, 80, true},     {"stocfor1", -4.1131976219e+04, 95, true},
    {"kb2", -1.7499001299e+03, 100, true},      {"recipe", -2.6661600000e+02, 45, true},
    {"boeing2", -3.1501872802e+02, 290, true},  {"scagr7", -2.3313898243e+06, 135, true},
    {"israel", -8.9664482186e+05, 460, true},   {"vtpbase", 1.2983146246e+05, 230, true},
    {"lotfi", -2.5264706062e+01, 340, true},    {"sc205", -5.2202061212e+01, 220, false},
    {"scagr25", -1.4753433061e+07, 770, false}, {"sctap1", 1.4122500000e+03, 370, false},
    {"agg", -3.5991767287e+07, 170, false},     {"beaconfd", 3.3592485807e+04, 70, false},
    {"capri", 2.6900129138e+03, 350, false},    {"brandy", 1.5185098965e+03, 650, false},
    {"grow7", -4.7787811815e+07, 170, false},   {"e226", -1.1638929066e+01, 810, false},
    {"share1b", -7.6589318579e+04, 370, false}, {"stair", -2.5126695119e+02, 790, false},
    {"scfxm1", 1.8416759028e+04, 510, false},   {"boeing1", -3.3521356751e+02, 880, false},
    {"finnis", 1.7279106560e+05, 820, false},   {"bandm", -1.5862801845e+02, 730, false},
};

struct Outcome {
  int exitCode = -1;
  double objective = 0.0;
  long long iterations = 0;
};

Outcome solveNetlib(const std::string& name, bool allSlack, std::initializer_list<const char*> specs = {},
                    const std::string& printPath = "") {
  Optimizer opt;
  if (!printPath.empty()) opt.connectUnit(9, printPath);
  opt.initialize({printPath.empty() ? 0 : 9, 0, 0});
  MpsResult r = testing::readMpsForTest(opt, std::string(KAVRO_TEST_DATA_DIR) + "/netlib/" + name + ".mps.gz");
  if (r.exitCode != 0) return {};
  if (allSlack) {
    opt.setSpecsLine("Crash option 0");
    opt.setSpecsLine("Scale option 0");
  }
  for (const char* line : specs) opt.setSpecsLine(line);
  ProblemState state = r.start;
  state.reducedCost.assign(static_cast<size_t>(r.problem.nb()), 0.0);
  SolveOptions options;
  options.workLength = estimateWorkWords(r.problem.m, r.problem.n, r.problem.nElements(), 0);
  const SolveResult result = opt.solve(r.problem, state, options);
  return {result.exitCode, result.objValue, result.minorIterations};
}

// The factorization schedule: with "Factorization frequency" k the basis is refactorized after
// k - 1 updates (reason 1 in the factorization header).
TEST(FactorizationSchedule, RefactorizesAfterFrequencyMinusOneUpdates) {
  const std::string path = kavro::testing::uniqueTempPath("schedule", ".print");
  const Outcome o = solveNetlib("adlittle", false, {"Factorization frequency 10", "Print level 1"}, path);
  ASSERT_EQ(o.exitCode, 0);
  std::ifstream in(path);
  std::string line;
  int byFrequency = 0, factorizations = 0;
  while (std::getline(in, line)) {
    if (line.rfind(" Factor ", 0) != 0) continue;
    ++factorizations;
    if (line.find("Demand       1") != std::string::npos) ++byFrequency;
  }
  // Every basis change counts; bound flips do not, so at least one refactorization per ten
  // iterations is not guaranteed, but the frequency must have been reached several times.
  EXPECT_GE(byFrequency, static_cast<int>(o.iterations / 20));
  EXPECT_LE(factorizations, static_cast<int>(o.iterations / 9) + 2);
}

class NetlibRegression : public ::testing::TestWithParam<NetlibCase> {};
class NetlibFromSlacks : public ::testing::TestWithParam<NetlibCase> {};
class NetlibMultiplePricing : public ::testing::TestWithParam<NetlibCase> {};
class NetlibPricingRules : public ::testing::TestWithParam<NetlibCase> {};

TEST_P(NetlibRegression, DefaultOptions) {
  const NetlibCase& c = GetParam();
  const Outcome o = solveNetlib(c.name, false);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_NEAR(o.objective, c.objective, 1e-8 * std::fabs(c.objective));
  EXPECT_LE(o.iterations, c.maxIterations);
}

TEST_P(NetlibFromSlacks, AllSlackStartUnscaled) {
  const NetlibCase& c = GetParam();
  const Outcome o = solveNetlib(c.name, true);
  EXPECT_EQ(o.exitCode, 0);
  // Without scaling the optimality tolerance, relative to the largest multiplier, is looser on
  // problems whose multipliers are large (scagr7).
  EXPECT_NEAR(o.objective, c.objective, 1e-7 * std::fabs(c.objective));
  EXPECT_LE(o.iterations, 3 * c.maxIterations);
}

// With several candidates per pricing, the extra ones become superbasic and move by
// reduced-gradient steps to a bound; the optimum must be the same.
TEST_P(NetlibMultiplePricing, CandidatesBecomeSuperbasic) {
  const NetlibCase& c = GetParam();
  const Outcome o = solveNetlib(c.name, false, {"Superbasics limit 20", "Multiple price 5"});
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_NEAR(o.objective, c.objective, 1e-7 * std::fabs(c.objective));
  EXPECT_LE(o.iterations, 3 * c.maxIterations);
}

// Devex and steepest edge reach the same optimum, in no more iterations than the default rule
// is allowed.
TEST_P(NetlibPricingRules, DevexAndSteepestEdge) {
  const NetlibCase& c = GetParam();
  for (const char* rule : {"Pricing option 1", "Pricing option 2"}) {
    SCOPED_TRACE(rule);
    const Outcome o = solveNetlib(c.name, false, {rule});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_NEAR(o.objective, c.objective, 1e-8 * std::fabs(c.objective));
    EXPECT_LE(o.iterations, c.maxIterations);
  }
}

std::vector<NetlibCase> smallestCases() {
  std::vector<NetlibCase> small;
  for (const NetlibCase& c : kCases)
    if (c.allSlack) small.push_back(c);
  return small;
}

std::string caseName(const ::testing::TestParamInfo<NetlibCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Netlib, NetlibRegression, ::testing::ValuesIn(kCases), caseName);
INSTANTIATE_TEST_SUITE_P(Netlib, NetlibFromSlacks, ::testing::ValuesIn(smallestCases()), caseName);
INSTANTIATE_TEST_SUITE_P(Netlib, NetlibMultiplePricing, ::testing::ValuesIn(kCases), caseName);
INSTANTIATE_TEST_SUITE_P(Netlib, NetlibPricingRules, ::testing::ValuesIn(kCases), caseName);

}  // namespace
}  // namespace kavro
