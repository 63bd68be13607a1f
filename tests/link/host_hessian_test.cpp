// Second derivatives through the host: the model object's Hessian of the Lagrangian against the
// .nl Hessian through a view that reorders and leaves out, the link's products against the
// command's functions on the same model (whose free nonlinear row the link leaves out, which
// moves a column), the host's errors, a host library without second derivatives, and a model
// that qarnhost solves with them as the kavro command does.

#include <sys/wait.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "link/host_functions.hpp"
#include "link/model_transfer.hpp"
#include "link_test_support.hpp"
#include "nl/nl_functions.hpp"
#include "nl/nl_hessian.hpp"
#include "nl/nl_reader.hpp"
#include "nl_model.hpp"

namespace kavro::link::test {
namespace {

// Variables v0..v3, maximize v0^3 + 5 v3 subject to
//   C0 free:           v1^2 v0
//   C1 in [-10, 10]:   v0 v2 + exp(v2) + v3
//   C2 <= 20:          log(v0) v2
//   C3 = 1:            v0 + v1 + v3
// v1 is nonlinear only in the free row, which the link leaves out: it becomes a linear column
// and moves behind v2.
const std::string kFreeRowModel =
    "g3 1 1 0\n 4 4 1 1 1\n 3 1\n 0 0\n 3 1 1\n 0 0 0 1\n 0 0 0 0 0\n 10 2\n 0 0\n 0 0 0 0 0\n"
    "C0\no2\no5\nv1\nn2\nv0\n"
    "C1\no0\no2\nv0\nv2\no44\nv2\n"
    "C2\no2\no43\nv0\nv2\n"
    "C3\nn0\n"
    "O0 1\no5\nv0\nn3\n"
    "r\n3\n0 -10 10\n1 20\n4 1\n"
    "b\n3\n3\n3\n3\n"
    "x4\n0 0.5\n1 1.5\n2 -0.25\n3 2\n"
    "k3\n4\n6\n8\n"
    "J0 2\n0 0\n1 0\n"
    "J1 3\n0 0\n2 0\n3 1\n"
    "J2 2\n0 0\n2 0\n"
    "J3 3\n0 1\n1 1\n3 1\n"
    "G0 2\n0 0\n3 5\n";

using Dense = std::vector<std::vector<double>>;

// The symmetric matrix of a lower triangle (indices from base).
Dense symmetric(int n, const int* rows, const int* columns, const double* values, int64_t nz, int base = 0) {
  Dense a(static_cast<size_t>(n), std::vector<double>(static_cast<size_t>(n), 0.0));
  for (int64_t k = 0; k < nz; ++k) {
    const size_t i = static_cast<size_t>(rows[k] - base), j = static_cast<size_t>(columns[k] - base);
    EXPECT_GE(i, j) << "entry " << k << " above the diagonal";
    a[i][j] += values[k];
    if (i != j) a[j][i] += values[k];
  }
  return a;
}

class HostHessian : public LinkTest {
 protected:
  void loadModel() {
    std::ofstream(scratch_ + "/free.nl") << kFreeRowModel;
    ASSERT_EQ(source_.load(model.handle(), scratch_ + "/free.nl"), "");
    nl_ = nl::readNlData(kFreeRowModel, "free");
    ASSERT_TRUE(nl_.ok) << nl_.error;
  }
  qarn::NlModelSource source_;
  nl::ReadResult nl_;
};

TEST_F(HostHessian, TheModelsTriangleIsTheNlHessianThroughAReorderingView) {
  loadModel();
  const qmoHandle_t h = model.handle();
  ASSERT_EQ(qmoHaveHessLag(h), 1);
  // Columns reversed (the range column of C1 first), the free row left out, indices from 1.
  const int columns[] = {5, 4, 3, 2, 1}, rows[] = {4, 3, 2};
  ASSERT_EQ(qmoIndexBaseSet(h, 1), 0);
  ASSERT_EQ(qmoSetRvVarPermutation(h, columns, 5), 0);
  ASSERT_EQ(qmoSetRvEquPermutation(h, rows, 3), 0);
  const std::vector<double> hostX{0.8, -0.6, 1.3, 0.4, 7.0};
  const std::vector<double> x{7.0, 0.4, 1.3, -0.6, 0.8};
  const double sigma = -1.0;                                // the optimizer maximizes
  const std::vector<double> weights{0.5, -2.0, 3.0};         // C3 (linear), C2, C1
  const std::vector<double> lambda{0.0, 3.0, -2.0, 0.5};     // the .nl rows; the free row left out

  int64_t nz = -1;
  ASSERT_EQ(qmoHessLagNZ(h, &nz), 0);
  std::vector<int> r(static_cast<size_t>(nz)), c(static_cast<size_t>(nz));
  std::vector<double> values(static_cast<size_t>(nz));
  EXPECT_EQ(qmoHessLagStruct(h, r.data(), c.data(), nz - 1), 1);  // too little room
  ASSERT_EQ(qmoHessLagStruct(h, r.data(), c.data(), nz), 0);
  int errors = -1;
  ASSERT_EQ(qmoHessLagValues(h, x.data(), sigma, weights.data(), values.data(), &errors), 0);
  EXPECT_EQ(errors, 0);
  const Dense view = symmetric(5, r.data(), c.data(), values.data(), nz, 1);

  nl::Hessian reference(nl_.model, 0);
  std::vector<double> referenceValues(static_cast<size_t>(reference.nonzeros()));
  ASSERT_TRUE(reference.evaluate(hostX.data(), sigma, lambda.data(), referenceValues.data()));
  const Dense expected = symmetric(4, reference.entryRows(), reference.entryCols(), referenceValues.data(),
                                   reference.nonzeros());
  for (size_t i = 0; i < 5; ++i)
    for (size_t j = 0; j < 5; ++j) {
      const double want = i < 4 && j < 4 ? expected[i][j] : 0.0;  // host column 4: the range's
      EXPECT_NEAR(view[4 - i][4 - j], want, 1e-12) << "host entry (" << i << ", " << j << ")";
    }
  EXPECT_NE(expected[0][0], 0.0);  // the objective's and the rows' terms are all there
  EXPECT_NE(expected[0][2], 0.0);

  // The product agrees with the triangle.
  const std::vector<double> v{0.3, -1.0, 2.0, 0.5, -0.7};
  std::vector<double> hv(5, 99.0);
  ASSERT_EQ(qmoHessLagVec(h, x.data(), sigma, weights.data(), v.data(), hv.data(), &errors), 0);
  EXPECT_EQ(errors, 0);
  for (size_t i = 0; i < 5; ++i) {
    double want = 0.0;
    for (size_t j = 0; j < 5; ++j) want += view[i][j] * v[j];
    EXPECT_NEAR(hv[i], want, 1e-12) << i;
  }
  // log(v0) at v0 = -1: an evaluation error, reported and not returned as a number.
  std::vector<double> bad = x;
  bad[4] = -1.0;
  ASSERT_EQ(qmoHessLagValues(h, bad.data(), sigma, weights.data(), values.data(), &errors), 0);
  EXPECT_EQ(errors, 1);
  ASSERT_EQ(qmoHessLagVec(h, bad.data(), sigma, weights.data(), v.data(), hv.data(), &errors), 0);
  EXPECT_EQ(errors, 1);
}

TEST_F(HostHessian, ModelsWithoutSecondDerivativesSayItAndNeverCrash) {
  const int x = model.var("x", 0, 1, 2);
  model.objectiveEntry(x, 1.0, true);
  model.objective();
  const qmoHandle_t h = model.handle();
  const double point[] = {1.0}, weights[] = {0.0}, v[] = {1.0};
  double values[1] = {0.0}, hv[1] = {0.0};
  int64_t nz = 0;
  int rows[1], columns[1], errors = 0;
  EXPECT_EQ(qmoHaveHessLag(h), 0);
  EXPECT_EQ(qmoHessLagNZ(h, &nz), 1);
  EXPECT_EQ(qmoHessLagStruct(h, rows, columns, 1), 1);
  EXPECT_EQ(qmoHessLagValues(h, point, 1.0, weights, values, &errors), 1);
  EXPECT_EQ(qmoHessLagVec(h, point, 1.0, weights, v, hv, &errors), 1);
  EXPECT_EQ(qmoHaveHessLag(nullptr), 0);
  EXPECT_EQ(qmoHessLagNZ(nullptr, &nz), 1);
  // An evaluator with first derivatives only.
  qmoEvaluator firstOrder{[](void*, const double*) { return 0; },
                          [](void*, int, const double*, double*, double*, int*) { return 0; },
                          [](void*, const double*, double*, double*, int*) { return 0; },
                          nullptr,
                          nullptr,
                          nullptr};
  ASSERT_EQ(qmoSetEvaluator(h, &firstOrder, nullptr), 0);
  EXPECT_EQ(qmoHaveHessLag(h), 0);
  EXPECT_EQ(qmoHessLagNZ(h, &nz), 1);
  EXPECT_EQ(qmoHessLagVec(h, point, 1.0, weights, v, hv, &errors), 1);
  qmoSetEvaluator(h, nullptr, nullptr);
}

// The link's view of the same model: the optimizer's columns v0, v2 (nonlinear) then v1, v3 and
// the range column; its rows C1, C2 (nonlinear) then C3.
class LinkHessian : public HostHessian {
 protected:
  void SetUp() override {
    HostHessian::SetUp();
    loadModel();
    ASSERT_TRUE(ready());
    ASSERT_TRUE(transferModel(ctx, t_));
    ASSERT_EQ(t_.problem.nNonlinJacVars, 2);
    ASSERT_EQ(t_.problem.nNonlinObjVars, 2);
    ASSERT_EQ(t_.problem.nNonlinCons, 2);
    ASSERT_EQ(t_.state.x[1], -0.25);  // v2's starting value: v2 is the optimizer's column 1
    ASSERT_EQ(t_.state.x[2], 1.5);
  }
  // H v from the command's functions at the same point: v1 only meets the free row, whose
  // weight is 0 there, so its entry of v changes nothing.
  std::vector<double> commandProduct(const std::vector<double>& x, const std::vector<double>& v) {
    nl::BuiltProblem built;
    EXPECT_EQ(nl::buildProblem(nl_.model, {}, built), "");
    nl::ModelFunctions command(nl_.model, built);
    const double xc[] = {x[0], 0.9, x[1]}, vc[] = {v[0], 5.0, v[1]}, wc[] = {0.0, kW1, kW2};
    EXPECT_TRUE(command.prepareHessian(3, xc, kSigma, 3, wc));
    double hv[3];
    command.hessianProduct(3, vc, hv);
    return {hv[0], hv[2]};
  }
  static constexpr double kSigma = -1.0, kW1 = 2.5, kW2 = -1.5;
  TransferredModel t_;
};

TEST_F(LinkHessian, ProductsAndTriangleEqualTheCommandsFunctions) {
  HostFunctions functions(ctx, t_.problem.n, t_.hostRows, true);
  ASSERT_TRUE(functions.hasSecondDerivatives());
  EXPECT_FALSE(HostFunctions(ctx, t_.problem.n, t_.hostRows, false).hasSecondDerivatives());
  const std::vector<double> x{0.8, 1.3}, v{0.3, -1.1}, w{kW1, kW2};
  ASSERT_TRUE(functions.prepareHessian(2, x.data(), kSigma, 2, w.data()));
  std::vector<double> hv(2);
  functions.hessianProduct(2, v.data(), hv.data());
  const std::vector<double> want = commandProduct(x, v);
  EXPECT_NEAR(hv[0], want[0], 1e-12);
  EXPECT_NEAR(hv[1], want[1], 1e-12);
  NonlinearFunctions::HessianTriangle triangle;
  ASSERT_TRUE(functions.hessianTriangle(triangle));
  for (int64_t k = 0; k < triangle.nnz; ++k) {
    EXPECT_GE(triangle.rows[k], triangle.cols[k]);
    EXPECT_LT(triangle.rows[k], 2);
  }
  // Where the host cannot evaluate (log of -1) there is no Hessian, and the error counts.
  const std::vector<double> bad{-1.0, 1.3};
  const int32_t errorsBefore = ctx.evaluationErrors;
  EXPECT_FALSE(functions.prepareHessian(2, bad.data(), kSigma, 2, w.data()));
  EXPECT_EQ(ctx.evaluationErrors, errorsBefore + 1);
}

TEST_F(LinkHessian, AHostThatServesProductsOnlyIsAskedForEachProduct) {
  qmoTestFailCall(model.handle(), "qmoHessLagNZ");  // the host keeps no triangle
  HostFunctions functions(ctx, t_.problem.n, t_.hostRows, true);
  const std::vector<double> x{0.8, 1.3}, v{0.3, -1.1}, w{kW1, kW2};
  ASSERT_TRUE(functions.prepareHessian(2, x.data(), kSigma, 2, w.data()));
  NonlinearFunctions::HessianTriangle triangle;
  EXPECT_FALSE(functions.hessianTriangle(triangle));
  std::vector<double> hv(2);
  functions.hessianProduct(2, v.data(), hv.data());
  const std::vector<double> want = commandProduct(x, v);
  EXPECT_NEAR(hv[0], want[0], 1e-12);
  EXPECT_NEAR(hv[1], want[1], 1e-12);
  const std::vector<double> bad{-1.0, 1.3};
  ASSERT_TRUE(functions.prepareHessian(2, bad.data(), kSigma, 2, w.data()));
  functions.hessianProduct(2, v.data(), hv.data());
  EXPECT_TRUE(std::isnan(hv[0]));  // the optimizer then steps without it
}

TEST_F(LinkTest, AModelLibraryWithoutSecondDerivativesStillBinds) {
  setenv("KAVRO_QMO_LIBRARY", QARNMO_FIRST_ORDER, 1);
  HostBinding firstOrder;
  ASSERT_EQ(bindModelLibrary(firstOrder), "");
  EXPECT_NE(firstOrder.qmo.qmoEvalGradNL, nullptr);
  EXPECT_EQ(firstOrder.qmo.qmoHaveHessLag, nullptr);
  EXPECT_EQ(firstOrder.qmo.qmoHessLagValues, nullptr);
  useBuiltHostLibraries();
  HostBinding full;
  ASSERT_EQ(bindModelLibrary(full), "");
  EXPECT_NE(full.qmo.qmoHessLagVec, nullptr);
}

// A curly function (CUTEst's CURLY10) of 2100 variables: sum of q_i^4 - 20 q_i^2 - 0.1 q_i with q_i
// the sum of x_i .. x_{i+10}. Past 2000 nonlinear variables the solve strategy keeps a limited-
// memory quasi-Newton model, which makes little of it in 100 iterations; exact second
// derivatives solve it in about ten.
std::string curlyModel(int n) {
  std::string text = "g3 1 1 0\n " + std::to_string(n) + " 0 1 0 0\n 0 1\n 0 0\n 0 " + std::to_string(n) +
                     " 0\n 0 0 0 1\n 0 0 0 0 0\n 0 " + std::to_string(n) + "\n 0 0\n 0 0 0 0 0\nO0 0\no54\n" +
                     std::to_string(n) + "\n";
  for (int i = 0; i < n; ++i) {
    const int last = std::min(i + 10, n - 1);
    std::string q = last > i ? "o54\n" + std::to_string(last - i + 1) + "\n" : "";
    for (int j = i; j <= last; ++j) q += "v" + std::to_string(j) + "\n";
    text += "o54\n3\no5\n" + q + "n4\no2\nn-20\no5\n" + q + "n2\no2\nn-0.1\n" + q;
  }
  text += "b\n";
  for (int i = 0; i < n; ++i) text += "3\n";
  text += "x" + std::to_string(n) + "\n";
  for (int i = 0; i < n; ++i) text += std::to_string(i) + " " + std::to_string(1e-4 * (i + 1) / (n + 1)) + "\n";
  text += "G0 " + std::to_string(n) + "\n";
  for (int i = 0; i < n; ++i) text += std::to_string(i) + " 0\n";
  return text;
}

class HostSolve : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    std::ofstream(scratch_ + "/curly.nl") << curlyModel(2100);
  }
  // qarnhost on the curly model with the option lines; the solution file's JSON.
  nlohmann::json solve(const std::string& options, const std::string& environment = "") {
    std::ofstream(scratch_ + "/run.opt") << "solve_strategy 1\niterations_limit 100\n" << options;
    const std::string command = "cd " + scratch_ + " && " + environment + " " QARNHOST_PROGRAM
                                " --optfile run.opt --solution s.json curly.nl > out.txt 2>&1";
    const int rc = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << readFile(scratch_ + "/out.txt");
    listing_ = readFile(scratch_ + "/kavro55Print");
    return nlohmann::json::parse(readFile(scratch_ + "/s.json"));
  }
  bool hessianOptionListed(int option) const {
    return listing_.find("Hessian option.........         " + std::to_string(option)) != std::string::npos;
  }
  std::string listing_;
};

