#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run_context.hpp"
#include "driver/run_hooks.hpp"
#include "files/basis_file_fields.hpp"
#include "files/basis_files.hpp"
#include "files/fortran_format.hpp"
#include "optimizer/run_main_loop.hpp"

namespace kavro {
namespace {

constexpr double kInf = 1.0e20;
constexpr int kPrint = 9, kFile = 11, kBackup = 12;

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

size_t occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// Units, parameters and the report channel of one test; files live in the test's temp dir.
struct Files {
  Parameters params;
  UnitTable units;
  ReportChannels out{&units, kPrint, 0};
  BasisFileChannel io{units, out, params};
  std::string prefix;

  Files() {
    prefix = ::testing::TempDir() + "basis_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_";
    for (int unit : {kPrint, kFile, kBackup}) units.connect(unit, path(unit));
    params.printFile = kPrint;
    params.problemName = "TESTPROB";
  }
  std::string path(int unit) const { return prefix + std::to_string(unit) + ".txt"; }
  std::string text(int unit) {
    units.flushAll();
    return slurp(path(unit));
  }
  std::vector<std::string> lines(int unit) { return splitLines(text(unit)); }
  void put(int unit, const std::string& content) {
    std::ofstream(path(unit)) << content;
    units.closeInput(unit);
  }
  InputUnit& input(int unit) {
    InputUnit* in = units.openInput(unit);
    EXPECT_NE(in, nullptr);
    return *in;
  }
};

// A problem with only what the basis files look at: counts, bounds, names.
Problem shaped(int32_t n, int32_t m, int32_t objRow = -1) {
  Problem p;
  p.n = n;
  p.m = m;
  p.objRow = objRow;
  p.a.colStart.assign(static_cast<size_t>(n) + 1, 0);
  p.lower.assign(static_cast<size_t>(n + m), 0.0);
  p.upper.assign(static_cast<size_t>(n + m), 10.0);
  return p;
}

struct Basis {
  std::vector<int32_t> hs;
  std::vector<double> x;
};

// Five columns, three rows (the last one the objective). Internal states included: column 1 is
// free and nonbasic strictly between its bounds (-1), column 4 is fixed and nonbasic (4).
Problem mixedProblem() {
  Problem p = shaped(5, 3, 2);
  p.lower = {0, -kInf, 1, 0, 3, -4, 0, -kInf};
  p.upper = {10, kInf, 1, 5, 3, kInf, 0, kInf};
  return p;
}
Basis mixedBasis() { return {{3, -1, 3, 2, 4, 0, 1, 3}, {2.5, 0.75, 1, 1.25, 3, -4, 0, 7.5}}; }

// The same problem and point as the optimizer holds them when scaled by `scales`.
void scaleInPlace(Problem& p, Basis& b, const std::vector<double>& scales) {
  for (size_t j = 0; j < scales.size(); ++j) {
    b.x[j] /= scales[j];
    if (std::fabs(p.lower[j]) < 0.9 * kInf) p.lower[j] /= scales[j];
    if (std::fabs(p.upper[j]) < 0.9 * kInf) p.upper[j] /= scales[j];
  }
}

// ------------------------------------------------------------------------- fields

TEST(BasisFileFields, ExponentFormMatchesTheListings) {
  const double values[] = {0.0,     1.0,     -1.0,          0.1, -464.753, 1e20,
                           -1e-300, 2.5e100, 9.99999999e99, NAN, INFINITY, -INFINITY};
  const int shapes[][2] = {{24, 14}, {21, 12}, {12, 5}};
  for (double v : values) {
    for (const auto& s : shapes) {
      basisfile::LineBuffer line;
      line.appendExponent(v, s[0], s[1]);
      EXPECT_EQ(std::string(line.view()), formatExponent(v, s[0], s[1])) << v << " width " << s[0];
    }
  }
}

TEST(BasisFileFields, RealNumbersReadBack) {
  struct Case {
    const char* text;
    basisfile::Field kind;
    double value;
  };
  const Case cases[] = {
      {"  1.5", basisfile::Field::kNumber, 1.5},
      {" 2.5+100", basisfile::Field::kNumber, 2.5e100},
      {"-2.5-100", basisfile::Field::kNumber, -2.5e-100},
      {"1.0D+03", basisfile::Field::kNumber, 1000.0},
      {"-3.25E-02 ", basisfile::Field::kNumber, -0.0325},
      {"7", basisfile::Field::kNumber, 7.0},
      {"", basisfile::Field::kBlank, 0.0},
      {"      ", basisfile::Field::kBlank, 0.0},
      {"abc", basisfile::Field::kInvalid, 0.0},
      {"NaN", basisfile::Field::kInvalid, 0.0},
      {"Infinity", basisfile::Field::kInvalid, 0.0},
      {"0x1p3", basisfile::Field::kInvalid, 0.0},
      {"1.5e+", basisfile::Field::kInvalid, 0.0},
      {"+-1", basisfile::Field::kInvalid, 0.0},
      {"1.5 2", basisfile::Field::kInvalid, 0.0},
      {".", basisfile::Field::kInvalid, 0.0},
  };
  for (const Case& c : cases) {
    double v = 0.0;
    EXPECT_EQ(basisfile::readReal(c.text, v), c.kind) << c.text;
    if (c.kind == basisfile::Field::kNumber) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
  double v = 0.0;
  EXPECT_EQ(basisfile::readReal("1E999", v), basisfile::Field::kNumber);
  EXPECT_TRUE(std::isinf(v));  // the readers refuse it as a value
}

// ------------------------------------------------------------------------- NEW BASIS / OLD BASIS

TEST(NewBasisFormat, FixedColumnLayout) {
  Files f;
  f.params.problemName = "AFIRO";
  f.params.objectiveName = "COST";
  f.params.rhsName = "B";
  f.params.boundsName = "BND1";
  const Problem p = mixedProblem();
  const Basis b = mixedBasis();
  writeNewBasis(f.io, kFile, BasisSource{p, {}, b.hs, b.x}, NewBasisHeader{123, 1, 0, -464.75});
  const auto lines = f.lines(kFile);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "AFIRO     ITN     123    OPTIMAL SOLN  NINF      0      OBJ  -4.647500000000E+02");
  EXPECT_EQ(lines[1], "OBJ=COST     RHS=B        RNG=         BND=BND1     M=      3 N=      5 SB=    1");
  EXPECT_EQ(lines[2], "30320013");                             // internal states -1 and 4 saved as 0
  EXPECT_EQ(lines[3], "       2    7.50000000000000E-01 -1");  // free column strictly inside its bounds
  EXPECT_EQ(lines[4], "       4    1.25000000000000E+00  2");
  EXPECT_EQ(lines[5], "       0    0.00000000000000E+00  0");
  EXPECT_NE(f.text(kPrint).find(" NEW BASIS file saved on file  11    itn =     123"), std::string::npos);
}

TEST(NewBasisFormat, StatusTexts) {
  const struct {
    int32_t status;
    const char* text;
  } cases[] = {{0, "PROCEEDING  "}, {1, "OPTIMAL SOLN"}, {2, "INFEASIBLE  "}, {3, "UNBOUNDED   "},
               {4, "EXCESS ITNS "}, {5, "ERROR CONDN "}, {13, "ERROR CONDN "}};
  for (const auto& c : cases) {
    Files f;
    const Problem p = mixedProblem();
    const Basis b = mixedBasis();
    writeNewBasis(f.io, kFile, BasisSource{p, {}, b.hs, b.x}, NewBasisHeader{1, c.status, 0, 0.0});
    EXPECT_EQ(f.lines(kFile)[0].substr(25, 12), c.text) << c.status;
  }
}

// Each save replaces the previous one.
TEST(NewBasisFormat, RewoundAfterEachSave) {
  Files f;
  const Problem p = mixedProblem();
  const Basis b = mixedBasis();
  Basis longer = b;
  longer.hs[0] = 2;  // one more value line in the first save
  writeNewBasis(f.io, kFile, BasisSource{p, {}, longer.hs, longer.x}, NewBasisHeader{100, 0, 2, 1.0});
  EXPECT_EQ(f.lines(kFile).size(), 7u);
  writeNewBasis(f.io, kFile, BasisSource{p, {}, b.hs, b.x}, NewBasisHeader{200, 0, 0, 1.0});
  const auto lines = f.lines(kFile);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].substr(13, 8), "     200");
  EXPECT_EQ(lines[5], "       0    0.00000000000000E+00  0");
}

