// What a run calls optimal is optimal for the problem as the user gave it: every answer that
// ends "optimal" is checked here with the reader's own evaluator at the returned point (rows,
// bounds and the reduced gradient with the returned multipliers), independent of the optimizer.
// Models whose points used to be called optimal while rows were violated (sawpath: 90 linear
// equalities off by up to 0.33; hvycrash: 150 equalities off by 2e-5 after a perturbed
// subproblem), a model whose functions are undefined beyond its bounds, and an LP whose rows
// are scaled by 1e9 and 1e-9.

#include <nlohmann/json.hpp>

#include "command_runner.hpp"
#include "nl/nl_point_check.hpp"
#include "nl/nl_reader.hpp"

namespace kavro::robustness {
namespace {

const fs::path kAnswers = fs::path(KAVRO_TEST_DATA) / "nl" / "answers";

struct Answer {
  int status = -1;
  nlohmann::json json;
  nl::PointCheck check;
};

Answer solveAndCheck(Workspace& w, const std::string& model) {
  w.inputCopy(model, kAnswers / model);
  Answer a;
  const Outcome o = w.run(kKavro, {"--quiet", "--solution", "s.json", model});
  a.status = o.status;
  a.json = nlohmann::json::parse(w.read("s.json"), nullptr, false);
  const nl::ReadResult r = nl::readNlFile(w.path(model).string());
  if (!r.ok || a.json.is_discarded()) return a;
  std::vector<double> x, y;
  for (const auto& c : a.json["columns"]) x.push_back(c["level"].is_number() ? c["level"].get<double>() : NAN);
  for (const auto& row : a.json["rows"]) y.push_back(row["marginal"].is_number() ? row["marginal"].get<double>() : NAN);
  a.check = nl::checkPoint(r.model, x.data(), &y, 1e-6);
  return a;
}

TEST(Robustness, AnswersCalledOptimalPassTheirCertificate) {
  Workspace w;
  // sawpath: rows scaled by 1e6 hid violations of 1e-2 in the user's units.
  const Answer saw = solveAndCheck(w, "sawpath.nl");
  ASSERT_FALSE(saw.json.is_discarded());
  EXPECT_EQ(saw.status, 0);
  EXPECT_TRUE(saw.check.passed(1e-6, 1e-6))
      << "primal " << saw.check.primalRelative << " dual " << saw.check.dualRelative;
  EXPECT_NEAR(saw.check.objective, 181.57299127532329, 1e-6 * 181.6);
  // hvycrash: whatever it ends with, an optimal answer must be certified.
  const Answer crash = solveAndCheck(w, "hvycrash.nl");
  ASSERT_FALSE(crash.json.is_discarded());
  if (crash.status == 0) {
    EXPECT_TRUE(crash.check.passed(1e-6, 1e-6)) << crash.check.primalRelative;
  }
  w.expectInputsUnchanged();
}

// x log x with lower bounds 1e-7: the functions are never called beyond the bounds, so no
// evaluation fails (there were 6,196 errors).
TEST(Robustness, FunctionsAreNeverEvaluatedBeyondTheBounds) {
  Workspace w;
  const Answer a = solveAndCheck(w, "ex6_2_5.nl");
  ASSERT_FALSE(a.json.is_discarded());
  EXPECT_EQ(a.json.value("evaluationErrors", -1), 0);
  EXPECT_TRUE(a.check.evaluated);
}

// Rows scaled by 1e9 and 1e-9: the scaled problem is solved, the unscaled check finds the
// rows of 1e11-sized terms off by rounding, and without the scaling the simplex steps see rays
// that are not there. The run must not call the bounded problem unbounded.
TEST(Robustness, BadlyScaledRowsAreNotCalledUnbounded) {
  Workspace w;
  w.inputCopy("a.mps", fs::path(KAVRO_TEST_DATA) / "apps" / "afiro-rows-scaled.mps");
  const Outcome o = w.run(kKavro, {"a.mps"});
  EXPECT_FALSE(contains(o.out, "unbounded")) << o.out;
  EXPECT_TRUE(contains(o.out, "EXIT -- optimal solution found") ||
              contains(o.out, "EXIT -- near-optimal solution found"))
      << o.out;
  w.expectInputsUnchanged();
}

}  // namespace
}  // namespace kavro::robustness
