// The SPECS file reader: every result, the error block, SKIP, ENDRUN, consecutive blocks and
// bad input.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report_capture.hpp"
#include "specs/parameters.hpp"
#include "specs/specs.hpp"

namespace kavro {
namespace {

using testing::ReportCapture;
using Lines = std::vector<std::string>;

constexpr int kSpecsUnit = 4;

struct Reader {
  ReportCapture cap;
  Parameters p;

  explicit Reader(const std::string& contents) { cap.makeInput(kSpecsUnit, contents); }
  int read(int problemNumber = 1) { return readSpecsFile(p, problemNumber, kSpecsUnit, cap.units, cap.out).inform(); }
};

TEST(Reader, Results) {
  struct {
    std::string contents;
    int problemNumber;
    int result;
  } cases[] = {
      {"BEGIN\nITERATIONS 50\nEND\n", 1, kSpecsBlockRead},
      {"BEGIN\nFOO\nITERATIONS 50\nLU\nEND\n", 1, kSpecsBlockRead + 2},
      {"BEGIN\nITERATIONS 50\n", 1, kSpecsEndInsideBlock},
      {"", 1, kSpecsNoBlock},
      {"* only a comment\n\n", 2, kSpecsNoBlock},
      {"ENDRUN\nBEGIN\nEND\n", 1, kSpecsEndRun},
      {"BEGIN\nENDRUN\n", 1, kSpecsBlockRead},  // any key beginning with END closes a block
      {"begin problem one\r\nIterations 7\r\nend\r\n", 1, kSpecsBlockRead},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.contents);
    Reader r(c.contents);
    EXPECT_EQ(r.read(c.problemNumber), c.result);
  }
}

// The single number cannot tell two rejected lines from an unfinished block; the outcome can.
TEST(Reader, OutcomeSeparatesResultAndRejectedLines) {
  Reader complete("BEGIN\nFOO\nBAR\nEND\n");
  const SpecsReadOutcome a = readSpecsFile(complete.p, 1, kSpecsUnit, complete.cap.units, complete.cap.out);
  Reader unfinished("BEGIN\nFOO\n");
  const SpecsReadOutcome b = readSpecsFile(unfinished.p, 1, kSpecsUnit, unfinished.cap.units, unfinished.cap.out);
  EXPECT_EQ(a.inform(), b.inform());
  EXPECT_EQ(a.result, kSpecsBlockRead);
  EXPECT_EQ(a.rejectedLines, 2);
  EXPECT_EQ(b.result, kSpecsEndInsideBlock);
  EXPECT_EQ(b.rejectedLines, 1);
}

TEST(Reader, UnitOutOfRangeReadsNothing) {
  ReportCapture cap;
  Parameters p;
  p.iterationLimit = 5;
  EXPECT_EQ(readSpecsFile(p, 1, 100, cap.units, cap.out).result, kSpecsBadUnit);
  EXPECT_EQ(readSpecsFile(p, 1, -1, cap.units, cap.out).result, kSpecsBadUnit);
  EXPECT_EQ(p.iterationLimit, 5);
  EXPECT_TRUE(cap.print().empty());
}

TEST(Reader, BlockIsEchoedAndResetsTheParameters) {
  Reader r("* options\nBegin  problem 1\n Iterations 50\nEnd\n");
  r.p.feasibilityTolerance = 0.5;
  r.p.printFile = 9;
  ASSERT_EQ(r.read(), kSpecsBlockRead);
  EXPECT_EQ(r.p.iterationLimit, 50);
  EXPECT_EQ(r.p.feasibilityTolerance, kUndefinedReal);
  EXPECT_EQ(r.p.printFile, 9);
  EXPECT_EQ(r.cap.print(), (Lines{"      Begin  problem 1", "       Iterations 50", "      End"}));
  EXPECT_EQ(r.cap.summary(), (Lines{" Begin  problem 1"}));
}

TEST(Reader, ConsecutiveBlocksEachStartAfresh) {
  Reader r("BEGIN\nITERATIONS 5\nEND\nBEGIN second\nFEASIBILITY 1E-7\nEND\nENDRUN\n");
  ASSERT_EQ(r.read(1), kSpecsBlockRead);
  EXPECT_EQ(r.p.iterationLimit, 5);
  ASSERT_EQ(r.read(2), kSpecsBlockRead);
  EXPECT_EQ(r.p.iterationLimit, kUndefinedInt);
  EXPECT_EQ(r.p.feasibilityTolerance, 1e-7);
  EXPECT_EQ(r.read(3), kSpecsEndRun);
  EXPECT_EQ(r.cap.print().back(), "      ENDRUN");
  EXPECT_EQ(r.read(4), kSpecsNoBlock);
  EXPECT_EQ(r.cap.summary().back(), " Endrun");
}

TEST(Reader, ErrorBlockPrintedOnceBeforeBegin) {
  Reader r("Iterations 5\nFoo\nBEGIN\nEND\n");
  ASSERT_EQ(r.read(), kSpecsBlockRead);
  const Lines block{
      " XXX  Error while looking for a SPECS file on unit   4",
      " XXX  The file should start with Begin, Skip or Endrun",
      " XXX  but the first record found was the following:",
      " ---->Iterations 5",
      " XXX  Continuing to look for SPECS file...",
  };
  Lines print = r.cap.print();
  ASSERT_EQ(print.size(), block.size() + 2);
  EXPECT_EQ(Lines(print.begin(), print.begin() + 5), block);
  Lines summary = r.cap.summary();
  EXPECT_EQ(Lines(summary.begin(), summary.begin() + 5), block);
  EXPECT_EQ(r.p.iterationLimit, kUndefinedInt);
}

TEST(Reader, SkipPassesOverRecordsSilently) {
  Reader r("SKIP this problem\nITERATIONS 5\nFOO\nBEGIN\nEND\n");
  ASSERT_EQ(r.read(), kSpecsBlockRead);
  EXPECT_EQ(r.cap.print(), (Lines{"      BEGIN", "      END"}));
}

TEST(Reader, EndOfFileMessages) {
  Reader first("");
  first.read(1);
  EXPECT_EQ(first.cap.print(), (Lines{" XXX  End-of-file encountered while looking for a SPECS file on unit   4"}));
  EXPECT_EQ(first.cap.summary(), first.cap.print());

  Reader later("");
  later.read(2);
  EXPECT_EQ(later.cap.print(), (Lines{" Endrun"}));

  Reader inside("BEGIN\n");
  inside.read(1);
  EXPECT_EQ(inside.cap.print().back(), " XXX  End-of-file encountered while processing a SPECS file on unit   4");
  EXPECT_EQ(inside.cap.summary().back(), inside.cap.print().back());

  Reader endrun("ENDRUN now\n");
  endrun.read(1);
  EXPECT_EQ(endrun.cap.print(), (Lines{"", "      ENDRUN now"}));
  EXPECT_EQ(endrun.cap.summary(), endrun.cap.print());
}

// A line past the input's limit ends the file there, with the reason before the usual message.
TEST(Reader, OverlongLineEndsTheFileWithItsReason) {
  Reader r("BEGIN\nITERATIONS 50\n* " + std::string(2u << 20, '-') + "\nEND\n");
  EXPECT_EQ(r.read(1), kSpecsEndInsideBlock);
  EXPECT_EQ(r.p.iterationLimit, 50);
  const Lines print = r.cap.print();
  ASSERT_GE(print.size(), 2u);
  EXPECT_EQ(print[print.size() - 2],
            " XXX  The SPECS file on unit   4 cannot be read further: line 3 is longer than 1048576 characters");
  EXPECT_EQ(print.back(), " XXX  End-of-file encountered while processing a SPECS file on unit   4");
}

TEST(Reader, MissingFileIsReportedAsNoBlock) {
  ReportCapture cap;
  Parameters p;
  const std::string missing = cap.path("no_such_file").string();
  cap.units.connect(kSpecsUnit, missing);
  EXPECT_EQ(readSpecsFile(p, 1, kSpecsUnit, cap.units, cap.out).result, kSpecsNoBlock);
  EXPECT_EQ(cap.print(),
            (Lines{" XXX  The SPECS file on unit   4 cannot be opened: " + missing + ": No such file or directory"}));
}

TEST(Reader, BadInputIsHandled) {
  struct {
    std::string record;
    double iterations;
    int result;
  } cases[] = {
      // Characters beyond the 72-character record are ignored.
      {"ITERATIONS 5" + std::string(60, ' ') + "0", 5, kSpecsBlockRead},
      {std::string(80, 'A') + " 5", kUndefinedInt, kSpecsBlockRead + 1},
      {"\tITERATIONS\t44\t", 44, kSpecsBlockRead},
      {"\xff\xfe\x80 3", kUndefinedInt, kSpecsBlockRead + 1},
      {"ITERATIONS 1E400", kUndefinedInt, kSpecsBlockRead + 1},
      {"ITERATIONS NaN", kUndefinedInt, kSpecsBlockRead + 1},
      {"IPARM 3 three", kUndefinedInt, kSpecsBlockRead + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.record);
    Reader r("BEGIN\n" + c.record + "\nEND\n");
    EXPECT_EQ(r.read(), c.result);
    EXPECT_EQ(r.p.iterationLimit, c.iterations);
    EXPECT_EQ(r.p.listParameters, 1);
  }
}

TEST(Reader, LineSourceOverload) {
  Lines lines{"BEGIN", "ITERATIONS 12", "END"};
  size_t next = 0;
  Parameters p;
  const SpecsReadOutcome outcome = readSpecsBlock(p, 1, 0,
                                                  [&](std::string& line) {
                                                    if (next == lines.size()) return false;
                                                    line = lines[next++];
                                                    return true;
                                                  },
                                                  {});
  EXPECT_EQ(outcome.result, kSpecsBlockRead);
  EXPECT_EQ(p.iterationLimit, 12);
}

}  // namespace
}  // namespace kavro