// The file holds the last save once the run has ended and its units are closed.
TEST(NewBasisFormat, LastSaveSurvivesTheEndOfTheRun) {
  Files f;
  const Problem p = mixedProblem();
  const Basis b = mixedBasis();
  {
    Parameters params;
    UnitTable units;
    units.connect(kBackup, f.path(kBackup));
    const ReportChannels none;
    const BasisFileChannel io{units, none, params};
    Basis longer = b;
    longer.hs[0] = 2;
    writeNewBasis(io, kBackup, BasisSource{p, {}, longer.hs, longer.x}, NewBasisHeader{1, 0, 0, 0.0});
    writeNewBasis(io, kBackup, BasisSource{p, {}, b.hs, b.x}, NewBasisHeader{2, 1, 0, 0.0});
  }
  const auto lines = splitLines(slurp(f.path(kBackup)));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].substr(25, 12), "OPTIMAL SOLN");
}

// Scaled working data in, unscaled values out; read back into the unscaled problem.
TEST(OldBasisFile, RoundTripOfStatesAndValues) {
  Files f;
  const std::vector<double> scales = {2, 1, 1, 4, 1, 0.5, 1, 1};
  Problem working = mixedProblem();
  Basis b = mixedBasis();
  scaleInPlace(working, b, scales);
  writeNewBasis(f.io, kFile, BasisSource{working, scales, b.hs, b.x}, NewBasisHeader{5, 0, 0, 0.0});

  const Problem p = mixedProblem();
  Basis r{std::vector<int32_t>(8, 0), std::vector<double>(8, 99.0)};
  const BasisReadResult res = readOldBasis(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x});
  ASSERT_TRUE(res.loaded);
  EXPECT_EQ(res.superbasics, 1);
  // Column 2 is fixed and was basic: restored nonbasic at its bound.
  EXPECT_EQ(r.hs, (std::vector<int32_t>{3, 0, 0, 2, 0, 0, 1, 3}));
  const std::vector<double> expected = {99.0, 0.75, 1.0, 1.25, 3.0, -4.0, 0.0, 99.0};
  for (size_t j = 0; j < expected.size(); ++j) EXPECT_DOUBLE_EQ(r.x[j], expected[j]) << j;
  const std::string printed = f.text(kPrint);
  EXPECT_NE(printed.find(" OLD BASIS file to be input from file  11"), std::string::npos);
  EXPECT_NE(printed.find("No. of superbasics loaded:       1"), std::string::npos);
  EXPECT_NE(printed.find("No. of fixed cols made nonbasic:       1"), std::string::npos);
}

