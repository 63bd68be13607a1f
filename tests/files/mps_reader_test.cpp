// The MPS reader on small inline files, section by section: what it stores, the exact messages
// for malformed input, and the exit codes 40 and 41.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "files/mps_reader.hpp"
#include "files/mps_record.hpp"
#include "mps_test_support.hpp"

namespace kavro {
namespace {

using test::card;
using test::MpsRun;
using test::readMpsText;

constexpr double kInf = 1.0e20;

// A small LP whose sections the tests replace one at a time.
struct MpsText {
  std::string head = card("NAME", "", "TESTLP");
  std::string rows = "ROWS\n" + card(" N", "COST") + card(" L", "LIM1") + card(" G", "LIM2") + card(" E", "MYEQN");
  std::string columns = "COLUMNS\n" + card("", "X1", "COST", "1.0", "LIM1", "1.0") + card("", "X1", "LIM2", "1.0") +
                        card("", "X2", "COST", "2.0", "LIM1", "1.0") + card("", "X2", "MYEQN", "-1.0") +
                        card("", "X3", "COST", "-1.0", "MYEQN", "1.0");
  std::string rhs = "RHS\n" + card("", "RHS", "LIM1", "4.0", "LIM2", "1.0") + card("", "RHS", "MYEQN", "7.0");
  std::string ranges;
  std::string bounds = "BOUNDS\n" + card(" UP", "BND", "X1", "4.0") + card(" LO", "BND", "X2", "-1.0") +
                       card(" UP", "BND", "X2", "1.0");
  std::string end = "ENDATA\n";
  std::string str() const { return head + rows + columns + rhs + ranges + bounds + end; }
};

MpsRun readLp(const MpsText& t, Parameters params = {}, MpsIntegers integers = MpsIntegers::kRefuse) {
  return readMpsText(t.str(), params, MpsFormat::kFixed, integers);
}

// Column j's entries as (row, value) pairs.
std::vector<std::pair<int, double>> columnEntries(const Problem& p, int j) {
  std::vector<std::pair<int, double>> e;
  for (int k = p.a.colStart[j]; k < p.a.colStart[j + 1]; ++k) e.emplace_back(p.a.row[k], p.a.value[k]);
  return e;
}

// ---------------------------------------------------------------- a good file

TEST(MpsReaderTest, ReadsTheWholeProblem) {
  const MpsRun run = readLp(MpsText{});
  ASSERT_EQ(run.r.exitCode, 0);
  const Problem& p = run.r.problem;
  EXPECT_EQ(p.m, 4);
  EXPECT_EQ(p.n, 3);
  EXPECT_EQ(p.nElements(), 8);
  EXPECT_EQ(p.objRow, 0);
  EXPECT_EQ(p.names[0], "TESTLP  ");
  EXPECT_EQ(p.names[1], "COST    ");
  EXPECT_EQ(p.names[2], "RHS     ");
  EXPECT_EQ(p.names[4], "BND     ");
  EXPECT_EQ(p.rowNames, (std::vector<std::string>{"COST", "LIM1", "LIM2", "MYEQN"}));
  EXPECT_EQ(p.columnNames, (std::vector<std::string>{"X1", "X2", "X3"}));
  EXPECT_EQ(columnEntries(p, 1), (std::vector<std::pair<int, double>>{{0, 2.0}, {1, 1.0}, {3, -1.0}}));
  // Columns: X1 [0, 4], X2 [-1, 1], X3 defaults; slacks: COST free, LIM1 <= 4, LIM2 >= 1, MYEQN = 7.
  EXPECT_EQ(p.lower, (std::vector<double>{0, -1, 0, -kInf, -4, -kInf, -7}));
  EXPECT_EQ(p.upper, (std::vector<double>{4, 1, kInf, kInf, kInf, -1, -7}));
  EXPECT_TRUE(run.printed(" MPS file"));
  EXPECT_TRUE(run.printed(" --------"));
  EXPECT_TRUE(run.printed("      1    NAME          TESTLP"));
  EXPECT_TRUE(run.inSummary(" No. of rejected coefficients             0"));
  EXPECT_TRUE(run.inSummary(" Length of row-name hash table          211"));
  EXPECT_FALSE(run.printed(" EXIT -- fatal errors in the MPS file"));
}

TEST(MpsReaderTest, ListsDataRecordsUpToTheListLimitAndAlwaysSectionCards) {
  MpsText t;
  t.columns = "COLUMNS\n* a comment between column cards\n" + card("", "X1", "COST", "1.0", "LIM1", "1.0") +
              card("", "X1", "LIM2", "1.0") + card("", "X2", "COST", "2.0") + card("", "X3", "MYEQN", "1.0");
  Parameters params;
  params.listLimit = 3;
  const MpsRun run = readLp(t, params);
  ASSERT_EQ(run.r.exitCode, 0);
  EXPECT_TRUE(run.printed("      3     N  COST"));
  EXPECT_FALSE(run.printed("      4     L  LIM1"));
  EXPECT_TRUE(run.printed("      7    COLUMNS"));
  EXPECT_TRUE(run.printed("      8    * a comment between column cards"));
  EXPECT_EQ(run.r.problem.nElements(), 5);
}

TEST(MpsReaderTest, CrLfLineEndsReadLikeLf) {
  std::string text = MpsText{}.str(), crlf;
  for (char c : text) crlf += (c == '\n') ? std::string("\r\n") : std::string(1, c);
  const MpsRun a = readMpsText(text), b = readMpsText(crlf);
  ASSERT_EQ(b.r.exitCode, 0);
  EXPECT_EQ(a.r.problem.a.value, b.r.problem.a.value);
  EXPECT_EQ(a.r.problem.lower, b.r.problem.lower);
  EXPECT_EQ(a.r.problem.upper, b.r.problem.upper);
  EXPECT_EQ(b.r.problem.names[0], "TESTLP  ");
}

TEST(MpsReaderTest, ByteOrderMarkIsIgnored) {
  const MpsRun run = readMpsText("\xEF\xBB\xBF" + MpsText{}.str(), {}, MpsFormat::kAutomatic);
  EXPECT_EQ(run.r.exitCode, 0);
  EXPECT_FALSE(run.r.freeFormat);
  EXPECT_EQ(run.r.problem.names[0], "TESTLP  ");
}

TEST(MpsReaderTest, ShortRecordsAndCharactersBeyondColumn61) {
  MpsText t;
  // Trailing fields simply absent (records shorter than 61 characters) are fine; text after
  // column 61 is ignored with a warning that does not stop the run.
  std::string longCard = card("", "X3", "COST", "-1.0", "MYEQN", "1.0");
  longCard.pop_back();
  longCard += std::string(61 - longCard.size(), ' ') + "SEQ00042\n";
  t.columns = "COLUMNS\n" + card("", "X1", "COST", "1.0", "LIM1", "1.0") + card("", "X1", "LIM2", "1.0") +
              card("", "X2", "COST", "2.0", "LIM1", "1.0") + card("", "X2", "MYEQN", "-1.0") + longCard;
  const MpsRun run = readLp(t);
  EXPECT_EQ(run.r.exitCode, 0);
  EXPECT_TRUE(run.printed(" XXXX  Characters beyond column 61 ignored at line     12"));
  EXPECT_EQ(run.r.problem.nElements(), 8);
}

TEST(MpsReaderTest, ProblemNameOutsideItsColumnsIsTaken) {
  MpsText t;
  t.head = "NAME  SHORT\n";
  EXPECT_EQ(readLp(t).r.problem.names[0], "SHORT   ");
  t.head = "NAME\n";
  EXPECT_EQ(readLp(t).r.problem.names[0], "        ");
}

// ---------------------------------------------------------------- file-level errors

TEST(MpsReaderTest, GarbageBeforeNameIsReportedOnceAndSkipped) {
  const MpsRun run = readMpsText("Some mail header\nanother line\n  indented junk\n" + MpsText{}.str());
  EXPECT_EQ(run.r.exitCode, 0);
  EXPECT_EQ(run.printedStartingWith(" XXXX  Garbage before NAME card").size(), 1u);
  EXPECT_TRUE(run.inSummary(" XXXX  Garbage before NAME card"));
  EXPECT_EQ(run.r.problem.m, 4);
}

struct FileErrorCase {
  const char* label;
  std::string text;
  std::vector<std::string> messages;
};

class MpsFileErrorTest : public ::testing::TestWithParam<FileErrorCase> {};

TEST_P(MpsFileErrorTest, ReportsAndEndsWithFatalErrors) {
  const FileErrorCase& c = GetParam();
  const MpsRun run = readMpsText(c.text);
  EXPECT_EQ(run.r.exitCode, 41);
  for (const std::string& m : c.messages) EXPECT_TRUE(run.inSummary(m)) << m;
  EXPECT_TRUE(run.inSummary(" EXIT -- fatal errors in the MPS file"));
  // Whatever was read is consistent.
  const Problem& p = run.r.problem;
  EXPECT_EQ(p.a.colStart.size(), static_cast<size_t>(p.n) + 1);
  EXPECT_EQ(p.lower.size(), static_cast<size_t>(p.nb()));
}

MpsText without(std::string MpsText::*section) {
  MpsText t;
  t.*section = "";
  return t;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MpsFileErrorTest,
    ::testing::Values(
        FileErrorCase{"empty", "", {" XXXX  The MPS file is empty"}},
        FileErrorCase{"noName", "just text\n", {" XXXX  Garbage before NAME card", " XXXX  NAME card not found"}},
        FileErrorCase{"noEndata", without(&MpsText::end).str(), {" XXXX  ENDATA card not found"}},
        FileErrorCase{"noRows",
                      card("NAME", "", "T") + "COLUMNS\n" + card("", "X1", "R1", "1.0") + "RHS\nENDATA\n",
                      {" XXXX  ROWS card not found",
                       " XXXX  Non-existent row    specified --R1      -- entry ignored in line      3"}},
        FileErrorCase{"noColumns", without(&MpsText::columns).str(), {" XXXX  COLUMNS card not found"}},
        FileErrorCase{"emptyRows",
                      card("NAME", "", "T") + "ROWS\nCOLUMNS\nRHS\nENDATA\n",
                      {" XXXX  No rows specified", " XXXX  No columns specified"}},
        FileErrorCase{"unknownSection",
                      MpsText{}.head + "QUADOBJ\n" + MpsText{}.str().substr(MpsText{}.head.size()),
                      {" XXXX  Unknown section card at line      2    QUADOBJ"}},
        FileErrorCase{"sectionOutOfOrder",
                      MpsText{}.head + MpsText{}.rows + MpsText{}.columns + MpsText{}.rhs + "ROWS\n" + MpsText{}.end,
                      {" XXXX  Section out of order at line     16    ROWS"}},
        FileErrorCase{"dataBeforeRows",
                      card("NAME", "", "T") + card(" N", "COST") + MpsText{}.rows + MpsText{}.columns + MpsText{}.rhs +
                          MpsText{}.end,
                      {" XXXX  Data record outside a section at line      2     N  COST"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(MpsReaderTest, MissingRhsCardIsOnlyAWarning) {
  const MpsRun run = readLp(without(&MpsText::rhs));
  EXPECT_EQ(run.r.exitCode, 0);
  EXPECT_TRUE(run.inSummary(" XXXX  RHS card not found"));
  EXPECT_TRUE(run.inSummary(" ===>  Warning - the RHS is zero"));
  EXPECT_EQ(run.r.problem.lower[3 + 1], 0.0);
}

TEST(MpsReaderTest, TruncatedGzipFileEndsCleanly) {
  const std::string path = test::tempPath("truncated.mps.gz");
  std::string big = MpsText{}.head + MpsText{}.rows + "COLUMNS\n";
  for (int j = 0; j < 3000; ++j) big += card("", "C" + std::to_string(j), "COST", std::to_string(j % 7 + 1) + ".5");
  big += MpsText{}.rhs + MpsText{}.end;
  test::writeGzip(path, big);
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
  Parameters params;
  params.rowLimit = params.columnLimit = params.elementsLimit = 10000;
  const MpsRun run = test::readMpsPath(path, params);
  EXPECT_EQ(run.r.exitCode, 41);
  EXPECT_EQ(run.printedStartingWith(" XXXX  Read error in the MPS file after line").size(), 1u);
  EXPECT_FALSE(run.inSummary(" XXXX  ENDATA card not found"));
}

// A line past the input's limit ends the reading with the line's number; names and records are
// shown with their control bytes as "?".
TEST(MpsReaderTest, OverlongLineAndControlBytes) {
  MpsText t;
  t.head = card("NAME", "", "TESTLP") + "* " + std::string(2u << 20, 'x') + "\n";
  const MpsRun longLine = readLp(t);
  EXPECT_EQ(longLine.r.exitCode, 41);
  EXPECT_TRUE(longLine.inSummary(
      " XXXX  Read error in the MPS file after line      1: line 2 is longer than 1048576 characters"));

  t = MpsText{};
  t.rhs = "RHS\n" + card("", "RHS", "L\x1b[2J\x07", "1.0");
  const MpsRun control = readLp(t);
  EXPECT_EQ(control.r.exitCode, 41);
  EXPECT_TRUE(control.inSummary(" XXXX  Non-existent row    specified --L?[2J?  -- entry ignored in line     14"));
  for (const std::string& line : control.print) EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
}

TEST(MpsReaderTest, GzipFileReadsLikePlainText) {
  const std::string path = test::tempPath("whole.mps.gz");
  test::writeGzip(path, MpsText{}.str());
  const MpsRun run = test::readMpsPath(path);
  ASSERT_EQ(run.r.exitCode, 0);
  EXPECT_EQ(run.r.problem.nElements(), 8);
}

TEST(MpsReaderTest, BinaryGarbageEndsCleanly) {
  std::string junk;
  for (int k = 0; k < 5000; ++k) junk += static_cast<char>((k * 7919) % 256 == '\n' ? 'x' : (k * 7919) % 256);
  const MpsRun run = readMpsText(junk + "\n" + junk + "\n");
  EXPECT_EQ(run.r.exitCode, 41);
  EXPECT_TRUE(run.inSummary(" XXXX  NAME card not found"));
}

// ---------------------------------------------------------------- ROWS

TEST(MpsRowsTest, IllegalTypeAndDuplicateNames) {
  MpsText t;
  t.rows += card(" X", "BADROW") + card(" L", "LIM1") + card(" NN", "TWO");
  const MpsRun run = readLp(t);
  EXPECT_EQ(run.r.exitCode, 41);
  EXPECT_TRUE(run.inSummary(" XXXX  Illegal row type at line      7     X  BADROW"));
  EXPECT_TRUE(run.inSummary(" XXXX  Illegal row type at line      9     NN TWO"));
  EXPECT_TRUE(run.inSummary(" XXXX  Duplicate row name --LIM1    -- ignored"));
  EXPECT_TRUE(run.inSummary(" XXXX  Total no. of errors in MPS file       3"));
  EXPECT_EQ(run.r.problem.m, 4);
}

TEST(MpsRowsTest, ObjectiveIsTheFirstNRowOrTheNamedOne) {
  MpsText t;
  t.rows = "ROWS\n" + card(" L", "LIM1") + card(" N", "FIRST") + card(" G", "LIM2") + card(" N", "COST") +
           card(" E", "MYEQN");
  const MpsRun first = readLp(t);
  EXPECT_EQ(first.r.problem.objRow, 1);
  EXPECT_EQ(first.r.problem.names[1], "FIRST   ");
  Parameters named;
  named.objectiveName = "COST    ";
  const MpsRun second = readLp(t, named);
  EXPECT_EQ(second.r.problem.objRow, 3);
  // FIRST stays a free row; its RHS is ignored.
  EXPECT_EQ(second.r.problem.lower[3 + 1], -kInf);
  Parameters missing;
  missing.objectiveName = "PROFIT";
  const MpsRun none = readLp(t, missing);
  EXPECT_EQ(none.r.exitCode, 0);
  EXPECT_EQ(none.r.problem.objRow, -1);
  EXPECT_TRUE(none.inSummary(" ===>  Warning - no linear objective selected"));
}

TEST(MpsRowsTest, NonlinearConstraintsComeBeforeTheObjective) {
  Parameters params;
  params.nonlinearConstraints = 2;
  params.nonlinearJacobianVars = 1;
  const MpsRun run = readLp(MpsText{}, params);
  EXPECT_EQ(run.r.exitCode, 41);
  EXPECT_TRUE(run.inSummary(" ===>  Note:  row COST     selected as linear part of objective."));
  EXPECT_TRUE(run.inSummary(" XXXX  The linear objective card      N  COST    "));
  EXPECT_TRUE(run.inSummary(" XXXX  is out of place.    Nonlinear constraints       2"));
  EXPECT_TRUE(run.inSummary(" XXXX  must be listed first in the ROWS section."));
}

TEST(MpsRowsTest, TooManyRowsStopsWithExit40) {
  Parameters params;
  params.rowLimit = 3;
  const MpsRun run = readLp(MpsText{}, params);
  EXPECT_EQ(run.r.exitCode, 40);
  EXPECT_TRUE(run.inSummary(" XXXX  Too many rows.  Limit was       3   Actual number is       4"));
  EXPECT_TRUE(run.inSummary(" EXIT -- not enough storage to read the MPS file"));
  EXPECT_LE(run.r.problem.m, 3);
}

// ---------------------------------------------------------------- COLUMNS

TEST(MpsColumnsTest, EntryErrors) {
  MpsText t;
  t.columns = "COLUMNS\n" + card("", "X1", "COST", "1.0", "NOROW", "1.0") + card("", "X1", "LIM1", "2.0") +
              card("", "X1", "LIM1", "3.0") + card("", "X2", "COST", "1.0") + card("", "X3", "MYEQN", "1.0") +
              card("", "X2", "LIM2", "1.0");
  const MpsRun run = readLp(t);
  EXPECT_EQ(run.r.exitCode, 41);
  EXPECT_TRUE(run.inSummary(" XXXX  Non-existent row    specified --NOROW   -- entry ignored in line      8"));
  EXPECT_TRUE(run.inSummary(" X  Column X1       has more than one entry in row LIM1    "));
  EXPECT_TRUE(run.inSummary(" XXXX  Duplicate column name --X2      -- entries ignored from line     13"));
  // The first entry of X1 in LIM1 stays.
  EXPECT_EQ(columnEntries(run.r.problem, 0), (std::vector<std::pair<int, double>>{{0, 1.0}, {1, 2.0}}));
}

TEST(MpsColumnsTest, RowsAreSortedInsideAColumn) {
  MpsText t;
  t.columns = "COLUMNS\n" + card("", "X1", "MYEQN", "3.0", "COST", "1.0") + card("", "X1", "LIM2", "2.0") +
              card("", "X2", "LIM1", "1.0");
  const MpsRun run = readLp(t);
  ASSERT_EQ(run.r.exitCode, 0);
  EXPECT_EQ(columnEntries(run.r.problem, 0), (std::vector<std::pair<int, double>>{{0, 1.0}, {2, 2.0}, {3, 3.0}}));
}

TEST(MpsColumnsTest, SmallCoefficientsAreRejectedOutsideTheJacobian) {
  MpsText t;
  t.columns = "COLUMNS\n" + card("", "X1", "COST", "1e-12", "LIM1", "1.0") + card("", "X2", "COST", "1e-12") +
              card("", "X2", "LIM1", "1e-12") + card("", "X3", "MYEQN", "1.0");
  const MpsRun linear = readLp(t);
  EXPECT_EQ(linear.r.exitCode, 0);
  EXPECT_EQ(linear.r.nRejected, 3);
  EXPECT_TRUE(linear.inSummary(" No. of rejected coefficients             3"));
  EXPECT_TRUE(linear.inSummary(" XXXX  No valid row entries in column X2       after line     10"));
  EXPECT_EQ(linear.r.problem.n, 3);
  EXPECT_EQ(linear.r.problem.nElements(), 2);

  // Rows LIM1 first: with one nonlinear row and two nonlinear Jacobian columns the small
  // values in LIM1 are kept, the one in COST is not.
  t.rows = "ROWS\n" + card(" L", "LIM1") + card(" N", "COST") + card(" G", "LIM2") + card(" E", "MYEQN");
  Parameters params;
  params.nonlinearConstraints = 1;
  params.nonlinearJacobianVars = 2;
  const MpsRun nonlinear = readLp(t, params);
  EXPECT_EQ(nonlinear.r.exitCode, 0);
  EXPECT_EQ(nonlinear.r.nJacobianEntries, 2);
  EXPECT_EQ(nonlinear.r.nRejected, 2);
  EXPECT_EQ(columnEntries(nonlinear.r.problem, 1), (std::vector<std::pair<int, double>>{{0, 1e-12}}));
}

TEST(MpsColumnsTest, MarkerCardsAreRecognised) {
  MpsText t;
  t.columns = "COLUMNS\n" + card("", "X1", "COST", "1.0", "LIM1", "1.0") +
              card("", "MARKER", "'MARKER'", "", "'INTORG'") + card("", "X2", "COST", "2.0", "LIM1", "1.0") +
              card("", "MARKER", "'MARKER'", "", "'INTEND'") + card("", "X3", "MYEQN", "1.0") +
              card("", "MARKER", "'MARKER'", "", "'OTHER'");
  const MpsRun run = readLp(t);
  EXPECT_EQ(run.r.problem.n, 3);
  EXPECT_EQ(run.r.integerColumn, (std::vector<uint8_t>{0, 1, 0}));
  const std::string marker = card("", "MARKER", "'MARKER'", "", "'OTHER'");
  EXPECT_TRUE(run.inSummary(" XXXX  Illegal MARKER card at line     13    " + marker.substr(0, marker.size() - 1)));
  EXPECT_EQ(run.r.exitCode, 41);
}

// The optimizer solves continuous problems: a file with integer columns is refused, unless the
// caller asks for the continuous relaxation, which the reader then says it is.
TEST(MpsColumnsTest, IntegerColumnsAreAnErrorUnlessRelaxed) {
  MpsText t;
  t.columns = "COLUMNS\n" + card("", "MARKER", "'MARKER'", "", "'INTORG'") +
              card("", "X1", "COST", "1.0", "LIM1", "1.0") + card("", "MARKER", "'MARKER'", "", "'INTEND'") +
              card("", "X2", "COST", "2.0", "LIM1", "1.0") + card("", "X3", "MYEQN", "1.0");
  t.bounds = "BOUNDS\n" + card(" BV", "BND", "X3");
  const MpsRun refused = readLp(t);
  EXPECT_EQ(refused.r.exitCode, 41);
  EXPECT_EQ(refused.r.nIntegerColumns, 2);
  EXPECT_TRUE(refused.inSummary(" XXXX  This file describes an integer program; KAVRO solves continuous problems"));
  EXPECT_TRUE(refused.inSummary(" XXXX  (2 integer columns, marked by MARKER cards or by BV, LI or UI bounds)"));
  EXPECT_TRUE(refused.inSummary(" XXXX  Total no. of errors in MPS file       1"));
  EXPECT_TRUE(refused.inSummary(" EXIT -- fatal errors in the MPS file"));

  const MpsRun relaxed = readLp(t, {}, MpsIntegers::kRelax);
  EXPECT_EQ(relaxed.r.exitCode, 0);
  EXPECT_EQ(relaxed.r.integerColumn, (std::vector<uint8_t>{1, 0, 1}));
  EXPECT_EQ(relaxed.r.problem.upper[2], 1.0);
  EXPECT_TRUE(relaxed.inSummary(
      " ===>  Note:  2 integer columns are taken as continuous: the problem solved is the continuous relaxation"));
}

TEST(MpsColumnsTest, TooManyColumnsAndElementsStopWithExit40) {
  Parameters params;
  params.rowLimit = 10;
  params.columnLimit = 2;
  params.elementsLimit = 4;
  const MpsRun run = readLp(MpsText{}, params);
  EXPECT_EQ(run.r.exitCode, 40);
  EXPECT_TRUE(run.inSummary(" XXXX  Too many columns.   The limit was       2   Actual number is       3"));
  EXPECT_TRUE(run.inSummary(" XXXX  Too many elements.  The limit was       4   Actual number is       8"));
  EXPECT_TRUE(run.inSummary(" EXIT -- not enough storage to read the MPS file"));
  const Problem& p = run.r.problem;
  EXPECT_LE(p.n, 2);
  EXPECT_LE(p.nElements(), 4);
  EXPECT_EQ(p.a.colStart.size(), static_cast<size_t>(p.n) + 1);
}

// Values that are not usable numbers never reach the problem.
class MpsBadNumberTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MpsBadNumberTest, IsAnErrorWithTheRecord) {
  MpsText t;
  t.columns = "COLUMNS\n" + card("", "X1", "COST", GetParam(), "LIM1", "1.0") + card("", "X2", "LIM2", "1.0");
  const MpsRun run = readLp(t);
  EXPECT_EQ(run.r.exitCode, 41);
  std::string record = card("", "X1", "COST", GetParam(), "LIM1", "1.0");
  record.pop_back();
  EXPECT_TRUE(run.inSummary(" XXXX  Invalid number at line      8    " + record));
  for (double v : run.r.problem.a.value) EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(columnEntries(run.r.problem, 0), (std::vector<std::pair<int, double>>{{1, 1.0}}));
}

INSTANTIATE_TEST_SUITE_P(Values, MpsBadNumberTest,
                         ::testing::Values("abc", "NaN", "1e400", "-1.0D+999", "Inf", "1.2.3", "1.0E", "--1", "0x10",
                                           "1,5"));

TEST(MpsColumnsTest, FortranNumberForms) {
  // Blanks inside the field are ignored, D exponents and sign-only exponents read as Fortran does.
  const std::vector<std::pair<std::string, double>> cases = {{"1 000.5", 1000.5}, {"1.5D2", 150.0},  {"2.5-3", 2.5e-3},
                                                             {".5", 0.5},         {"-7.", -7.0},     {"+3", 3.0},
                                                             {"1e-400", 0.0},     {"1.0E+02", 100.0}};
  for (const auto& [text, value] : cases) {
    double v = -1;
    EXPECT_TRUE(parseMpsNumber(text, true, v)) << text;
    EXPECT_EQ(v, value) << text;
  }
}

// ---------------------------------------------------------------- RHS

TEST(MpsRhsTest, SlackBoundsObjectiveConstantAndSets) {
  MpsText t;
  t.rhs = "RHS\n" + card("", "RHS", "LIM1", "5", "LIM2", "5") + card("", "RHS", "MYEQN", "5", "COST", "2.5") +
          card("", "OTHER", "LIM1", "99");
  const MpsRun run = readLp(t);
  ASSERT_EQ(run.r.exitCode, 0);
  const Problem& p = run.r.problem;
  // L: [-5, +inf]; G: [-inf, -5]; E: [-5, -5]; the other set is ignored.
  EXPECT_EQ(p.lower[4], -5.0);
  EXPECT_EQ(p.upper[4], kInf);
  EXPECT_EQ(p.lower[5], -kInf);
  EXPECT_EQ(p.upper[5], -5.0);
  EXPECT_EQ(p.lower[6], -5.0);
  EXPECT_EQ(p.upper[6], -5.0);
  EXPECT_EQ(p.objConstant, -2.5);
  EXPECT_TRUE(run.inSummary(" ===>  Note:  constant  -2.5000000E+00 is added to the objective."));
  EXPECT_TRUE(run.inSummary(" ===>  Warning - RHS set OTHER    ignored at line     16: the set used is RHS     "));
}

// Every part of the file that the problem does not use is named: other RHS, RANGES and BOUNDS
// sets (once each), a range on a free row, a second RHS entry for a row (the last one counts).
TEST(MpsSetsTest, WhatIsNotUsedIsNamed) {
  MpsText t;
  t.rhs = "RHS\n" + card("", "SMALL", "LIM1", "1") + card("", "RHS", "LIM1", "4", "LIM2", "1") +
          card("", "SMALL", "LIM2", "2") + card("", "RHS", "LIM1", "6");
  t.ranges = "RANGES\n" + card("", "RNG", "LIM1", "2", "COST", "5") + card("", "RNG2", "LIM2", "3");
  t.bounds = "BOUNDS\n" + card(" UP", "BND", "X1", "4.0") + card(" UP", "BND2", "X2", "1.0");
  const MpsRun run = readLp(t);
  ASSERT_EQ(run.r.exitCode, 0);
  const Problem& p = run.r.problem;
  EXPECT_EQ(p.lower[4], -1.0);  // LIM1 <= 1 from the first set, range 2: [-1, 1]
  EXPECT_EQ(p.upper[4], 1.0);
  EXPECT_EQ(p.upper[5], -2.0);  // LIM2 >= 2 from the first set, not 1 from the second
  EXPECT_EQ(p.upper[0], 4.0);
  EXPECT_EQ(p.upper[1], kInf);
  const std::vector<std::string> expected = {
      " ===>  Warning - RHS set RHS      ignored at line     15: the set used is SMALL   ",
      " ===>  Warning - RANGES entry for free row COST     ignored at line     19",
      " ===>  Warning - RANGES set RNG2     ignored at line     20: the set used is RNG     ",
      " ===>  Warning - BOUNDS set BND2     ignored at line     23: the set used is BND     "};
  for (const std::string& line : expected) EXPECT_TRUE(run.inSummary(line)) << line;
  EXPECT_EQ(run.printedStartingWith(" ===>  Warning - RHS set").size(), 1u);

  t.rhs = "RHS\n" + card("", "RHS", "LIM1", "4", "LIM2", "1") + card("", "RHS", "LIM1", "6", "COST", "1") +
          card("", "RHS", "COST", "2");
  t.ranges.clear();
  const MpsRun twice = readLp(t);
  ASSERT_EQ(twice.r.exitCode, 0);
  EXPECT_EQ(twice.r.problem.lower[4], -6.0);
  EXPECT_EQ(twice.r.problem.objConstant, -2.0);
  EXPECT_TRUE(
      twice.inSummary(" ===>  Warning - second RHS entry for row LIM1     at line     15: the last value is used"));
  EXPECT_TRUE(
      twice.inSummary(" ===>  Warning - second RHS entry for row COST     at line     16: the last value is used"));
}

TEST(MpsRhsTest, LagrangeSetGivesMultipliersAndShutsOutTheOthers) {
  MpsText t;
  t.rhs = "RHS\n" + card("", "LAGRANGE", "LIM1", "0.5") + card("", "RHS", "LIM1", "4.0");
  const MpsRun run = readLp(t);
  ASSERT_EQ(run.r.exitCode, 0);
  EXPECT_TRUE(run.inSummary(" ===>  Warning - first RHS is LAGRANGE.   Other RHS's will be ignored."));
  EXPECT_TRUE(run.inSummary(" ===>  Warning - the RHS is zero"));
  EXPECT_EQ(run.r.start.pi[1], 0.5);
  EXPECT_EQ(run.r.problem.lower[4], 0.0);
}

TEST(MpsRhsTest, UnknownRowIsAnError) {
  MpsText t;
  t.rhs = "RHS\n" + card("", "RHS", "NOSUCH", "1.0");
  const MpsRun run = readLp(t);
  EXPECT_EQ(run.r.exitCode, 41);
  EXPECT_TRUE(run.inSummary(" XXXX  Non-existent row    specified --NOSUCH  -- entry ignored in line     14"));
}

// ---------------------------------------------------------------- RANGES

struct RangeCase {
  const char* type;
  const char* value;
  double activityLow, activityHigh;
};

class MpsRangesTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(MpsRangesTest, SetsTheOtherEndOfTheRow) {
  const RangeCase& c = GetParam();
  MpsText t;
  t.rows = "ROWS\n" + card(" N", "COST") + card(std::string(" ") + c.type, "ROW");
  t.columns = "COLUMNS\n" + card("", "X1", "COST", "1.0", "ROW", "1.0");
  t.rhs = "RHS\n" + card("", "RHS", "ROW", "10");
  t.ranges = "RANGES\n" + card("", "RNG", "ROW", c.value) + card("", "RNG2", "ROW", "1000");
  t.bounds = "";
  const MpsRun run = readLp(t);
  ASSERT_EQ(run.r.exitCode, 0);
  const Problem& p = run.r.problem;
  EXPECT_EQ(-p.upper[2], c.activityLow);
  EXPECT_EQ(-p.lower[2], c.activityHigh);
  EXPECT_EQ(p.names[3], "RNG     ");
}

INSTANTIATE_TEST_SUITE_P(Types, MpsRangesTest,
                         ::testing::Values(RangeCase{"G", "4", 10, 14}, RangeCase{"G", "-4", 10, 14},
                                           RangeCase{"L", "4", 6, 10}, RangeCase{"L", "-4", 6, 10},
                                           RangeCase{"E", "4", 10, 14}, RangeCase{"E", "-4", 6, 10},
                                           RangeCase{"E", "0", 10, 10}));

// ---------------------------------------------------------------- BOUNDS

struct BoundCase {
  std::vector<std::string> cards;  // type, value for column X3 (default bounds [0, +inf])
  double lower, upper;
  bool integer;
};

class MpsBoundTypeTest : public ::testing::TestWithParam<BoundCase> {};

TEST_P(MpsBoundTypeTest, SetsTheColumnBounds) {
  const BoundCase& c = GetParam();
  MpsText t;
  t.bounds = "BOUNDS\n";
  for (size_t k = 0; k + 1 < c.cards.size(); k += 2) t.bounds += card(" " + c.cards[k], "BND", "X3", c.cards[k + 1]);
  const MpsRun run = readLp(t, {}, MpsIntegers::kRelax);
  ASSERT_EQ(run.r.exitCode, 0) << t.bounds;
  EXPECT_EQ(run.r.problem.lower[2], c.lower);
  EXPECT_EQ(run.r.problem.upper[2], c.upper);
  EXPECT_EQ(run.r.integerColumn[2], c.integer ? 1 : 0);
  EXPECT_EQ(run.r.nIntegerColumns, c.integer ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Types, MpsBoundTypeTest,
    ::testing::Values(BoundCase{{"LO", "-2"}, -2, kInf, false}, BoundCase{{"UP", "3"}, 0, 3, false},
                      BoundCase{{"FX", "1.5"}, 1.5, 1.5, false}, BoundCase{{"FR", ""}, -kInf, kInf, false},
                      BoundCase{{"MI", ""}, -kInf, 0, false}, BoundCase{{"UP", "3", "MI", ""}, -kInf, 3, false},
                      BoundCase{{"MI", "", "UP", "3"}, -kInf, 3, false}, BoundCase{{"PL", ""}, 0, kInf, false},
                      BoundCase{{"BV", "", "BV", ""}, 0, 1, true}, BoundCase{{"LI", "2"}, 2, kInf, true},
                      BoundCase{{"UI", "9"}, 0, 9, true}, BoundCase{{"UP", "1e30"}, 0, 1e30, false}));

TEST(MpsBoundsTest, DefaultBoundsComeFromTheParameters) {
  Parameters params;
  params.lowerBoundDefault = -5;
  params.upperBoundDefault = 50;
  const MpsRun run = readLp(MpsText{}, params);
  EXPECT_EQ(run.r.problem.lower[2], -5);
  EXPECT_EQ(run.r.problem.upper[2], 50);
}

TEST(MpsBoundsTest, Errors) {
  MpsText t;
  t.bounds = "BOUNDS\n" + card(" XX", "BND", "X1", "1.0") + card(" UP", "BND", "NOCOL", "1.0") +
             card(" LO", "BND", "X2", "5.0") + card(" UP", "BND", "X2", "1.0") + card(" UP", "BND", "X3", "nan");
  auto record = [](std::string c) { return c.substr(0, c.size() - 1); };
  const MpsRun run = readLp(t);
  EXPECT_EQ(run.r.exitCode, 41);
  EXPECT_TRUE(run.inSummary(" XXXX  Illegal bound type at line     17    " + record(card(" XX", "BND", "X1", "1.0"))));
  EXPECT_TRUE(run.inSummary(" XXXX  Non-existent column specified --NOCOL   -- entry ignored in line     18"));
  EXPECT_TRUE(run.inSummary(" XXXX  Bounds back to front on column X2"));
  EXPECT_TRUE(run.inSummary(" XXXX  Invalid number at line     21    " + record(card(" UP", "BND", "X3", "nan"))));
  EXPECT_TRUE(run.inSummary(" XXXX  Total no. of errors in MPS file       4"));
}

TEST(MpsBoundsTest, InitialSetGivesStartingValuesAndSuperbasics) {
  MpsText t;
  t.bounds = "BOUNDS\n" + card(" FR", "INITIAL", "X1", "2.5") + card(" FR", "INITIAL", "X1", "3.5") +
             card(" LO", "INITIAL", "X2", "0.5") + card(" UP", "BND", "X1", "1.0");
  const MpsRun run = readLp(t);
  ASSERT_EQ(run.r.exitCode, 0);
  EXPECT_TRUE(run.inSummary(" ===>  Warning - first bounds set is  INITIAL .   Other bounds will be ignored."));
  EXPECT_TRUE(run.inSummary(" No. of INITIAL  bounds  specified        3"));
  EXPECT_TRUE(run.inSummary(" No. of superbasics specified             1"));
  EXPECT_EQ(run.r.start.x[0], 3.5);
  EXPECT_EQ(run.r.start.hs[0], 2);
  EXPECT_EQ(run.r.start.x[1], 0.5);
  EXPECT_EQ(run.r.start.hs[1], 0);
  EXPECT_EQ(run.r.start.ns, 1);
  EXPECT_EQ(run.r.problem.upper[0], kInf);  // the BND set was ignored
}

TEST(MpsBoundsTest, ErrorMessageLimitCapsEachKind) {
  MpsText t;
  t.bounds = "BOUNDS\n";
  for (int k = 0; k < 6; ++k) t.bounds += card(" UP", "BND", "NOCOL" + std::to_string(k), "1.0");
  Parameters params;
  params.errorMessageLimit = 2;
  const MpsRun run = readLp(t, params);
  size_t shown = 0;
  for (const auto& l : run.summary) shown += l.rfind(" XXXX  Non-existent column", 0) == 0;
  EXPECT_EQ(shown, 2u);
  EXPECT_TRUE(run.inSummary(" XXXX  Total no. of errors in MPS file       6"));
}

// ---------------------------------------------------------------- free format

const char* const kFreeText =
    "NAME free_example\n"
    "ROWS\n"
    " N obj\n"
    " L capacity_limit\n"
    " G\tdemand\n"
    "COLUMNS\n"
    "  production_a obj 1.5 capacity_limit 2\n"
    "  production_a demand 1\n"
    "  production_b obj 2 demand 1\n"
    "RHS\n"
    "  capacity_limit 100 demand 10\n"
    "RANGES\n"
    "  rng demand 5\n"
    "BOUNDS\n"
    " UP bnd production_a 40\n"
    " FR bnd production_b\n"
    "ENDATA\n";

TEST(MpsFreeFormatTest, ChosenAutomaticallyWhenRecordsDoNotFitTheColumns) {
  const MpsRun run = readMpsText(kFreeText, {}, MpsFormat::kAutomatic);
  ASSERT_EQ(run.r.exitCode, 0);
  EXPECT_TRUE(run.r.freeFormat);
  const Problem& p = run.r.problem;
  EXPECT_EQ(p.names[0], "free_example");
  EXPECT_EQ(p.columnNames, (std::vector<std::string>{"production_a", "production_b"}));
  EXPECT_EQ(p.nElements(), 5);
  EXPECT_EQ(p.lower, (std::vector<double>{0, -kInf, -kInf, -100, -15}));
  EXPECT_EQ(p.upper, (std::vector<double>{40, kInf, kInf, kInf, -10}));
  EXPECT_EQ(p.names[2], "        ");  // the RHS card has no set name
  // Read in fixed columns the same text is full of errors.
  EXPECT_EQ(readMpsText(kFreeText).r.exitCode, 41);
}

TEST(MpsFreeFormatTest, FixedFilesStayFixedAutomatically) {
  // Names with blanks only read right in fixed columns.
  MpsText t;
  t.rows += card(" L", "ROW 2");
  t.columns += card("", "X 4", "ROW 2", "1.0");
  const MpsRun run = readMpsText(t.str(), {}, MpsFormat::kAutomatic);
  ASSERT_EQ(run.r.exitCode, 0);
  EXPECT_FALSE(run.r.freeFormat);
  EXPECT_EQ(run.r.problem.rowNames.back(), "ROW 2");
  EXPECT_EQ(run.r.problem.columnNames.back(), "X 4");
}

TEST(MpsFreeFormatTest, WrongNumberOfFields) {
  const std::string text = std::string(kFreeText).replace(std::string(kFreeText).find("  production_a demand 1"), 23,
                                                          "  production_a demand 1 x");
  const MpsRun run = readMpsText(text, {}, MpsFormat::kFree);
  EXPECT_EQ(run.r.exitCode, 41);
  EXPECT_TRUE(run.inSummary(" XXXX  Wrong number of fields at line      8      production_a demand 1 x"));
}

// ---------------------------------------------------------------- dimensions

TEST(MpsScanTest, CountsAndPutsTheUnitBack) {
  const std::string path = test::tempPath("scan.mps");
  test::writeFile(path, "* leading comment\n" + MpsText{}.str());
  InputUnit in(path);
  const MpsDimensions d = scanMpsDimensions(in);
  EXPECT_EQ(d.rows, 4);
  EXPECT_EQ(d.columns, 3);
  EXPECT_EQ(d.elements, 8);
  EXPECT_FALSE(d.freeFormat);
  std::string first;
  ASSERT_TRUE(in.readLine(first));
  EXPECT_EQ(first, "* leading comment");
  // From the middle of a file (MPS data after a SPECS file): back to the same line.
  const MpsDimensions again = scanMpsDimensions(in);
  EXPECT_EQ(again.rows, 4);
  EXPECT_EQ(in.lineNumber(), 1);
  ASSERT_TRUE(in.readLine(first));
  EXPECT_EQ(first, "NAME          TESTLP");

  const std::string freePath = test::tempPath("scan_free.mps");
  test::writeFile(freePath, kFreeText);
  InputUnit freeIn(freePath);
  const MpsDimensions f = scanMpsDimensions(freeIn);
  EXPECT_TRUE(f.freeFormat);
  EXPECT_EQ(f.columns, 2);
  EXPECT_EQ(f.elements, 5);
}

}  // namespace
}  // namespace kavro
