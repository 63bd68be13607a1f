// Models with known solutions (bench/families), run by the kavro command as a user runs them:
// tests/data/nl/families/KNOWN.tsv names each model, its known optimal objective, whether it is
// convex, and whether today's build passes. What an answer must give:
//   - a bounded model is never reported unbounded, by any of the runs the command makes;
//   - an answer called optimal passes the independent first-order check (every row and bound,
//     and the reduced gradient of the true Lagrangian, nl_point_check.hpp) and the second-order
//     one (no direction of negative curvature along the active rows and bounds,
//     src/nl/nl_curvature.hpp): a saddle point is not a minimum;
//   - a convex model ends optimal at its known optimum (1e-6 relative).
// An entry marked "fails" documents a defect of today's build: the test expects one of these
// checks to fail, and says so when they all pass, so that the fix flips the entry to "ok".
//
// The second-order check itself is tested on small models whose answers are known saddle points
// or minima (tests/data/nl/families/curvature).

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

#include "nl/nl_curvature.hpp"
#include "nl/nl_curvature_probe.hpp"
#include "nl/nl_evaluator.hpp"
#include "nl/nl_point_check.hpp"
#include "nl/nl_problem.hpp"
#include "nl/nl_reader.hpp"
#include "nl_answer.hpp"
#include "support/temp_path.hpp"

namespace {

const std::string kModels = std::string(KAVRO_TEST_DATA_DIR) + "/nl/families";

// The second-order test with the model's own objective and sense.
kavro::nl::Curvature curvatureAt(const kavro::nl::Model& m, const std::vector<double>& x,
                                 const std::vector<double>& y) {
  const double sigma = m.nObjs() > 0 && m.objSense[0] == 1 ? -1.0 : 1.0;
  return kavro::nl::reducedCurvature(m, m.nObjs() > 0 ? 0 : -1, x.data(), y.data(), sigma);
}

struct Known {
  std::string model, file;
  double objective = 0.0;
  bool convex = false, failsToday = false;
  std::string note;
};

void PrintTo(const Known& k, std::ostream* os) { *os << k.file; }

std::vector<Known> readTable() {
  std::vector<Known> table;
  std::ifstream in(kModels + "/KNOWN.tsv");
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Known k;
    std::string convex, today;
    std::getline(fields, k.model, '\t');
    std::getline(fields, k.file, '\t');
    fields >> k.objective >> convex >> today;
    fields.ignore(1);
    std::getline(fields, k.note);
    k.convex = convex == "yes";
    k.failsToday = today == "fails";
    if (fields || fields.eof()) table.push_back(k);
  }
  return table;
}

struct CommandRun {
  int status = -1;
  std::string report;
  nlohmann::json answer;
};

CommandRun runCommand(const std::string& model) {
  CommandRun r;
  const std::string dir = kavro::testing::uniqueTempPath("nl_families", "");
  if (std::system(("mkdir -p '" + dir + "'").c_str()) != 0) return r;
  const std::string command = "cd '" + dir + "' && " + KAVRO_PROGRAM + " --quiet --solution run.json '" + model +
                              "' > out.txt 2>&1";
  r.status = std::system(command.c_str());
  std::ifstream in(dir + "/run.json");
  r.answer = nlohmann::json::parse(in, nullptr, false);
  std::ifstream report(dir + "/out.txt");
  r.report.assign(std::istreambuf_iterator<char>(report), {});
  std::system(("rm -rf '" + dir + "'").c_str());
  return r;
}

// Every check the answer fails, in words; none for a good answer.
std::vector<std::string> problems(const Known& k, const CommandRun& r) {
  std::vector<std::string> found;
  if (!WIFEXITED(r.status) || r.answer.is_discarded()) return {"the command gave no answer"};
  if (r.report.find("EXIT -- the problem is unbounded") != std::string::npos)
    found.push_back("a run ended unbounded on a bounded model");
  const int exitCode = r.answer.value("exitCode", -1);
  if (k.convex && exitCode != 0) found.push_back("the convex model ended with exit " + std::to_string(exitCode));
  if (exitCode != 0) return found;
  const kavro::nl::ReadResult model = kavro::nl::readNlFile(kModels + "/" + k.file);
  if (!model.ok) return {"cannot read the model: " + model.error};
  std::vector<double> x, y;
  for (const auto& c : r.answer["columns"]) x.push_back(c["level"].is_number() ? c["level"].get<double>() : NAN);
  for (const auto& row : r.answer["rows"])
    y.push_back(row["marginal"].is_number() ? row["marginal"].get<double>() : NAN);
  const kavro::nl::PointCheck check = kavro::nl::checkPoint(model.model, x.data(), &y, 1e-6);
  if (!check.passed(1e-6, 1e-6)) {
    found.push_back("optimal but not certified: " + check.failure + " primal " + std::to_string(check.primalRelative) +
                    " dual " + std::to_string(check.dualRelative));
    return found;
  }
  const kavro::nl::Curvature curvature = curvatureAt(model.model, x, y);
  if (!curvature.evaluated) found.push_back("no second derivatives at the answer: " + curvature.failure);
  else if (curvature.negative && curvature.conclusive)
    found.push_back("optimal at a saddle point: curvature " + std::to_string(curvature.smallest) +
                    " along the active rows");
  const double objective = r.answer.value("objective", NAN);
  if (k.convex && !(std::fabs(objective - k.objective) <= 1e-6 * std::max(1.0, std::fabs(k.objective))))
    found.push_back("objective " + std::to_string(objective) + ", known optimum " + std::to_string(k.objective));
  return found;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += "  " + l + "\n";
  return s;
}