// With nonlinear variables every nonlinear variable and every basic one carries a value line.
TEST(OldBasisFile, NonlinearProblemsSaveBasicValues) {
  Files f;
  Problem p = mixedProblem();
  p.nNonlinObjVars = 2;
  const Basis b = mixedBasis();
  writeNewBasis(f.io, kFile, BasisSource{p, {}, b.hs, b.x}, NewBasisHeader{});
  const auto lines = f.lines(kFile);
  std::vector<std::string> numbers;
  for (size_t k = 3; k < lines.size(); ++k) numbers.push_back(lines[k].substr(0, 8) + lines[k].substr(32));
  EXPECT_EQ(numbers, (std::vector<std::string>{"       1  3", "       2  0", "       3  3", "       4  2",
                                               "       8  3", "       0  0"}));
  Basis r{std::vector<int32_t>(8, 0), std::vector<double>(8, 0.0)};
  ASSERT_TRUE(readOldBasis(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x}).loaded);
  EXPECT_DOUBLE_EQ(r.x[0], 2.5);
  EXPECT_DOUBLE_EQ(r.x[7], 7.5);
}

// The state map holds 80 states to a line: 80 variables fill one line, 100 need 80 + 20.
TEST(OldBasisFile, StateMapLines) {
  for (const int32_t nb : {79, 80, 81, 100, 160}) {
    Files f;
    const Problem p = shaped(nb - 3, 3);
    Basis b{std::vector<int32_t>(static_cast<size_t>(nb)), std::vector<double>(static_cast<size_t>(nb), 0.0)};
    for (int32_t j = 0; j < nb; ++j) {
      b.hs[static_cast<size_t>(j)] = j % 4 == 2 ? 1 : (j % 7 == 0 ? 3 : 0);
      b.x[static_cast<size_t>(j)] = b.hs[static_cast<size_t>(j)] == 1 ? 10.0 : 0.0;
    }
    writeNewBasis(f.io, kFile, BasisSource{p, {}, b.hs, b.x}, NewBasisHeader{});
    const auto lines = f.lines(kFile);
    const size_t mapLines = static_cast<size_t>((nb + 79) / 80);
    ASSERT_EQ(lines.size(), 2 + mapLines + 1) << nb;
    for (size_t k = 0; k < mapLines; ++k)
      EXPECT_EQ(lines[2 + k].size(), k + 1 < mapLines ? 80u : static_cast<size_t>(nb - 80 * static_cast<int>(k)));
    Basis r{std::vector<int32_t>(static_cast<size_t>(nb), 3), std::vector<double>(static_cast<size_t>(nb), 5.0)};
    ASSERT_TRUE(readOldBasis(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x}).loaded) << nb;
    EXPECT_EQ(r.hs, b.hs) << nb;
    for (int32_t j = 0; j < nb; ++j)
      if (b.hs[static_cast<size_t>(j)] != 3) {
        EXPECT_EQ(r.x[static_cast<size_t>(j)], b.x[static_cast<size_t>(j)]);
      }
  }
}

