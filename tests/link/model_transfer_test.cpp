// Model transfer: order, screening of row types, the objective row, the matrix, the warm
// start, the sense and superbasics lines, and the failures of the model object.

#include "link/model_transfer.hpp"
#include "link_test_support.hpp"

namespace kavro::link::test {
namespace {

class Transfer : public LinkTest {
 protected:
  bool transfer() {
    if (!ready()) return false;
    return transferModel(ctx, t);
  }
  std::string pendingMessage() const { return ctx.error.message; }
  TransferredModel t;
};

TEST_F(Transfer, LinearModelKeepsColumnOrderAndDropsFreeRows) {
  buildLp();
  model.var("x2", -1.0, 0.5, 1.0e30);  // an infinite bound comes back as 1.0e+20
  qmoAddEntry(model.handle(), 3, 2, 4.0, 0);
  ASSERT_TRUE(transfer()) << pendingMessage();
  const Problem& p = t.problem;
  EXPECT_EQ(p.n, 3);
  EXPECT_EQ(p.m, 4);  // l, g, e and the objective row
  EXPECT_EQ(p.objRow, 3);
  EXPECT_EQ(t.hostRows, 3);
  EXPECT_EQ(p.nNonlinCons + p.nNonlinJacVars + p.nNonlinObjVars, 0);
  EXPECT_EQ(p.names[0], "QARN    ");
  // Columns by host order; inside each, rows increasing and the objective row last.
  EXPECT_EQ(p.a.colStart, (std::vector<int32_t>{0, 4, 8, 9}));
  EXPECT_EQ(p.a.row, (std::vector<int32_t>{0, 1, 2, 3, 0, 1, 2, 3, 2}));
  EXPECT_EQ(p.a.value, (std::vector<double>{1, 1, 1, -1, 1, -1, 2, -1, 4}));
  // Slack bounds: =L= 4, =G= -2, =E= 3, free objective row.
  EXPECT_EQ(p.lower, (std::vector<double>{0, 0, -1, -4, -1e20, -3, -1e20}));
  EXPECT_EQ(p.upper, (std::vector<double>{10, 10, 1e20, 1e20, 2, -3, 1e20}));
  // The objective slack starts at minus the objective's linear part: -(-x0 - x1) at x = 0.
  EXPECT_EQ(t.state.x[6], 0.0);
  EXPECT_EQ(t.start, "Cold");
  EXPECT_EQ(t.state.hs, (std::vector<int32_t>(7, 0)));
}

TEST_F(Transfer, NonlinearColumnsAndRowsComeFirst) {
  // Host columns: 0 linear, 1 objective-nonlinear, 2 Jacobian-nonlinear, 3 both.
  for (const char* name : {"lin", "obj", "jac", "both"}) model.var(name, 0.0, 1.0, 5.0);
  const int r0 = model.equ("linrow", qmoEquL, 10.0);
  const int r1 = model.equ("nlrow", qmoEquE, 1.0);
  model.equ("freerow", qmoEquN, 0.0);
  model.entry(r0, 0, 1.0), model.entry(r0, 2, 2.0);
  model.entry(r1, 0, 3.0), model.entry(r1, 2, 4.0, true), model.entry(r1, 3, 5.0, true);
  model.objectiveEntry(0, 7.0), model.objectiveEntry(1, 8.0, true), model.objectiveEntry(3, 9.0, true);
  model.objective(0);
  ASSERT_TRUE(transfer()) << pendingMessage();
  const Problem& p = t.problem;
  EXPECT_TRUE(t.nonlinear);
  EXPECT_EQ(p.nNonlinJacVars, 2);  // both, jac
  EXPECT_EQ(p.nNonlinObjVars, 3);  // both, jac, obj
  EXPECT_EQ(p.nNonlinCons, 1);
  EXPECT_EQ(p.m, 3);  // nlrow, linrow, objective; the free row is left out
  // View order: both(3), jac(2), obj(1), lin(0); rows nlrow, linrow.
  EXPECT_EQ(p.a.colStart, (std::vector<int32_t>{0, 1, 3, 3, 6}));
  EXPECT_EQ(p.a.row, (std::vector<int32_t>{0, 0, 1, 0, 1, 2}));
  EXPECT_EQ(p.a.value, (std::vector<double>{5, 4, 2, 3, 1, 7}));
  // Jacobian entries: nonlinear rows x nonlinear Jacobian columns.
  EXPECT_EQ(ctx.jacobianStart, (std::vector<int32_t>{0, 1, 2}));
  // Objective slack: minus the linear objective entries only (7 x 1.0).
  EXPECT_EQ(t.state.x[static_cast<size_t>(p.n + p.objRow)], -7.0);
}

TEST_F(Transfer, UnsupportedRowTypes) {
  struct Case {
    int type;
    bool nonlinear;
    const char* message;
  };
  const Case cases[] = {
      {qmoEquX, true, "Equation type =x= not supported."},    {qmoEquC, true, "Equation type =c= not supported."},
      {qmoEquB, true, "Equation type =b= not supported."},    {qmoEquX, false, "Equation type '=X=' not supported."},
      {qmoEquC, false, "Equation type '=C=' not supported."}, {qmoEquB, false, "Equation type '=B=' not supported."}};
  for (const Case& c : cases) {
    LinkContext local;
    qarn::Model m(env);
    m.var("x", 0, 0, 1);
    const int r = m.equ("odd", c.type, 1.0);
    m.entry(r, 0, 1.0, c.nonlinear);
    m.objectiveEntry(0, 1.0);
    m.objective();
    readyApi(local, m.handle());
    ASSERT_FALSE(errorPending(local));
    TransferredModel out;
    EXPECT_FALSE(transferModel(local, out));
    EXPECT_EQ(local.error.message, c.message);
    EXPECT_EQ(local.error.code, kCapabilityError);
    EXPECT_EQ(qmoModelStat(m.handle()), 14);
    EXPECT_EQ(qmoSolveStat(m.handle()), 6);
  }
}

TEST_F(Transfer, ModelWithoutObjectiveHasNoObjectiveRowAndStartsCold) {
  buildLp();
  model.noObjective();
  qmoSetHaveBasis(model.handle(), 1);
  ASSERT_TRUE(transfer());
  EXPECT_EQ(t.modelType, 8);
  EXPECT_EQ(t.problem.objRow, -1);
  EXPECT_EQ(t.problem.m, 3);
  EXPECT_EQ(t.start, "Cold");
  ASSERT_TRUE(sendModelOptions(ctx));
  ctx.optimizer.reset();  // closes the print file
  EXPECT_EQ(printFile().find("Minimize"), std::string::npos);
  EXPECT_NE(printFile().find("Superbasics Limit               3"), std::string::npos);
}

TEST(WarmStart, StateFromHostStatusAndLevel) {
  struct Case {
    int status;
    double value;
    int32_t hs;
  };
  const Case cases[] = {
      {2, 0.0, kBasic},    {0, 0.0, kAtLower},         {0, 1.0e-8, kAtLower}, {3, 2.0e-7, kBasic},
      {1, 10.0, kAtUpper}, {1, 10.0 - 1e-8, kAtUpper}, {0, 5.0, kBasic},      {1, -3.0, kAtLower},
  };
  for (const Case& c : cases) EXPECT_EQ(warmStartState(c.status, c.value, 0.0, 10.0), c.hs) << c.value;
}

TEST_F(Transfer, WarmStartFromHostBasis) {
  const int x0 = model.var("x0", 0.0, 1.0e-8, 10.0, qmoBstatLower);  // at its bound within 1.0e-7
  const int x1 = model.var("x1", 0.0, 4.0, 10.0, qmoBstatBasic);
  const int x2 = model.var("x2", 0.0, 10.0, 10.0, qmoBstatSuper);
  const int r = model.equ("r", qmoEquL, 20.0, 14.0, 0.0, qmoBstatLower);  // slack -14 in [-20, inf]
  const int s = model.equ("s", qmoEquG, 0.0, 0.0, 0.0, qmoBstatLower);    // slack 0 in [-inf, 0]
  for (int j : {x0, x1, x2}) model.entry(r, j, 1.0), model.entry(s, j, 1.0);
  model.objectiveEntry(x0, 1.0);
  model.objective();
  qmoSetHaveBasis(model.handle(), 1);
  ASSERT_TRUE(transfer());
  EXPECT_EQ(t.start, "Warm");
  EXPECT_EQ(t.state.hs, (std::vector<int32_t>{kAtLower, kBasic, kAtUpper, kBasic, kAtUpper, kBasic}));
}

TEST_F(Transfer, FailingModelCallsAreQmoErrors) {
  struct Case {
    const char* function;
    bool nonlinear;
    const char* message;
  };
  const Case cases[] = {
      {"qmoGetRowSparse", false, "get sparse row"},
      {"qmoGetRowSparse", true, "get sparse row"},
      {"qmoGetObjSparse", false, "get sparse objective"},
      {"qmoSetRvVarPermutation", true, "set variable permutation"},
      {"qmoSetRvEquPermutation", true, "set equation permutation"},
      {"qmoSetNRowPerm", false, "set equation permutation"},
      {"qmoGetVarL", false, "get variable level"},
      {"qmoGetVarLower", false, "get variable lower bounds"},
      {"qmoGetVarUpper", false, "get variable upper bounds"},
      {"qmoGetEquL", false, "get equation level"},
      {"qmoGetEquM", false, "get equation marginals"},
  };
  for (const Case& c : cases) {
    LinkContext local;
    qarn::Model m(env);
    m.var("x", 0, 0, 1);
    const int r = m.equ("r", qmoEquE, 1.0);
    m.entry(r, 0, 1.0, c.nonlinear);
    m.objectiveEntry(0, 1.0);
    m.objective();
    readyApi(local, m.handle());
    qmoTestFailCall(m.handle(), c.function);
    TransferredModel out;
    EXPECT_FALSE(transferModel(local, out)) << c.function;
    EXPECT_EQ(local.error.message, std::string("Failed calling QMO: ") + c.message) << c.function;
    EXPECT_EQ(qmoModelStat(m.handle()), 13);
    EXPECT_EQ(qmoSolveStat(m.handle()), 9);
    EXPECT_TRUE(out.problem.a.value.empty());
  }
}

TEST_F(Transfer, ObjectiveSenseLines) {
  struct Case {
    int sense;
    const char* line;
    bool ok;
  };
  for (const Case& c : {Case{0, "Minimize", true}, Case{1, "Maximize", true}, Case{2, nullptr, false}}) {
    LinkContext local;
    qarn::Model m(env);
    m.var("x", 0, 0, 1);
    m.objectiveEntry(0, 1.0);
    m.objective(c.sense);
    readyApi(local, m.handle());
    TransferredModel out;
    ASSERT_TRUE(transferModel(local, out));
    EXPECT_EQ(sendModelOptions(local), c.ok);
    local.optimizer.reset();
    if (c.ok) {
      EXPECT_NE(printFile().find(std::string("\n      ") + c.line + "\n"), std::string::npos);
    } else {
      EXPECT_EQ(local.error.message, "Only supports optimization sense min and max.");
    }
  }
}

// Nonlinear functions are evaluated by the host; a host that cannot evaluate them (this stand-in
// without a model file) makes every evaluation an error, and with "DomLim" 0 the first one ends
// the run with the evaluation-error status instead of a wrong answer.
TEST_F(HostTest, NonlinearFunctionsTheHostCannotEvaluateEndTheRunCleanly) {
  const int x = model.var("x", 0, 1, 2);
  model.objectiveEntry(x, 1.0, true);
  model.objective();
  const Calls c = runLibrary();
  EXPECT_EQ(c.ready, 0);
  EXPECT_EQ(c.call, 0);
  EXPECT_NE(log().find("*** WARNING: QMO: evaluate objective gradient failed!"), std::string::npos);
  EXPECT_NE(log().find(" EXIT - Function evaluation error limit exceeded."), std::string::npos);
  EXPECT_EQ(solveStatus(), 5);
}

}  // namespace
}  // namespace kavro::link::test
