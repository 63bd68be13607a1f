// Nonlinear models solved by the kavro command with default options, as a user runs them: each
// line of nl/regression/MODELS.tsv names a model and what its run must give (the optimizer's exit
// code, the objective within a relative tolerance, bounds on the minor and major iterations).
// The bounds sit well above today's counts so that only a real loss of convergence trips them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "nl/nl_point_check.hpp"
#include "nl/nl_reader.hpp"
#include "support/temp_path.hpp"

namespace {

const std::string kModels = std::string(KAVRO_TEST_DATA_DIR) + "/nl/regression";

struct Expected {
  std::string model, file;
  int exitCode = 0;
  double objective = 0.0, tolerance = 0.0;
  long long maxIterations = 0, maxMajors = 0;
};

void PrintTo(const Expected& e, std::ostream* os) { *os << e.file; }

std::vector<Expected> readTable() {
  std::vector<Expected> table;
  std::ifstream in(kModels + "/MODELS.tsv");
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Expected e;
    fields >> e.model >> e.file >> e.exitCode >> e.objective >> e.tolerance >> e.maxIterations >> e.maxMajors;
    if (fields) table.push_back(e);
  }
  return table;
}

class NlRegression : public ::testing::TestWithParam<Expected> {};

TEST_P(NlRegression, SolvesAsBefore) {
  const Expected& e = GetParam();
  const std::string dir = kavro::testing::uniqueTempPath("nl_regression", "");
  ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
  const std::string command = "cd '" + dir + "' && " + KAVRO_PROGRAM + " --quiet --solution run.json '" + kModels +
                              "/" + e.file + "' > out.txt 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(dir + "/run.json");
  const nlohmann::json run = nlohmann::json::parse(in, nullptr, false);
  std::ifstream report(dir + "/out.txt");
  const std::string out((std::istreambuf_iterator<char>(report)), {});
  std::system(("rm -rf '" + dir + "'").c_str());
  ASSERT_TRUE(WIFEXITED(status)) << out;
  ASSERT_FALSE(run.is_discarded()) << out;

  EXPECT_EQ(run.value("exitCode", -1), e.exitCode) << out;
  // An answer called optimal is optimal: its point, evaluated afresh by the reader's own
  // evaluator, meets every bound and row and is stationary with the returned multipliers.
  if (run.value("exitCode", -1) == 0) {
    const kavro::nl::ReadResult model = kavro::nl::readNlFile(kModels + "/" + e.file);
    ASSERT_TRUE(model.ok) << model.error;
    std::vector<double> x, y;
    for (const auto& c : run["columns"]) x.push_back(c["level"].get<double>());
    for (const auto& r : run["rows"]) y.push_back(r["marginal"].get<double>());
    const kavro::nl::PointCheck check = kavro::nl::checkPoint(model.model, x.data(), &y, 1e-6);
    EXPECT_TRUE(check.passed(1e-6, 1e-6))
        << check.failure << " primal " << check.primalRelative << " dual " << check.dualRelative;
  }
  const double objective = run.value("objective", NAN);
  EXPECT_LE(std::abs(objective - e.objective), e.tolerance * std::max(1.0, std::abs(e.objective)))
      << "objective " << objective << ", expected " << e.objective;
  EXPECT_LE(run.value("iterations", -1LL), e.maxIterations);
  EXPECT_LE(run.value("majorIterations", -1LL), e.maxMajors);
}

std::string modelName(const ::testing::TestParamInfo<Expected>& info) {
  std::string name = info.param.model;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Models, NlRegression, ::testing::ValuesIn(readTable()), modelName);

}  // namespace
