// The four entry points as a host drives them: set-up failures of every kind, the banner, the
// print file and the exported symbols.

#include <cstdio>
#include <filesystem>

#include "link_test_support.hpp"

namespace kavro::link::test {
namespace {

class EntryPoints : public HostTest {};

TEST_F(EntryPoints, ExportsExactlyTheFourEntryPoints) {
  std::FILE* nm = popen("nm -D --defined-only " KAVRO_LINK_LIBRARY, "r");
  ASSERT_NE(nm, nullptr);
  std::string symbols;
  char line[512];
  while (std::fgets(line, sizeof line, nm)) {
    std::string l = line;
    symbols += l.substr(l.rfind(' ') + 1);
  }
  pclose(nm);
  EXPECT_EQ(symbols, "kavCallSolver\nkavCreate\nkavFree\nkavReadyAPI\n");
}

TEST_F(EntryPoints, SolvesASmallLinearModel) {
  buildLp();
  const Calls c = runLibrary();
  EXPECT_EQ(c.ready, 0);
  EXPECT_EQ(c.call, 0);
  const std::string text = log();
  EXPECT_EQ(text.rfind("K A V R O  5.6      (Jul 2016)\n\n    QARN/KAVRO 5.6, Large Scale Nonlinear Solver\n", 0), 0u)
      << text;
  EXPECT_NE(text.find(" Work space allocated           --      0.77 Mb"), std::string::npos) << text;
  EXPECT_EQ(qmoSolutionComplete(model.handle()), 1);
  const std::string print = printFile();
  EXPECT_EQ(print.rfind(
                "==============================\nK A V R O  5.6      (Jul 2016)\n==============================\n", 0),
            0u);
}

// Several contexts may exist at once; the host solves through one at a time, and each keeps
// its own model, options and print file.
TEST_F(EntryPoints, TwoContextsSolveTheirOwnModels) {
  buildLp();  // minimum -3 at (3, 0)
  qarn::Environment env2;
  qarn::Model model2{env2};
  char pattern[] = "/tmp/kavro_link_test_XXXXXX";
  const std::string scratch2 = mkdtemp(pattern);
  qevSetStrOpt(env2.handle(), "ScrDir", scratch2.c_str());
  qevSetStrOpt(env2.handle(), "NameSysDir", QARN_SYSDIR);
  // minimize y0 + 2 y1 with y0 + y1 >= 2, y0 <= 1.5: (1.5, 0.5), objective 2.5.
  const int y0 = model2.var("y0", 0.0, 0.0, 1.5), y1 = model2.var("y1", 0.0, 0.0, 10.0);
  const int r = model2.equ("r", qmoEquG, 2.0);
  model2.entry(r, y0, 1.0), model2.entry(r, y1, 1.0);
  model2.objectiveEntry(y0, 1.0), model2.objectiveEntry(y1, 2.0);
  model2.objective(0);

  const SolverLibrary& lib = SolverLibrary::get();
  kavHandle_t first = nullptr, second = nullptr;
  ASSERT_EQ(lib.create(&first, nullptr, 0), 0);
  ASSERT_EQ(lib.create(&second, nullptr, 0), 0);
  ASSERT_EQ(lib.ready(first, model.handle()), 0);
  ASSERT_EQ(lib.ready(second, model2.handle()), 0);
  EXPECT_EQ(lib.call(second), 0);
  EXPECT_EQ(lib.call(first), 0);
  EXPECT_EQ(lib.free(&first), 0);
  EXPECT_EQ(lib.free(&second), 0);

  auto level = [](const qarn::Model& m, int column) {
    double x = 0.0, marginal = 0.0;
    int basis = 0, condition = 0;
    EXPECT_EQ(qmoResultVar(m.handle(), column, &x, &marginal, &basis, &condition), 0);
    return x;
  };
  EXPECT_EQ(modelStatus(), 1);
  EXPECT_EQ(qmoModelStat(model2.handle()), 1);
  EXPECT_NEAR(level(model, 0), 3.0, 1e-12);
  EXPECT_NEAR(level(model, 1), 0.0, 1e-12);
  EXPECT_NEAR(level(model2, y0), 1.5, 1e-12);
  EXPECT_NEAR(level(model2, y1), 0.5, 1e-12);
  EXPECT_NE(readFile(scratch2 + "/kavro55Print").find("Objective value          2.5000000000E+00"), std::string::npos);
  EXPECT_NE(printFile().find("Objective value         -3.0000000000E+00"), std::string::npos);
  std::filesystem::remove_all(scratch2);
}

TEST_F(EntryPoints, NullArgumentsAreRefused) {
  const SolverLibrary& lib = SolverLibrary::get();
  EXPECT_EQ(lib.create(nullptr, nullptr, 0), 1);
  EXPECT_EQ(lib.ready(nullptr, model.handle()), 1);
  EXPECT_EQ(lib.call(nullptr), 1);
  EXPECT_EQ(lib.free(nullptr), 0);
  kavHandle_t ctx = nullptr;
  EXPECT_EQ(lib.free(&ctx), 0);
}

TEST_F(EntryPoints, SolverCalledWithoutSetUpReportsAnError) {
  const SolverLibrary& lib = SolverLibrary::get();
  kavHandle_t ctx = nullptr;
  lib.create(&ctx, nullptr, 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(lib.call(ctx), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("*** ERROR: The solver was called without"), std::string::npos);
  lib.free(&ctx);
}

TEST_F(EntryPoints, SolverCalledAfterAFailedSetUpReportsAnError) {
  buildLp();
  qevSetStrOpt(env.handle(), "NameSysDir", LINK_TEST_DATA "/sysdir");
  writeOptionFile("bogus_keyword 1\n");
  const SolverLibrary& lib = SolverLibrary::get();
  kavHandle_t ctx = nullptr;
  lib.create(&ctx, nullptr, 0);
  EXPECT_EQ(lib.ready(ctx, model.handle()), 1);
  EXPECT_EQ(lib.call(ctx), 1);
  EXPECT_NE(log().find("*** ERROR: The solver was called without a successful kavReadyAPI."), std::string::npos);
  EXPECT_EQ(qmoSolutionComplete(model.handle()), 0);
  lib.free(&ctx);
}

TEST_F(EntryPoints, MissingModelLibraryIsAnInitError) {
  buildLp();
  setenv("KAVRO_QMO_LIBRARY", "/nonexistent/libqarnmo.so", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(runLibrary().ready, 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("*** INIT ERROR: Can't initialize QMO: /nonexistent/libqarnmo.so"), std::string::npos) << err;
  EXPECT_NE(err.find("*** Contact"), std::string::npos);
  EXPECT_EQ(modelStatus(), 0);  // no model object bound: nothing to set
}

TEST_F(EntryPoints, MissingEnvironmentFunctionIsAnInitError) {
  buildLp();
  setenv("KAVRO_QEV_LIBRARY", QARN_LIBRARY_DIR "/libqarnmo.so", 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(runLibrary().ready, 1);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("*** INIT ERROR: Can't initialize QEV: "), std::string::npos) << err;
  EXPECT_NE(err.find("qevLogStat"), std::string::npos) << err;
  EXPECT_EQ(modelStatus(), 13);
  EXPECT_EQ(solveStatus(), 9);
}

TEST_F(EntryPoints, MissingOptionLibraryIsLoggedAsInitError) {
  buildLp();
  setenv("KAVRO_OPT_LIBRARY", "/nonexistent/libqarnopt.so", 1);
  EXPECT_EQ(runLibrary().ready, 1);
  EXPECT_NE(log().find("*** INIT ERROR: Can't initialize OPT: /nonexistent/libqarnopt.so"), std::string::npos);
  EXPECT_NE(log().find("*** Contact support@kavro-solver.org for help."), std::string::npos);
  EXPECT_EQ(modelStatus(), 13);
  EXPECT_EQ(solveStatus(), 9);
}

TEST_F(EntryPoints, UnreadableDefinitionsAreAnOptError) {
  buildLp();
  qevSetStrOpt(env.handle(), "NameSysDir", "/nonexistent/sys");
  EXPECT_EQ(runLibrary().ready, 1);
  EXPECT_NE(log().find("*** OPT ERROR: Can't read '/nonexistent/sys/optkavro.def'"), std::string::npos) << log();
  EXPECT_EQ(modelStatus(), 13);
  EXPECT_EQ(solveStatus(), 9);
}

TEST_F(EntryPoints, MoreThan2To31NonzerosIsACapabilityErrorWithoutSupportLine) {
  struct Case {
    int64_t nz, nlnz;
  };
  for (const Case& c : {Case{2147483648LL, -1}, Case{-1, 2147483648LL}}) {
    qarn::Environment e;
    qarn::Model m(e);
    qevSetStrOpt(e.handle(), "NameSysDir", QARN_SYSDIR);
    m.var("x", 0, 0, 1);
    qmoTestReportNZ64(m.handle(), c.nz, c.nlnz);
    const SolverLibrary& lib = SolverLibrary::get();
    kavHandle_t ctx = nullptr;
    lib.create(&ctx, nullptr, 0);
    EXPECT_EQ(lib.ready(ctx, m.handle()), 1);
    lib.free(&ctx);
    EXPECT_NE(e.logText().find("*** CAPABILITY ERROR: More than 2^31 nonzeros not supported."), std::string::npos);
    EXPECT_EQ(e.logText().find("*** Contact"), std::string::npos);
    EXPECT_EQ(qmoModelStat(m.handle()), 14);
    EXPECT_EQ(qmoSolveStat(m.handle()), 6);
  }
  // 2^31 - 1 is still accepted.
  buildLp();
  qmoTestReportNZ64(model.handle(), 2147483647LL, 2147483647LL);
  EXPECT_EQ(runLibrary(false).ready, 0);
}

TEST_F(EntryPoints, ModelWithoutColumnsIsADataError) {
  EXPECT_EQ(runLibrary().ready, 1);
  EXPECT_NE(log().find("*** DATA ERROR: The model has no variables."), std::string::npos);
}

TEST_F(EntryPoints, MissingPrintFileLocationOnlyWarns) {
  buildLp();
  qevSetStrOpt(env.handle(), "ScrDir", "/nonexistent/scratch");
  const Calls c = runLibrary();
  EXPECT_EQ(c.ready, 0);
  EXPECT_EQ(c.call, 0);
  EXPECT_EQ(countOf(log(),
                    "*** WARNING: Can't open KAVRO print file (/nonexistent/scratch/kavro55Print). It will be "
                    "suppressed from the sysout file\n"),
            1)
      << log();
  EXPECT_NE(log().find(" EXIT - "), std::string::npos);
}

TEST_F(EntryPoints, TheOptionObjectOutlivesASecondSetUp) {
  buildLp();
  const SolverLibrary& lib = SolverLibrary::get();
  kavHandle_t ctx = nullptr;
  lib.create(&ctx, nullptr, 0);
  EXPECT_EQ(lib.ready(ctx, model.handle()), 0);
  // Definitions are not read again, so a vanished system directory no longer matters.
  qevSetStrOpt(env.handle(), "NameSysDir", "/nonexistent/sys");
  EXPECT_EQ(lib.ready(ctx, model.handle()), 0);
  EXPECT_EQ(lib.call(ctx), 0);
  lib.free(&ctx);
}

// Two runs in one folder at the same time: the second finds the print file held by the first and
// writes its own, so that neither report is lost or mixed with the other.
TEST_F(EntryPoints, TwoRunsInOneFolderWriteTwoWholePrintFiles) {
  buildLp();
  const SolverLibrary& lib = SolverLibrary::get();
  kavHandle_t first = nullptr, second = nullptr;
  lib.create(&first, nullptr, 0);
  lib.create(&second, nullptr, 0);
  ASSERT_EQ(lib.ready(first, model.handle()), 0);
  ASSERT_EQ(lib.ready(second, model.handle()), 0);
  EXPECT_EQ(lib.call(second), 0);
  EXPECT_EQ(lib.call(first), 0);
  lib.free(&second);
  lib.free(&first);
  EXPECT_EQ(countOf(log(), "*** WARNING: KAVRO print file " + scratch_ +
                               "/kavro55Print is in use by another run; "
                               "this run prints to " +
                               scratch_ + "/kavro55Print.2\n"),
            1)
      << log();
  const std::string one = printFile(), two = readFile(scratch_ + "/kavro55Print.2");
  EXPECT_EQ(one, two);
  EXPECT_EQ(one.find('\0'), std::string::npos);
  EXPECT_NE(one.find("EXIT -- optimal solution found"), std::string::npos);
  // Once the first run has let go of the name, the next run takes it again.
  runLibrary();
  EXPECT_EQ(countOf(log(), "is in use by another run"), 1);
}

// Outputs of the run that would overwrite each other are an IO error before the solve.
TEST_F(EntryPoints, OutputFilesThatClashAreAnIoError) {
  buildLp();
  writeOptionFile("new_basis_file 20\npunch_file 20\n");
  const Calls c = runLibrary();
  EXPECT_EQ(c.ready, 0);
  EXPECT_EQ(c.call, 1);
  EXPECT_NE(log().find("*** IO ERROR: the New basis file (unit 20) and the Punch file (unit 20) are the same file: "
                       "fort.20"),
            std::string::npos)
      << log();
  EXPECT_EQ(modelStatus(), 13);
  EXPECT_EQ(solveStatus(), 13);
  EXPECT_FALSE(std::filesystem::exists("fort.20"));
}

// A file the run could not write keeps the solution, with a warning naming the file and why.
TEST_F(EntryPoints, FilesThatCannotBeWrittenAreWarnedAbout) {
  buildLp();
  std::filesystem::create_directory("fort.21");
  writeOptionFile("new_basis_file 21\n");
  const Calls c = runLibrary();
  std::filesystem::remove("fort.21");
  EXPECT_EQ(c.call, 0);
  EXPECT_EQ(countOf(log(), "*** WARNING: KAVRO could not write fort.21: Is a directory\n"), 1) << log();
  EXPECT_EQ(modelStatus(), 1);
  EXPECT_EQ(printFile().find("NEW BASIS file saved"), std::string::npos);
  EXPECT_NE(printFile().find(" XXX  NEW BASIS file not saved on file  21: fort.21: Is a directory"), std::string::npos);
}

}  // namespace
}  // namespace kavro::link::test