TEST_F(HostSolve, TheStrategySolvesWithTheModelsSecondDerivativesAsTheCommandDoes) {
  const nlohmann::json exact = solve("");
  EXPECT_TRUE(hessianOptionListed(2));
  EXPECT_EQ(exact["modelStatusText"], "locally optimal");
  EXPECT_TRUE(exact["certificate"]["passed"].get<bool>());
  EXPECT_LT(exact["iterations"].get<int>(), 100);
  const nlohmann::json quasiNewton = solve("hessian_option 0\n");
  EXPECT_EQ(quasiNewton["solveStatusText"], "iteration interrupt");

  std::ofstream(scratch_ + "/limit.spc") << "BEGIN\nIterations limit 100\nEND\n";
  const std::string command = "cd " + scratch_ + " && " KAVRO_PROGRAM
                              " --specs limit.spc --solution k.json curly.nl > kavro.txt 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << readFile(scratch_ + "/kavro.txt");
  const nlohmann::json command_ = nlohmann::json::parse(readFile(scratch_ + "/k.json"));
  EXPECT_EQ(exact["objective"], command_["objective"]);
  EXPECT_EQ(exact["iterations"], command_["iterations"]);
  EXPECT_EQ(exact["columns"], command_["columns"]);
}

// A host library without the second-derivative functions, and the host's single run, solve
// with the quasi-Newton model as before.
TEST_F(HostSolve, WithoutThemOrWithoutTheStrategyTheRunIsTheQuasiNewtonOne) {
  const nlohmann::json quasiNewton = solve("hessian_option 0\n");
  const nlohmann::json firstOrder = solve("", "KAVRO_QMO_LIBRARY=" QARNMO_FIRST_ORDER);
  EXPECT_TRUE(hessianOptionListed(0));
  EXPECT_EQ(firstOrder["objective"], quasiNewton["objective"]);
  EXPECT_EQ(firstOrder["iterations"], quasiNewton["iterations"]);
  std::ofstream(scratch_ + "/single.opt") << "iterations_limit 100\n";
  const std::string command = "cd " + scratch_ + " && " QARNHOST_PROGRAM " --optfile single.opt curly.nl > out.txt";
  ASSERT_EQ(std::system(command.c_str()), 0);
  listing_ = readFile(scratch_ + "/kavro55Print");
  EXPECT_TRUE(hessianOptionListed(0));
  EXPECT_EQ(listing_.find("Hessian-vector products"), std::string::npos);
}

}  // namespace
}  // namespace kavro::link::test