const char* kHeader1 = "TESTPROB  ITN       5    PROCEEDING    NINF      0      OBJ   0.000000000000E+00\n";
const char* kHeader2 = "OBJ=         RHS=         RNG=         BND=         M=      3 N=      5 SB=    1\n";

// Bad Old basis files: each either ends the run (dimensions), is not used at all, or is used
// with its unreadable lines reported. Nothing is half-loaded.
TEST(OldBasisFile, BadFiles) {
  struct Case {
    const char* name;
    std::string content;
    bool mismatch, loaded;
    const char* message;
  };
  const std::string h = std::string(kHeader1) + kHeader2;
  const std::string longLine(20000, '7');
  const Case cases[] = {
      {"other m",
       std::string(kHeader1) + "OBJ=         RHS=         RNG=         BND=         M=      4 N=      5 SB=    0\n"
                               "30300013\n       0\n",
       true, false, " EXIT -- the basis file dimensions do not match this problem"},
      {"empty file", "", true, false, "no readable M= and N="},
      {"only line 1", kHeader1, true, false, "no readable M= and N="},
      {"letters for M",
       std::string(kHeader1) + "OBJ=         RHS=         RNG=         BND=         M=    abc N=      5\n", true, false,
       "no readable M= and N="},
      {"map cut short", h, false, false, "ends inside its state map"},
      {"letter in map", h + "303x0013\n", false, false, "not a state"},
      {"value not a number", h + "30320013\n       4  abc\n       0\n", false, true, "ignored: no valid value"},
      {"NaN value", h + "30320013\n       4                     NaN  2\n", false, true, "ignored: no valid value"},
      {"no variable number", h + "30320013\n    xyz  1.0\n       0\n", false, true, "ignored: no variable number"},
      {"overlong lines", h + "30320013" + longLine + "\n       4    1.50000000000000E+00  2" + longLine + "\n", false,
       true, "No. of superbasics loaded:       1"},
      {"number beyond nb", h + "30320013\n     999  1.5E+00\n       4  1.5E+00\n", false, true,
       "No. of superbasics loaded:       1"},
      {"no final line", h + "30320013\n       4    1.50000000000000E+00  2", false, true,
       "No. of superbasics loaded:       1"},
      {"short map line", h + "303\n", false, true, "No. of fixed cols made nonbasic:       1"},
  };
  for (const Case& c : cases) {
    Files f;
    f.put(kFile, c.content);
    const Problem p = mixedProblem();
    Basis r{std::vector<int32_t>(8, 1), std::vector<double>(8, 42.0)};
    const BasisReadResult res = readOldBasis(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x});
    EXPECT_EQ(res.dimensionMismatch, c.mismatch) << c.name;
    EXPECT_EQ(res.loaded, c.loaded) << c.name;
    EXPECT_NE(f.text(kPrint).find(c.message), std::string::npos) << c.name << "\n" << f.text(kPrint);
    if (!c.loaded) {
      EXPECT_EQ(r.hs, std::vector<int32_t>(8, 1)) << c.name;
      EXPECT_EQ(r.x, std::vector<double>(8, 42.0)) << c.name;
    }
  }
}

