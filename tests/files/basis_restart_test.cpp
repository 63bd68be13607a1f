// Restart through the kavro command: a first run saves its final basis in the three formats
// (New basis, Punch, Dump files); three later runs start from them (Old basis, Insert, Load
// files) and must end optimal with the same objective at once.

#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace kavro {
namespace {

namespace fs = std::filesystem;

// The command built beside the tests (ctest runs them in build/<dir>/tests/files).
fs::path kavroCommand() {
  const fs::path here = fs::current_path();
  for (const fs::path& candidate : {here / "../../apps/kavro", here / "../apps/kavro", here / "apps/kavro"})
    if (fs::exists(candidate)) return fs::canonical(candidate);
  return {};
}

struct RunOutcome {
  int status = -1;
  double objective = NAN;
  long iterations = -1;
};

// The summary lines "No. of iterations  N  Objective value  V".
RunOutcome runKavro(const fs::path& kavro, const fs::path& dir, const std::string& specs, const std::string& units,
                    const std::string& problem, const std::string& tag) {
  std::ofstream(dir / (tag + ".spc")) << "BEGIN\n" << specs << "END\n";
  const std::string command = "cd '" + dir.string() + "' && '" + kavro.string() + "' --quiet --specs " + tag + ".spc " +
                              units + " '" + problem + "' > " + tag + ".out 2>&1";
  RunOutcome o;
  o.status = std::system(command.c_str());
  std::ifstream in(dir / (tag + ".out"));
  for (std::string line; std::getline(in, line);) {
    if (line.find(" No. of iterations") != 0) continue;
    std::istringstream fields(line.substr(18));
    std::string label;
    fields >> o.iterations >> label >> label >> o.objective;
  }
  return o;
}

class BasisRestart : public ::testing::TestWithParam<const char*> {};

TEST_P(BasisRestart, EveryFormatRestartsAtTheOptimum) {
  const fs::path kavro = kavroCommand();
  if (kavro.empty()) GTEST_SKIP() << "the kavro command is not built";
  const std::string name = GetParam();
  // The process id keeps builds tested side by side (other worktrees, CI stages) apart.
  const fs::path dir = fs::path(::testing::TempDir()) / ("basis_restart_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string problem = std::string(KAVRO_TEST_DATA_DIR) + "/netlib/" + name + ".mps.gz";

  const RunOutcome first = runKavro(kavro, dir, "NEW BASIS FILE 11\nPUNCH FILE 13\nDUMP FILE 15\n",
                                    "--unit 11=new.bas --unit 13=punch.txt --unit 15=dump.txt", problem, "first");
  ASSERT_EQ(first.status, 0) << name;
  ASSERT_GT(first.iterations, 0) << name;

  const struct {
    const char* specs;
    const char* units;
    long maxIterations;  // the Dump file keeps 6 digits, so a few steps may be needed
  } restarts[] = {{"OLD BASIS FILE 12\n", "--unit 12=new.bas", 0},
                  {"INSERT FILE 14\n", "--unit 14=punch.txt", 5},
                  {"LOAD FILE 16\n", "--unit 16=dump.txt", 5}};
  for (const auto& r : restarts) {
    const RunOutcome again = runKavro(kavro, dir, r.specs, r.units, problem, "again");
    EXPECT_EQ(again.status, 0) << name << " " << r.specs;
    EXPECT_NEAR(again.objective, first.objective, 1e-9 * std::fabs(first.objective)) << name << " " << r.specs;
    EXPECT_LE(again.iterations, r.maxIterations) << name << " " << r.specs;
  }
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Netlib, BasisRestart,
                         ::testing::Values("afiro", "sc50a", "blend", "adlittle", "kb2", "recipe", "stocfor1"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace kavro