class NlFamilies : public ::testing::TestWithParam<Known> {};

TEST_P(NlFamilies, AnswerIsOptimalOrHonest) {
  const Known& k = GetParam();
  const CommandRun r = runCommand(kModels + "/" + k.file);
  const std::vector<std::string> found = problems(k, r);
  if (k.failsToday)
    EXPECT_FALSE(found.empty()) << k.model << " passes every check now: set its 'today' entry in KNOWN.tsv to ok ("
                                << k.note << ")";
  else EXPECT_TRUE(found.empty()) << k.model << ":\n" << joined(found) << r.report.substr(0, 4000);
}

std::string modelName(const ::testing::TestParamInfo<Known>& info) {
  std::string name = info.param.model;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Models, NlFamilies, ::testing::ValuesIn(readTable()), modelName);

// A model of the curvature cases with its answer (x and y) from the .json beside it.
struct Answered {
  kavro::nl::ReadResult model;
  kavro::bench::Answer answer;
  bool ok = false;
};

Answered readAnswered(const std::string& name) {
  Answered r;
  const std::string base = kModels + "/curvature/" + name;
  r.model = kavro::nl::readNlFile(base + ".nl");
  r.ok = r.model.ok && kavro::bench::readAnswer(base + ".json", r.model.model, r.answer);
  return r;
}

// The second-order check on answers whose nature is known: stationary points of small models.
struct CurvatureCase {
  const char* model;
  bool negative;
  double smallest;  // the smallest eigenvalue on the subspace, when negative
};

TEST(ReducedCurvature, TellsSaddlePointsFromMinima) {
  const CurvatureCase cases[] = {
      {"saddle_free", true, -2.0},        // x^2 - y^2 at 0
      {"saddle_of_maximum", true, -2.0},  // maximize -x^2 + y^2 at 0: minimize x^2 - y^2
      {"saddle_along_row", true, -2.0},   // -x^2 - y^2 on x + y = 0
      {"maximum_on_circle", true, -1.0},  // maximize x on the circle, at (-1, 0)
      {"minimum_on_row", false, 0.0},     // -x^2 + y^2 on x = 0: the negative direction is held
      {"minimum_at_bound", false, 0.0},   // x^2 - y^2 - y with y at its upper bound 1
      {"minimum_on_circle", false, 0.0},  // minimize x in the disk, at (-1, 0)
  };
  for (const CurvatureCase& c : cases) {
    SCOPED_TRACE(c.model);
    const Answered answered = readAnswered(c.model);
    ASSERT_TRUE(answered.ok) << answered.model.error;
    const kavro::nl::ReadResult& model = answered.model;
    const kavro::bench::Answer& a = answered.answer;
    // Each answer is a first-order stationary point: only the second-order check tells them apart.
    const kavro::nl::PointCheck first = kavro::nl::checkPoint(model.model, a.x.data(), &a.y, 1e-6);
    EXPECT_TRUE(first.passed(1e-6, 1e-6));
    const kavro::nl::Curvature curvature = curvatureAt(model.model, a.x, a.y);
    ASSERT_TRUE(curvature.evaluated) << curvature.failure;
    EXPECT_EQ(curvature.negative, c.negative);
    if (c.negative) {
      EXPECT_NEAR(curvature.smallest, c.smallest, 1e-2 * std::fabs(c.smallest));
    }
  }
}

// Rows whose gradients are parallel at the solution count once, also at an answer off by its
// tolerance: one block of the degenerate disks (the disk, the tangent half-plane and the concave
// quadratic all active) at its solution moved 2.5e-7 along the tangent, where the disk's gradient
// has turned by 1e-7 from the other two. The tangent direction must remain.
TEST(ReducedCurvature, ParallelActiveRowsCountOnce) {
  const Answered answered = readAnswered("degenerate_block");
  ASSERT_TRUE(answered.ok) << answered.model.error;
  const kavro::nl::Curvature curvature = curvatureAt(answered.model.model, answered.answer.x, answered.answer.y);
  ASSERT_TRUE(curvature.evaluated) << curvature.failure;
  EXPECT_EQ(curvature.activeRows, 3);
  EXPECT_EQ(curvature.dimension, 1);
  EXPECT_FALSE(curvature.negative);
}