TEST(OldBasisFile, LineMessagesStopAtTheErrorLimit) {
  Files f;
  f.params.errorMessageLimit = 3;
  std::string content = std::string(kHeader1) + kHeader2 + "30320013\n";
  for (int k = 0; k < 7; ++k) content += "       4  junk\n";
  f.put(kFile, content);
  const Problem p = mixedProblem();
  Basis r{std::vector<int32_t>(8, 0), std::vector<double>(8, 0.0)};
  EXPECT_TRUE(readOldBasis(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x}).loaded);
  const std::string printed = f.text(kPrint);
  EXPECT_EQ(occurrences(printed, "ignored: no valid value"), 3u);
  EXPECT_NE(printed.find("Value lines ignored: 7"), std::string::npos);
}

// ------------------------------------------------------------------------- PUNCH / INSERT

// Four rows (the third the objective), six columns; a superbasic slack and a superbasic column.
Problem punchProblem() {
  Problem p = shaped(6, 4, 2);
  p.lower = {0, 0, -5, 0, -kInf, 0, -3, 0, -kInf, -kInf};
  p.upper = {10, 10, 5, 8, 4, kInf, 2, 0, kInf, kInf};
  return p;
}
// Basics: columns 0, 2, 5 and the objective slack; slack 0 at its upper bound, slack 1 at its
// lower bound, slack 3 superbasic. Column 1 sits at a zero lower bound (left out of the file).
Basis punchBasis() { return {{3, 0, 3, 2, 1, 3, 1, 0, 3, 2}, {2.5, 0, -1.25, 0.5, 4, 3.75, 2, 0, 6, 0.125}}; }

TEST(PunchFile, LayoutWithGeneratedNames) {
  Files f;
  const Problem p = punchProblem();
  const Basis b = punchBasis();
  writePunch(f.io, kFile, BasisSource{p, {}, b.hs, b.x});
  const auto lines = f.lines(kFile);
  const std::vector<std::string> expected = {
      "NAME          TESTPROB  PUNCH/INSERT", " XU x......1  r......1   2.50000E+00",
      " XL x......3  r......2  -1.25000E+00", " SB x......4             5.00000E-01",
      " UL x......5             4.00000E+00", " XL x......6  r......4   3.75000E+00",
      " SB r......4             1.25000E-01", "ENDATA",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_NE(f.text(kPrint).find(" PUNCH file saved on file  11"), std::string::npos);
}

TEST(PunchFile, RoundTripThroughTheInsertFile) {
  Files f;
  const std::vector<double> scales = {2, 1, 0.5, 1, 4, 1, 1, 1, 1, 2};
  Problem working = punchProblem();
  working.columnNames = {"COLA", "COLB", "COLC", "COLD", "COLE", "COLF"};
  working.rowNames = {"ROW1", "ROW2", "COST", "ROW4"};
  Basis b = punchBasis();
  scaleInPlace(working, b, scales);
  writePunch(f.io, kFile, BasisSource{working, scales, b.hs, b.x});

  Problem p = punchProblem();
  p.columnNames = working.columnNames;
  p.rowNames = working.rowNames;
  Basis r{std::vector<int32_t>(10, 2), std::vector<double>(10, 0.0)};
  const BasisReadResult res = readInsert(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x});
  ASSERT_TRUE(res.loaded);
  EXPECT_EQ(res.superbasics, 2);
  EXPECT_EQ(r.hs, punchBasis().hs);
  // Slacks swapped out of the basis take their bound; basic slacks keep their value.
  const std::vector<double> expected = {2.5, 0, -1.25, 0.5, 4, 3.75, 2, 0, 0, 0.125};
  for (size_t j = 0; j < expected.size(); ++j) EXPECT_DOUBLE_EQ(r.x[j], expected[j]) << j;
  const std::string printed = f.text(kPrint);
  EXPECT_NE(printed.find(" INSERT file to be input from file  11"), std::string::npos);
  EXPECT_NE(printed.find(" No. of lines read            6   Lines ignored        0"), std::string::npos);
  EXPECT_NE(printed.find(" No. of basics specified      3   Superbasics          2"), std::string::npos);
}

