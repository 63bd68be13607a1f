// The stand-in host with .nl models: the model object holds the model as the kavro command
// builds it, with nonlinear flags, and answers the nonlinear calls through any view. The
// functions the host link assembles from those calls (nonlinear values plus the linear entries)
// must equal the functions the command serves to the optimizer.

#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "link_test_support.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_reader.hpp"
#include "nl/nl_test_support.hpp"
#include "nl_model.hpp"

namespace kavro::link::test {
namespace {

class NlHost : public HostTest {
 protected:
  // Loads .nl text into the test's model through a file in the scratch directory.
  std::string load(qarn::NlModelSource& source, const std::string& text, const std::string& name = "m.nl") {
    std::ofstream(scratch_ + "/" + name) << text;
    return source.load(model.handle(), scratch_ + "/" + name);
  }

  struct Sparse {
    std::vector<int> columns, nonlinear;
    std::vector<double> values;
  };
  Sparse row(int i) {
    const int n = qmoN(model.handle());
    Sparse s{std::vector<int>(static_cast<size_t>(n)), std::vector<int>(static_cast<size_t>(n)),
             std::vector<double>(static_cast<size_t>(n))};
    int nz = 0, nlnz = 0;
    const int rc = i < 0 ? qmoGetObjSparse(model.handle(), s.columns.data(), s.values.data(), s.nonlinear.data(), &nz,
                                           &nlnz)
                         : qmoGetRowSparse(model.handle(), i, s.columns.data(), s.values.data(), s.nonlinear.data(),
                                           &nz, &nlnz);
    EXPECT_EQ(rc, 0);
    s.columns.resize(static_cast<size_t>(nz));
    s.nonlinear.resize(static_cast<size_t>(nz));
    s.values.resize(static_cast<size_t>(nz));
    return s;
  }
};

TEST_F(NlHost, ModelHoldsTheBuiltProblemWithNonlinearFlags) {
  qarn::NlModelSource source;
  ASSERT_EQ(load(source, nl::testing::kMixedModel), "");
  const qmoHandle_t h = model.handle();
  EXPECT_EQ(qmoN(h), 5);  // four variables and the column of the ranged row 0
  EXPECT_EQ(qmoM(h), 3);
  EXPECT_EQ(qmoNLM(h), 2);
  EXPECT_EQ(qmoNLNZ(h), 3);     // (x0, x1) in row 0, x0 in row 1
  EXPECT_EQ(qmoObjNLNZ(h), 3);  // x0, x1, x2
  EXPECT_EQ(qmoModelType(h), qmoProcNLP);
  EXPECT_EQ(qmoSense(h), 1);
  EXPECT_EQ(qmoGetEquTypeOne(h, 0), qmoEquE);  // a range: =E= with its column
  EXPECT_EQ(qmoGetEquTypeOne(h, 1), qmoEquL);
  EXPECT_EQ(qmoGetEquTypeOne(h, 2), qmoEquE);
  EXPECT_EQ(qmoGetRhsOne(h, 1), 20.0);
  EXPECT_EQ(qmoGetRhsOne(h, 2), 0.5);  // 2 less the row's constant 1.5
  char name[32];
  qmoVarName(h, 4, name, sizeof name);
  EXPECT_STREQ(name, "rng.r1");
  // Row 0 by column: (nonlinear flag, value).
  const Sparse r0 = row(0);
  std::map<int, std::pair<int, double>> entries;
  for (size_t k = 0; k < r0.columns.size(); ++k) entries[r0.columns[k]] = {r0.nonlinear[k], r0.values[k]};
  ASSERT_EQ(entries.size(), 4u);
  const double x0 = 0.5, x1 = 1.5, w = x0 * x0 + 2 * x1;
  EXPECT_EQ(entries[0].first, 1);
  EXPECT_DOUBLE_EQ(entries[0].second, 2 * x0 * x1 + 3);  // the derivative at the starting point
  EXPECT_EQ(entries[1].first, 1);
  EXPECT_DOUBLE_EQ(entries[1].second, w + 2 * x1);
  EXPECT_EQ(entries[2], (std::pair<int, double>{0, 1.0}));
  EXPECT_EQ(entries[4], (std::pair<int, double>{0, -1.0}));  // the range column
  const Sparse obj = row(-1);
  EXPECT_EQ(obj.nonlinear, (std::vector<int>{1, 1, 1, 0}));
  EXPECT_EQ(obj.values[3], 5.0);
  std::vector<double> level(3), marginal(3);
  ASSERT_EQ(qmoGetEquL(h, level.data()), 0);
  ASSERT_EQ(qmoGetEquM(h, marginal.data()), 0);
  EXPECT_DOUBLE_EQ(level[1], std::exp(x0) + 2 * x1 - 2.0);
  EXPECT_EQ(marginal, (std::vector<double>{-0.5, 1.0, -2.0}));  // the optimizer's multipliers
}

// The link's function assembly (Part of the host interface: nonlinear values from the model,
// linear entries added) against the functions the command serves, at a point.
TEST_F(NlHost, LinkAssemblyEqualsTheCommandsFunctions) {
  qarn::NlModelSource source;
  ASSERT_EQ(load(source, nl::testing::kMixedModel), "");
  const qmoHandle_t h = model.handle();
  const nl::Model m = nl::readNlData(nl::testing::kMixedModel, "mixed").model;
  nl::BuiltProblem built;
  ASSERT_EQ(nl::buildProblem(m, {}, built), "");
  nl::ModelFunctions functions(m, built);
  const Problem& p = built.problem;
  const std::vector<double> x{0.3, -1.2, 0.7, 2.5, 0.0};  // the last is the range column

  std::vector<double> F(2), jac(static_cast<size_t>(functions.jacobianElements())), g(3);
  int mode = 2;
  functions.constraints(mode, 2, 2, functions.jacobianElements(), x.data(), F.data(), jac.data(), 0);
  double f = 0.0;
  functions.objective(mode, 3, x.data(), f, g.data(), 0);
  ASSERT_EQ(mode, 2);

  ASSERT_EQ(qmoEvalNewPoint(h, x.data()), 0);
  std::vector<double> dense(5, 0.0);
  int position = 0;
  std::vector<std::vector<double>> hostJacobian(2, std::vector<double>(2, 0.0));
  for (int i = 0; i < 2; ++i) {
    double value = 0.0;
    int errors = -1;
    ASSERT_EQ(qmoEvalGradNL(h, i, x.data(), &value, dense.data(), &errors), 0);
    EXPECT_EQ(errors, 0);
    const Sparse s = row(i);
    for (size_t k = 0; k < s.columns.size(); ++k) {
      const int j = s.columns[k];
      if (j >= p.nNonlinJacVars) continue;  // later columns stay in the matrix
      if (!s.nonlinear[k]) value += s.values[k] * x[static_cast<size_t>(j)];
      hostJacobian[static_cast<size_t>(i)][static_cast<size_t>(j)] = s.nonlinear[k] ? dense[static_cast<size_t>(j)]
                                                                                    : s.values[k];
    }
    EXPECT_NEAR(value, F[static_cast<size_t>(i)], 1e-13) << "row " << i;
  }
  for (int j = 0; j < p.nNonlinJacVars; ++j)
    for (int k = p.a.colStart[static_cast<size_t>(j)]; k < p.a.colStart[static_cast<size_t>(j) + 1]; ++k) {
      const int i = p.a.row[static_cast<size_t>(k)];
      if (i >= p.nNonlinCons) continue;
      EXPECT_NEAR(hostJacobian[static_cast<size_t>(i)][static_cast<size_t>(j)], jac[static_cast<size_t>(position++)],
                  1e-13);
    }
  double value = 0.0;
  int errors = -1;
  ASSERT_EQ(qmoEvalGradNLObj(h, x.data(), &value, dense.data(), &errors), 0);
  const Sparse obj = row(-1);
  for (size_t k = 0; k < obj.columns.size(); ++k) {
    const int j = obj.columns[k];
    if (j >= p.nNonlinObjVars) continue;
    if (!obj.nonlinear[k]) value += obj.values[k] * x[static_cast<size_t>(j)];
    EXPECT_NEAR(obj.nonlinear[k] ? dense[static_cast<size_t>(j)] : obj.values[k], g[static_cast<size_t>(j)], 1e-13)
        << j;
  }
  EXPECT_NEAR(value, f, 1e-13);
}

TEST_F(NlHost, EvaluationThroughAPermutedViewAndItsErrors) {
  qarn::NlModelSource source;
  ASSERT_EQ(load(source,
                 "g3 1 1 0\n 2 2 1 0 0\n 2 1\n 0 0\n 2 2 2\n 0 0 0 1\n 0 0 0 0 0\n 3 2\n 0 0\n 0 0 0 0 0\n"
                 "C0\no43\nv0\nC1\no2\nv0\nv1\nO0 0\no5\nv1\nn3\nr\n2 0\n1 5\nb\n3\n3\nx2\n0 2\n1 3\n"
                 "k1\n2\nJ0 1\n0 0\nJ1 2\n0 0\n1 4\nG0 2\n0 0\n1 0\n"),
            "");
  const qmoHandle_t h = model.handle();
  // The view: columns and rows reversed, indices counted from 1.
  const int columns[] = {2, 1}, rows[] = {2, 1};
  ASSERT_EQ(qmoIndexBaseSet(h, 1), 0);
  ASSERT_EQ(qmoSetRvVarPermutation(h, columns, 2), 0);
  ASSERT_EQ(qmoSetRvEquPermutation(h, rows, 2), 0);
  const double x[] = {3.0, 2.0};  // view order: x1 = 3, x0 = 2
  double f = 0.0, gradient[2] = {-7.0, -7.0};
  int errors = -1;
  ASSERT_EQ(qmoEvalGradNL(h, 1, x, &f, gradient, &errors), 0);  // view row 1: the host's row 1
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(f, 2.0 * 3.0 + 4.0 * 3.0);  // x0 x1 + 4 x1: x1 is nonlinear there, with its linear term
  EXPECT_EQ(gradient[0], 2.0 + 4.0);    // d/dx1
  EXPECT_EQ(gradient[1], 3.0);          // d/dx0
  ASSERT_EQ(qmoEvalGradNL(h, 2, x, &f, gradient, &errors), 0);  // log x0
  EXPECT_DOUBLE_EQ(f, std::log(2.0));
  EXPECT_EQ(gradient[1], 0.5);
  ASSERT_EQ(qmoEvalGradNLObj(h, x, &f, gradient, &errors), 0);
  EXPECT_EQ(f, 27.0);
  EXPECT_EQ(gradient[0], 27.0);
  const double bad[] = {3.0, -1.0};
  ASSERT_EQ(qmoEvalGradNL(h, 2, bad, &f, gradient, &errors), 0);
  EXPECT_EQ(errors, 1);                                         // log of -1: reported, not returned
  EXPECT_EQ(qmoEvalGradNL(h, 3, x, &f, gradient, &errors), 1);  // no such row
}

// A row costs only its own terms at the announced point, yet is always evaluated at the point it
// is asked for: announced or not, and whatever the objective was evaluated at in between.
TEST_F(NlHost, RowsAreEvaluatedAtThePointTheyAreAskedFor) {
  qarn::NlModelSource source;
  ASSERT_EQ(load(source,
                 "g3 1 1 0\n 2 2 1 0 0\n 2 1\n 0 0\n 2 2 2\n 0 0 0 1\n 0 0 0 0 0\n 3 2\n 0 0\n 0 0 0 0 0\n"
                 "C0\no43\nv0\nC1\no2\nv0\nv1\nO0 0\no5\nv1\nn3\nr\n2 0\n1 5\nb\n3\n3\nx2\n0 2\n1 3\n"
                 "k1\n2\nJ0 1\n0 0\nJ1 2\n0 0\n1 4\nG0 2\n0 0\n1 0\n"),
            "");
  const qmoHandle_t h = model.handle();
  const double x[] = {2.0, 3.0}, y[] = {5.0, 3.0};  // log x0, x0 x1 + 4 x1; objective x1^3
  double f = 0.0, gradient[2] = {0.0, 0.0};
  int errors = -1;
  ASSERT_EQ(qmoEvalNewPoint(h, x), 0);
  ASSERT_EQ(qmoEvalGradNL(h, 0, x, &f, gradient, &errors), 0);
  EXPECT_DOUBLE_EQ(f, std::log(2.0));
  ASSERT_EQ(qmoEvalGradNLObj(h, y, &f, gradient, &errors), 0);
  EXPECT_EQ(f, 27.0);
  ASSERT_EQ(qmoEvalGradNL(h, 0, x, &f, gradient, &errors), 0);
  EXPECT_DOUBLE_EQ(f, std::log(2.0));
  ASSERT_EQ(qmoEvalGradNL(h, 0, y, &f, gradient, &errors), 0);  // not announced
  EXPECT_DOUBLE_EQ(f, std::log(5.0));
  EXPECT_EQ(gradient[0], 0.2);
  ASSERT_EQ(qmoEvalGradNL(h, 1, x, &f, gradient, &errors), 0);
  EXPECT_EQ(f, 2.0 * 3.0 + 4.0 * 3.0);
}

TEST_F(NlHost, WithoutAnEvaluatorTheCallsFail) {
  const double x[] = {1.0};
  double f = 0.0, g[1];
  int errors = 0;
  model.var("x", 0, 1, 2);
  model.objective();
  EXPECT_EQ(qmoEvalNewPoint(model.handle(), x), 1);
  EXPECT_EQ(qmoEvalGradNLObj(model.handle(), x, &f, g, &errors), 1);
  {
    qarn::NlModelSource source;
    EXPECT_NE(source.load(model.handle(), scratch_ + "/none.nl").find("cannot open"), std::string::npos);
  }
  qarn::Environment env2;
  qarn::Model other(env2);
  {
    qarn::NlModelSource source;
    std::ofstream(scratch_ + "/lp.nl") << nl::testing::kMixedModel;
    ASSERT_EQ(source.load(other.handle(), scratch_ + "/lp.nl"), "");
    EXPECT_EQ(qmoEvalNewPoint(other.handle(), std::vector<double>(5, 0.5).data()), 0);
  }
  // The source is gone: its evaluator was removed with it.
  EXPECT_EQ(qmoEvalNewPoint(other.handle(), std::vector<double>(5, 0.5).data()), 1);
}

TEST_F(NlHost, QarnhostSolvesLinearAndNonlinearModels) {
  auto run = [&](const std::string& arguments, std::string& output) {
    const std::string command = "cd " + scratch_ + " && " QARNHOST_PROGRAM " " + arguments + " > out.txt 2>&1";
    const int rc = std::system(command.c_str());
    output = readFile(scratch_ + "/out.txt");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  std::string output;
  ASSERT_EQ(run("--solution diet.json " KAVRO_TEST_DATA_DIR "/nl/diet.nl", output), 0) << output;
  EXPECT_NE(output.find(" EXIT - Optimal Solution found, objective: 88.2"), std::string::npos) << output;
  const nlohmann::json j = nlohmann::json::parse(readFile(scratch_ + "/diet.json"));
  EXPECT_NEAR(j["objective"].get<double>(), 88.2, 1e-9);
  ASSERT_EQ(j["columns"].size(), 12u);  // eight variables and the columns of four ranged rows
  EXPECT_EQ(j["columns"][8]["name"], "rng.r1");
  // The library evaluates the nonlinear functions through the host's model object.
  ASSERT_EQ(run("--solution hs071.json " KAVRO_TEST_DATA_DIR "/nl/hs071.nl", output), 0) << output;
  EXPECT_NE(output.find(" EXIT - Optimal Solution found, objective: 17.014"), std::string::npos) << output;
  const nlohmann::json h = nlohmann::json::parse(readFile(scratch_ + "/hs071.json"));
  EXPECT_NEAR(h["objective"].get<double>(), 17.0140173, 1e-6);
  std::ofstream(scratch_ + "/bad.nl") << "g3 1 1 0\n";
  EXPECT_EQ(run("bad.nl", output), 2);
  EXPECT_NE(output.find("bad.nl: line 2: the file ends inside the header"), std::string::npos) << output;
}

}  // namespace
}  // namespace kavro::link::test