// Negative curvature found with multipliers the point does not determine proves nothing: bt8
// at the answer the command returns (its minimum, objective 1 + 4e-9) has two active nonlinear
// rows whose gradients differ by 1e-4 of their length, and its multipliers curve the Lagrangian
// downward where others would not. The test says so (not conclusive), and the command, whose
// move along that direction cannot improve, keeps the optimal exit. One nonlinear row alone, or
// linear rows, leave the test conclusive.
TEST(ReducedCurvature, NearlyDependentNonlinearRowsMakeItInconclusive) {
  const struct {
    const char* model;
    bool conclusive;
  } cases[] = {{"bt8", false}, {"maximum_on_circle", true}, {"saddle_along_row", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    const Answered answered = readAnswered(c.model);
    ASSERT_TRUE(answered.ok) << answered.model.error;
    const kavro::nl::ReadResult& model = answered.model;
    const kavro::bench::Answer& a = answered.answer;
    const kavro::nl::Curvature curvature = curvatureAt(model.model, a.x, a.y);
    ASSERT_TRUE(curvature.evaluated) << curvature.failure;
    EXPECT_TRUE(curvature.negative);
    EXPECT_EQ(curvature.conclusive, c.conclusive);
  }
  const CommandRun r = runCommand(kModels + "/curvature/bt8.nl");
  EXPECT_EQ(r.answer.value("exitCode", -1), 0) << r.report;
  EXPECT_NEAR(r.answer.value("objective", 0.0), 1.0, 1e-7);
  EXPECT_EQ(r.report.find("not a minimum"), std::string::npos) << r.report;
}

// The way out of a stationary point that is not a minimum: the direction found is one of
// negative curvature, no steeper than the smallest eigenvalue (measured by a second difference
// of the Lagrangian along it), and the probe's moved point keeps every bound and lowers the
// Lagrangian; at a minimum the probe offers nothing.
TEST(CurvatureProbe, MovesOffSaddlePointsOnly) {
  for (const char* name :
       {"saddle_free", "saddle_of_maximum", "saddle_along_row", "minimum_on_row", "minimum_on_circle"}) {
    SCOPED_TRACE(name);
    const Answered answered = readAnswered(name);
    ASSERT_TRUE(answered.ok) << answered.model.error;
    const kavro::nl::ReadResult& model = answered.model;
    const kavro::bench::Answer& a = answered.answer;
    kavro::nl::BuiltProblem built;
    ASSERT_EQ(kavro::nl::buildProblem(model.model, {}, built), "");
    std::copy(a.x.begin(), a.x.end(), built.state.x.begin());
    std::copy(a.y.begin(), a.y.end(), built.state.pi.begin());
    const double sigma = built.maximize ? -1.0 : 1.0;
    const kavro::nl::Curvature c = curvatureAt(model.model, a.x, a.y);
    kavro::nl::ModelCurvatureProbe probe(model.model, built);
    kavro::CurvatureEscape escape;
    const bool moved = probe.escape(built.problem, built.state, sigma, escape);
    EXPECT_EQ(moved, c.negative);
    if (!moved) continue;
    ASSERT_EQ(escape.x.size(), a.x.size());
    double length = 0.0;
    for (double d : c.direction) length += d * d;
    EXPECT_NEAR(length, 1.0, 1e-12);
    kavro::nl::Evaluator ev(model.model);
    auto lagrangian = [&](const std::vector<double>& x) {
      ev.setPoint(x.data());
      double f = 0.0, sum = 0.0;
      if (model.model.nObjs() > 0 && ev.value(model.model.objExpression(0), f)) sum = sigma * f;
      for (int32_t i = 0; i < model.model.nCons(); ++i) {
        EXPECT_TRUE(ev.value(model.model.conExpression(i), f));
        sum -= a.y[static_cast<size_t>(i)] * f;
      }
      return sum;
    };
    const double h = 1e-3, at = lagrangian(a.x);
    std::vector<double> plus = a.x, minus = a.x;
    for (size_t j = 0; j < a.x.size(); ++j) {
      plus[j] += h * c.direction[j];
      minus[j] -= h * c.direction[j];
    }
    const double along = (lagrangian(plus) - 2.0 * at + lagrangian(minus)) / (h * h);
    EXPECT_LT(along, -c.threshold);
    EXPECT_GE(along, c.smallest * (1.0 + 1e-2));
    EXPECT_LT(lagrangian(escape.x), at);
    for (size_t j = 0; j < a.x.size(); ++j) {
      EXPECT_GE(escape.x[j], model.model.varLower[j]);
      EXPECT_LE(escape.x[j], model.model.varUpper[j]);
    }
  }
}

}  // namespace