// Lines that cannot be used are skipped and reported; the others still apply.
TEST(InsertFile, BadLines) {
  struct Case {
    const char* name;
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"unknown column", " LL NOSUCH                 1.0", " --  name not found:  NOSUCH"},
      {"unknown row", " XL COLA      NOROW        1.0", " --  name not found:  NOROW"},
      {"unknown key", " ZZ COLA                   1.0", " ignored:   ZZ COLA"},
      {"key in wrong columns", "LL  COLA                   1.0", " ignored:  LL  COLA"},
      {"XU on a nonbasic slack", " XU COLC      ROW1         1.0", " ignored:   XU COLC      ROW1"},
      {"objective row", " XL COLC      COST         1.0", " ignored:   XL COLC      COST"},
      {"row named as column", " XL ROW4      ROW2         1.0", " --  name not found:  ROW4"},
      {"BS is a Load key", " BS COLC                   1.0", " ignored:   BS COLC"},
      {"value not a number", " LL COLD                 one", " value not a number:  one"},
  };
  for (const Case& c : cases) {
    Files f;
    Problem p = punchProblem();
    p.columnNames = {"COLA", "COLB", "COLC", "COLD", "COLE", "COLF"};
    p.rowNames = {"ROW1", "ROW2", "COST", "ROW4"};
    f.put(kFile, std::string("NAME\n XL COLA      ROW1         2.0\n") + c.line + "\nENDATA\n");
    Basis r{std::vector<int32_t>(10, 0), std::vector<double>(10, 0.0)};
    const BasisReadResult res = readInsert(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x});
    EXPECT_TRUE(res.loaded) << c.name;
    const std::string printed = f.text(kPrint);
    EXPECT_NE(printed.find(c.message), std::string::npos) << c.name << "\n" << printed;
    EXPECT_NE(printed.find("Lines ignored        1"), std::string::npos) << c.name;
    // The good line applied: COLA basic in place of ROW1's slack; COLC and COLD untouched.
    EXPECT_EQ(r.hs, (std::vector<int32_t>{3, 0, 0, 0, 0, 0, 0, 3, 3, 3})) << c.name;
    EXPECT_DOUBLE_EQ(r.x[0], 2.0);
    EXPECT_DOUBLE_EQ(r.x[6], -3.0);  // the slack took its finite lower bound
  }
}

TEST(InsertFile, HugeValuesAndMissingValuesLeaveTheValue) {
  Files f;
  Problem p = punchProblem();
  f.put(kFile, "NAME\n SB x......4               1.0E+25\n UL x......5\n SB x......2              Infinity\n");
  Basis r{std::vector<int32_t>(10, 0), std::vector<double>(10, 0.5)};
  const BasisReadResult res = readInsert(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x});
  ASSERT_TRUE(res.loaded);  // no ENDATA: the end of the file ends reading
  EXPECT_EQ(res.superbasics, 1);
  EXPECT_EQ(r.hs[3], 2);
  EXPECT_EQ(r.hs[4], 1);
  EXPECT_DOUBLE_EQ(r.x[3], 0.5);
  EXPECT_DOUBLE_EQ(r.x[4], 0.5);
  EXPECT_NE(f.text(kPrint).find("value not a number:  Infinity"), std::string::npos);
}

TEST(InsertFile, MessagesStopAtTheErrorLimitButAllAreCounted) {
  Files f;
  f.params.errorMessageLimit = 10;
  std::string content = "NAME          TESTPROB  PUNCH/INSERT\n";
  for (int k = 0; k < 15; ++k) content += " LL NOSUCH" + std::to_string(k) + "\n";
  content += " UL x......2\nENDATA\n UL x......3\n";
  f.put(kFile, content);
  const Problem p = punchProblem();
  Basis r{std::vector<int32_t>(10, 0), std::vector<double>(10, 0.0)};
  EXPECT_TRUE(readInsert(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x}).loaded);
  const std::string printed = f.text(kPrint);
  EXPECT_EQ(occurrences(printed, "name not found"), 10u);
  EXPECT_NE(printed.find(" No. of lines read           16   Lines ignored       15"), std::string::npos);
  EXPECT_EQ(r.hs[1], 1);
  EXPECT_EQ(r.hs[2], 0);  // after ENDATA
}

TEST(InsertFile, NothingUsableChangesNothing) {
  for (const std::string content : {"", "NAME\nENDATA\n", "NAME\n LL NOSUCH\n", "garbage\n\x01\x02\n"}) {
    Files f;
    f.put(kFile, content);
    const Problem p = punchProblem();
    Basis r{std::vector<int32_t>(10, 1), std::vector<double>(10, 7.0)};
    EXPECT_FALSE(readInsert(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x}).loaded) << content;
    EXPECT_EQ(r.hs, std::vector<int32_t>(10, 1));
    EXPECT_EQ(r.x, std::vector<double>(10, 7.0));
  }
}

// ------------------------------------------------------------------------- DUMP / LOAD

TEST(DumpFile, LayoutAndRoundTripThroughTheLoadFile) {
  Files f;
  const Problem p = mixedProblem();
  const Basis b = mixedBasis();
  writeDump(f.io, kFile, BasisSource{p, {}, b.hs, b.x});
  const auto lines = f.lines(kFile);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "NAME          TESTPROB     DUMP/LOAD");
  EXPECT_EQ(lines[1], " BS x......1             2.50000E+00");
  EXPECT_EQ(lines[2], " LL x......2             7.50000E-01");
  EXPECT_EQ(lines[5], " LL x......5             3.00000E+00");
  EXPECT_EQ(lines[8], " BS r......3             7.50000E+00");
  EXPECT_EQ(lines[9], "ENDATA");

  Basis r{std::vector<int32_t>(8, 2), std::vector<double>(8, 0.0)};
  const BasisReadResult res = readLoad(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x});
  ASSERT_TRUE(res.loaded);
  EXPECT_EQ(res.superbasics, 1);
  EXPECT_EQ(r.hs, (std::vector<int32_t>{3, 0, 3, 2, 0, 0, 1, 3}));
  EXPECT_EQ(r.x, mixedBasis().x);
  const std::string printed = f.text(kPrint);
  EXPECT_NE(printed.find(" LOAD file to be input from file  11"), std::string::npos);
  EXPECT_NE(printed.find(" No. of basics specified      3   Superbasics          1"), std::string::npos);
}

// Rows and columns may share names (numbered names are common): the first line with such a
// name is the column's, a later one the row's.
TEST(NamedFiles, RowsAndColumnsWithTheSameNames) {
  Problem p = punchProblem();
  p.columnNames = {"1", "2", "3", "4", "5", "6"};
  p.rowNames = {"1", "2", "COST", "4"};
  const Basis b = punchBasis();
  for (const bool dump : {false, true}) {
    Files f;
    if (dump) writeDump(f.io, kFile, BasisSource{p, {}, b.hs, b.x});
    else writePunch(f.io, kFile, BasisSource{p, {}, b.hs, b.x});
    Basis r{std::vector<int32_t>(10, 0), std::vector<double>(10, 0.0)};
    const BasisTarget target{p, r.hs, r.x};
    const BasisReadResult res = dump ? readLoad(f.io, kFile, f.input(kFile), target)
                                     : readInsert(f.io, kFile, f.input(kFile), target);
    ASSERT_TRUE(res.loaded) << dump;
    EXPECT_EQ(r.hs, b.hs) << dump << "\n" << f.text(kFile);
  }
}

TEST(LoadFile, PunchKeysAreNotLoadKeys) {
  Files f;
  f.put(kFile, "NAME\n XL x......1  r......1\n BS x......1\n");
  const Problem p = mixedProblem();
  Basis r{std::vector<int32_t>(8, 3), std::vector<double>(8, 0.0)};
  ASSERT_TRUE(readLoad(f.io, kFile, f.input(kFile), BasisTarget{p, r.hs, r.x}).loaded);
  EXPECT_EQ(r.hs, (std::vector<int32_t>{3, 0, 0, 0, 0, 0, 0, 0}));  // unnamed variables start nonbasic
  EXPECT_NE(f.text(kPrint).find(" ignored:   XL x......1  r......1"), std::string::npos);
}

// ------------------------------------------------------------------------- within a run

struct RunHarness {
  Files f;
  Timers timers;
  SolveOptions options;
  ProblemState state;
  RunContext ctx{f.params, f.units, timers, options, state};

  explicit RunHarness(const Problem& p) {
    ctx.out = f.out;
    ctx.prob = p;
    state.resizeFor(p);
  }
};

TEST(BasisFilesInARun, OldBasisFileOfAnotherProblemEndsTheRun) {
  RunHarness run(mixedProblem());
  run.f.params.oldBasisFile = kFile;
  run.f.put(kFile, std::string(kHeader1) + "OBJ=         RHS=         RNG=         BND=         M=      3 N=      6\n");
  EXPECT_TRUE(loadBasisFile(run.ctx));
  EXPECT_EQ(run.ctx.exitCode, kBasisFileMismatch);
  EXPECT_NE(run.f.text(kPrint).find(" EXIT -- the basis file dimensions do not match this problem"), std::string::npos);
}

TEST(BasisFilesInARun, MissingFileIsReportedAndTheRunGoesOn) {
  RunHarness run(mixedProblem());
  run.f.params.loadFile = 17;
  run.f.units.connect(17, run.f.prefix + "does_not_exist.txt");
  EXPECT_FALSE(loadBasisFile(run.ctx));
  EXPECT_EQ(run.ctx.exitCode, 0);
  EXPECT_NE(run.f.text(kPrint).find(" XXX  Load file 17 cannot be opened"), std::string::npos);
}

TEST(BasisFilesInARun, OldBasisFileComesBeforeInsertAndLoad) {
  RunHarness run(mixedProblem());
  run.f.params.oldBasisFile = kFile;
  run.f.params.insertFile = kBackup;
  run.f.params.loadFile = kBackup;
  run.f.put(kFile, std::string(kHeader1) + kHeader2 + "30320013\n       4  1.5\n       0\n");
  EXPECT_TRUE(loadBasisFile(run.ctx));
  EXPECT_EQ(run.state.ns, 1);
  EXPECT_EQ(run.state.hs[3], 2);
  EXPECT_DOUBLE_EQ(run.state.x[3], 1.5);
  EXPECT_EQ(run.f.text(kPrint).find("INSERT"), std::string::npos);
}

// Periodic saves go to the New and Backup basis files; the final one to the New basis file only.
TEST(BasisFilesInARun, SavesDuringAndAtTheEndOfARun) {
  RunHarness run(mixedProblem());
  run.f.params.newBasisFile = kFile;
  run.f.params.backupBasisFile = kBackup;
  run.f.params.objectiveSense = -1;
  run.state.hs = mixedBasis().hs;
  run.state.x = mixedBasis().x;
  LoopProgress progress{.itn = 100, .objValue = 12.5};
  saveBasisFiles(run.ctx, progress, kRunProceeding);
  EXPECT_EQ(run.f.lines(kFile)[0].substr(25, 12), "PROCEEDING  ");
  EXPECT_EQ(run.f.lines(kFile)[0].substr(60), " -1.250000000000E+01");
  EXPECT_EQ(run.f.lines(kFile), run.f.lines(kBackup));
  progress = LoopProgress{.itn = 140, .ninf = 2, .sinf = 0.5, .objValue = 12.5};
  saveBasisFiles(run.ctx, progress, runEndStatus(kOptimal));
  EXPECT_EQ(run.f.lines(kFile)[0].substr(25, 12), "OPTIMAL SOLN");
  EXPECT_EQ(run.f.lines(kFile)[0].substr(43), "      2      OBJ   5.000000000000E-01");
  EXPECT_EQ(run.f.lines(kBackup)[0].substr(25, 12), "PROCEEDING  ");
}

}  // namespace
}  // namespace kavro
