// The SPECS line decoder and the host entry points: effects of lines, abbreviations and
// synonyms, separators, values, comments and every rejection.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "report_capture.hpp"
#include "specs/parameters.hpp"
#include "specs/specs.hpp"
#include "specs/specs_tokens.hpp"

namespace kavro {
namespace {

using testing::ReportCapture;
using Get = std::function<double(const Parameters&)>;

const ReportChannels kQuiet{};

struct Decoded {
  Parameters p;
  int errors = 0;
};

Decoded decodeAll(const std::vector<std::string>& lines) {
  Decoded d;
  setParameters(d.p, 1, kQuiet);
  for (const auto& line : lines) decodeSpecsLine(d.p, line, kQuiet, d.errors);
  return d;
}

struct Case {
  std::vector<std::string> lines;
  Get get;
  double expected;
};

void runCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.back());
    const Decoded d = decodeAll(c.lines);
    EXPECT_EQ(d.errors, 0);
    EXPECT_DOUBLE_EQ(c.get(d.p), c.expected);
  }
}

#define FIELD(member) [](const Parameters& p) { return static_cast<double>(p.member); }

TEST(Decoder, EveryKeywordSetsItsParameter) {
  runCases({
      {{"CHECK FREQUENCY 30"}, FIELD(checkRowError), 30},
      {{"COMPLETION PARTIAL"}, FIELD(completion), 0},
      {{"COMPLETION FULL"}, FIELD(completion), 1},
      {{"CRASH OPTION 1"}, FIELD(crashOption), 1},
      {{"CRASH TOLERANCE 0.2"}, FIELD(crashTolerance), 0.2},
      {{"DEBUG LEVEL 2"}, FIELD(debugLevel), 2},
      {{"ITERATIONS 5", "DEFAULTS"}, FIELD(iterationLimit), kUndefinedInt},
      {{"EXPAND FREQUENCY 500"}, FIELD(expandFrequency), 500},
      {{"FACTORIZATION FREQUENCY 40"}, FIELD(factorizeBasis), 40},
      {{"FEASIBILITY TOLERANCE 1E-7"}, FIELD(feasibilityTolerance), 1e-7},
      {{"HESSIAN DIMENSION 20"}, FIELD(hessianDimension), 20},
      {{"IPARM 1 2"}, FIELD(crashOption), 2},
      {{"IPARM 30 -7"}, FIELD(iparmExtra[30]), -7},
      {{"ITERATIONS LIMIT 500"}, FIELD(iterationLimit), 500},
      {{"LAGRANGIAN NO"}, FIELD(lagrangian), 0},
      {{"LAGRANGIAN NO", "LAGRANGIAN YES"}, FIELD(lagrangian), 1},
      {{"LINESEARCH TOLERANCE 0.2"}, FIELD(linesearchTolerance), 0.2},
      {{"LINESEARCH DEBUG AFTER 5"}, FIELD(linesearchDebugAfter), 5},
      {{"LOG FREQUENCY 5"}, FIELD(logFrequency), 5},
      {{"LU FACTORIZATION TOLERANCE 4"}, FIELD(luFactorTolerance), 4},
      {{"LU UPDATE TOLERANCE 4"}, FIELD(luUpdateTolerance), 4},
      {{"LU DENSITY 0.3"}, FIELD(luDensity), 0.3},
      {{"LU SINGULARITY TOLERANCE 1E-9"}, FIELD(luSingularityTol), 1e-9},
      {{"LU SINGULARITY TOLERANCE 1E-9"}, FIELD(luSingularityTol2), 1e-9},
      {{"LU SWAP TOLERANCE 1E-3"}, FIELD(luSwapTolerance), 1e-3},
      {{"LU ROOK PIVOTING"}, FIELD(luPivoting), 1},
      {{"LU COMPLETE PIVOTING"}, FIELD(luPivoting), 2},
      {{"LU ROOK", "LU PARTIAL PIVOTING"}, FIELD(luPivoting), 0},
      {{"MAJOR DAMPING PARAMETER 1.5"}, FIELD(majorDampingParameter), 1.5},
      {{"MAJOR ITERATIONS 80"}, FIELD(majorIterationsLimit), 80},
      {{"MINOR DAMPING PARAMETER 3"}, FIELD(minorDampingParameter), 3},
      {{"MINOR ITERATIONS 60"}, FIELD(minorIterationsLimit), 60},
      {{"MULTIPLE PRICE 2"}, FIELD(multiplePrice), 2},
      {{"OPTIMALITY TOLERANCE 1E-7"}, FIELD(optimalityTolerance), 1e-7},
      {{"PARTIAL PRICE 3"}, FIELD(partialPrice), 3},
      {{"PENALTY PARAMETER 3"}, FIELD(penaltyParameter), 3},
      {{"PENALTY PARAMETER 3"}, FIELD(currentPenalty), 3},
      {{"PIVOT TOLERANCE 1E-12"}, FIELD(pivotTolerance), 1e-12},
      {{"PRINT FILE 12"}, FIELD(printFile), 12},
      {{"PRINT FREQUENCY 5"}, FIELD(logFrequency), 5},
      {{"PRINT LEVEL 2"}, FIELD(printLevel), 2},
      {{"RADIUS OF CONVERGENCE 0.01"}, FIELD(radiusOfConvergence), 0.01},
      {{"ROWS 40"}, FIELD(rowLimit), 40},
      {{"ROWS LIMIT 40"}, FIELD(rowLimit), 40},
      {{"ROWS WHATEVER 3"}, FIELD(rowLimit), 3},
      {{"ROWS TOLERANCE 1E-5"}, FIELD(rowTolerance), 1e-5},
      {{"RPARM 8 0.25"}, FIELD(luSwapTolerance), 0.25},
      {{"RPARM 30 1D-3"}, FIELD(rparmExtra[30]), 1e-3},
      {{"RPARM 9 0"}, FIELD(rparmExtra[9]), 0},
      {{"SCALE OPTION 0"}, FIELD(scaleOption), 0},
      {{"SCALE NO"}, FIELD(scaleOption), 0},
      {{"SCALE LINEAR"}, FIELD(scaleOption), 1},
      {{"SCALE ALL"}, FIELD(scaleOption), 2},
      {{"SCALE NONLINEAR"}, FIELD(scaleOption), 2},
      {{"SCALE OPTION 1", "SCALE YES"}, FIELD(scaleOption), kUndefinedInt},
      {{"SCALE OPTION 1", "SCALE"}, FIELD(scaleOption), kUndefinedInt},
      {{"SCALE PRINT"}, FIELD(scalePrint), 1},
      {{"SCALE PRINT"}, FIELD(scaleTolerance), kUndefinedReal},
      {{"SCALE TOLERANCE 0.95"}, FIELD(scaleTolerance), 0.95},
      {{"SCALE TOLERANCE -1"}, FIELD(scaleTolerance), kUndefinedReal},
      {{"SOLUTION NO"}, FIELD(solution), 0},
      {{"SOLUTION NO", "SOLUTION YES"}, FIELD(solution), 2},
      {{"SOLUTION FILE 15"}, FIELD(solutionFile), 15},
      {{"START ASSIGNMENT FOR BASIC"}, FIELD(startAssignment), 3},
      {{"START ASSIGNMENT FOR NONBASIC"}, FIELD(startAssignment), 4},
      {{"START ASSIGNMENT FOR ELIGIBLE"}, FIELD(startAssignment), 1},
      {{"START ASSIGNMENT FOR BASIC", "START ASSIGNMENT FOR SUPERBASIC"}, FIELD(startAssignment), 2},
      {{"START CHECK AT OBJECTIVE 5"}, FIELD(startObjectiveCheck), 5},
      {{"START CHECK AT CONSTRAINTS 6"}, FIELD(startConstraintCheck), 6},
      {{"SUBSPACE TOLERANCE 0.3"}, FIELD(subspaceTolerance), 0.3},
      {{"SUMMARY FILE 11"}, FIELD(summaryFile), 11},
      {{"SUMMARY FREQUENCY 7"}, FIELD(summaryFrequency), 7},
      {{"SUMMARY LEVEL 1"}, FIELD(summaryDetailed), 1},
      {{"SUMMARY LEVEL 1"}, FIELD(summaryBrief), 0},
      {{"SUPERBASICS LIMIT 500"}, FIELD(superbasicsLimit), 500},
      {{"TIMING LEVEL 0"}, FIELD(timingLevel), 0},
      {{"UNBOUNDED OBJECTIVE VALUE 1E15"}, FIELD(unboundedObjectiveValue), 1e15},
      {{"UNBOUNDED STEP SIZE 1E8"}, FIELD(unboundedStepSize), 1e8},
      {{"VERIFY"}, FIELD(verifyLevel), 3},
      {{"VERIFY OBJECTIVE GRADIENTS"}, FIELD(verifyLevel), 1},
      {{"VERIFY CONSTRAINT GRADIENTS"}, FIELD(verifyLevel), 2},
      {{"VERIFY GRADIENTS"}, FIELD(verifyLevel), 3},
      {{"VERIFY YES"}, FIELD(verifyLevel), 3},
      {{"VERIFY", "VERIFY NO"}, FIELD(verifyLevel), 0},
      {{"VERIFY LEVEL -1"}, FIELD(verifyLevel), -1},
      {{"VERIFY ALL"}, FIELD(verifyLevel), 0},
      {{"WEIGHT ON OBJECTIVE 2"}, FIELD(weightOnObjective), 2},
      {{"AIJ TOLERANCE 1E-12"}, FIELD(aijTolerance), 1e-12},
      {{"BACKUP BASIS FILE 10"}, FIELD(backupBasisFile), 10},
      {{"CENTRAL DIFFERENCE INTERVAL 1E-4"}, FIELD(centralDifferenceInterval), 1e-4},
      {{"COEFFICIENTS 800"}, FIELD(elementsLimit), 800},
      {{"ELEMENTS 900"}, FIELD(elementsLimit), 900},
      {{"COLUMNS 30"}, FIELD(columnLimit), 30},
      {{"CYCLE LIMIT 3"}, FIELD(cycleLimit), 3},
      {{"CYCLE PRINT 2"}, FIELD(cyclePrint), 2},
      {{"CYCLE TOLERANCE 0.5"}, FIELD(cycleTolerance), 0.5},
      {{"DERIVATIVE LEVEL 1"}, FIELD(derivativeLevel), 1},
      {{"DIFFERENCE INTERVAL 1E-6"}, FIELD(differenceInterval), 1e-6},
      {{"DUMP FILE 14"}, FIELD(dumpFile), 14},
      {{"ERROR MESSAGE LIMIT 3"}, FIELD(errorMessageLimit), 3},
      {{"FUNCTION PRECISION 1E-12"}, FIELD(functionPrecision), 1e-12},
      {{"INSERT FILE 11"}, FIELD(insertFile), 11},
      {{"JACOBIAN SPARSE"}, FIELD(jacobian), 2},
      {{"JACOBIAN SPARSE", "JACOBIAN DENSE"}, FIELD(jacobian), 1},
      {{"LIST LIMIT 5"}, FIELD(listLimit), 5},
      {{"LOAD FILE 13"}, FIELD(loadFile), 13},
      {{"LOWER BOUND -5"}, FIELD(lowerBoundDefault), -5},
      {{"MAXIMIZE"}, FIELD(objectiveSense), -1},
      {{"MAXIMIZE", "MINIMIZE"}, FIELD(objectiveSense), 1},
      {{"MPS FILE 7"}, FIELD(mpsFile), 7},
      {{"NEW BASIS FILE 9"}, FIELD(newBasisFile), 9},
      {{"NONLINEAR CONSTRAINTS 4"}, FIELD(nonlinearConstraints), 4},
      {{"NONLINEAR OBJECTIVE VARIABLES 3"}, FIELD(nonlinearObjectiveVars), 3},
      {{"NONLINEAR JACOBIAN VARIABLES 5"}, FIELD(nonlinearJacobianVars), 5},
      {{"NONLINEAR VARIABLES 7"}, FIELD(nonlinearObjectiveVars), 7},
      {{"NONLINEAR VARIABLES 7"}, FIELD(nonlinearJacobianVars), 7},
      {{"OLD BASIS FILE 8"}, FIELD(oldBasisFile), 8},
      {{"PHANTOM COLUMNS 3"}, FIELD(phantomColumns), 3},
      {{"PHANTOM ELEMENTS 9"}, FIELD(phantomElements), 9},
      {{"PRICING OPTION 2"}, FIELD(pricingOption), 2},
      {{"PROBLEM NUMBER 4"}, FIELD(problemNumber), 4},
      {{"PUNCH FILE 12"}, FIELD(punchFile), 12},
      {{"REPORT FILE 15"}, FIELD(reportFile), 15},
      {{"SAVE FREQUENCY 20"}, FIELD(saveNewBasisMap), 20},
      {{"SOLVE STRATEGY 1"}, FIELD(solveStrategy), 1},
      {{"TIME LIMIT 2.5"}, FIELD(timeLimit), 2.5},
      {{"STOP OBJECTIVE CHECK 5"}, FIELD(stopObjectiveCheck), 5},
      {{"STOP CONSTRAINTS CHECK 6"}, FIELD(stopConstraintCheck), 6},
      {{"UPPER BOUND 8"}, FIELD(upperBoundDefault), 8},
      {{"WORKSPACE (USER) 1000"}, FIELD(workspaceUser), 1000},
      {{"WORKSPACE (TOTAL) 5000"}, FIELD(workspaceTotal), 5000},
  });
}

TEST(Decoder, AbbreviationsSynonymsSeparatorsAndCase) {
  runCases({
      {{"Iterations limit = 500"}, FIELD(iterationLimit), 500},
      {{"ITNS 500"}, FIELD(iterationLimit), 500},
      {{"ITERS 500"}, FIELD(iterationLimit), 500},
      {{"ITER 55"}, FIELD(iterationLimit), 55},
      {{"iterations,limit,500"}, FIELD(iterationLimit), 500},
      {{"Iterations:500"}, FIELD(iterationLimit), 500},
      {{"\tIterations\tLimit\t500\t"}, FIELD(iterationLimit), 500},
      {{"ITERATIONS===500"}, FIELD(iterationLimit), 500},
      {{"LU FACTOR TOLERANCE 3.99"}, FIELD(luFactorTolerance), 3.99},
      {{"C 7"}, FIELD(checkRowError), 7},
      {{"CO FULL"}, FIELD(completion), 1},
      {{"COMP PART"}, FIELD(completion), 0},
      {{"COL 30"}, FIELD(columnLimit), 30},
      {{"MAX"}, FIELD(objectiveSense), -1},
      {{"MIN ITNS 9"}, FIELD(minorIterationsLimit), 9},
      {{"MAJOR ITERS 9"}, FIELD(majorIterationsLimit), 9},
      {{"FACT 20"}, FIELD(factorizeBasis), 20},
      {{"P 3"}, FIELD(partialPrice), 3},
      {{"PRI LEV 2"}, FIELD(printLevel), 2},
      {{"PRIC OPT 1"}, FIELD(pricingOption), 1},
      {{"Solv strat 0"}, FIELD(solveStrategy), 0},
      {{"Pricing option 1", "Pricing option 0"}, FIELD(pricingOption), 0},
      {{"Superbasics:250"}, FIELD(superbasicsLimit), 250},
      {{"SUPERBASICS LIMIT 500 * comment 7"}, FIELD(superbasicsLimit), 500},
      {{"ITERATIONS 5", "* ITERATIONS 6"}, FIELD(iterationLimit), 5},
      {{"ITERATIONS 5", "*ITERATIONS 6"}, FIELD(iterationLimit), 5},
      {{"WORKSPACE (user) 7"}, FIELD(workspaceUser), 7},
  });
}

TEST(Decoder, Values) {
  runCases({
      {{"ITERATIONS 99999999"}, FIELD(iterationLimit), 99999999},
      {{"SCALE OPTION -99999999.9"}, FIELD(scaleOption), -99999999},
      {{"ITERATIONS 12.9"}, FIELD(iterationLimit), 12},
      {{"SCALE OPTION -12.9"}, FIELD(scaleOption), -12},
      {{"ITERATIONS LIMIT 1D3"}, FIELD(iterationLimit), 1000},
      {{"ITERATIONS 2+3"}, FIELD(iterationLimit), 2000},
      {{"ITERATIONS +7."}, FIELD(iterationLimit), 7},
      {{"ITERATIONS A B C D E F G H 77"}, FIELD(iterationLimit), 77},
      {{"FEASIBILITY .5E-3"}, FIELD(feasibilityTolerance), 5e-4},
      {{"FEASIBILITY 1E-400"}, FIELD(feasibilityTolerance), 0},
      {{"FEASIBILITY -5"}, FIELD(feasibilityTolerance), -5},  // completion gives the default
      {{"UNBOUNDED OBJECTIVE 12345678901234567890"}, FIELD(unboundedObjectiveValue), 1234567890123456.0},
      {{"WORKSPACE (TOTAL) 3E9"}, FIELD(workspaceTotal), 3e9},
      {{"SCALE OPTION -1"}, FIELD(scaleOption), -1},
      {{"NEW BASIS FILE 0"}, FIELD(newBasisFile), 0},
      {{"PRINT FILE 99"}, FIELD(printFile), 99},
      {{"RPARM 3 1E-400"}, FIELD(functionPrecision), 0},
  });
}

TEST(Decoder, NamesAreTheFirstEightCharactersOfTheRawToken) {
  const Decoded d = decodeAll({"OBJECTIVE cost_row_long", "RHS B", "RANGES rng", "BOUNDS"});
  EXPECT_EQ(d.errors, 0);
  EXPECT_EQ(d.p.objectiveName, "COST_ROW");
  EXPECT_EQ(d.p.rhsName, "B       ");
  EXPECT_EQ(d.p.rangesName, "RNG     ");
  EXPECT_EQ(d.p.boundsName, "        ");
}

TEST(Decoder, ReturnsTheResolvedKey) {
  struct {
    const char* line;
    const char* key;
  } cases[] = {{"ITNS 5", "ITERATIONS"},
               {"col 3", "COLUMNS"},
               {"end", "END"},
               {"ENDRUN", "ENDRUN"},
               {"* note", "*"},
               {"", "*"},
               {"   ", "*"},
               {"FOO 3", "FOO"},
               {",,=", ""},
               {"MIN", "MINOR"},
               {"MINIMIZE", "MINIMIZE"}};
  for (const auto& c : cases) {
    Parameters p;
    int errors = 0;
    EXPECT_EQ(decodeSpecsLine(p, c.line, kQuiet, errors), c.key) << c.line;
  }
}

TEST(Decoder, EchoesEveryLineOnThePrintFile) {
  ReportCapture cap;
  Parameters p;
  int errors = 0;
  decodeSpecsLine(p, "Iterations limit = 500   ", cap.out, errors);
  decodeSpecsLine(p, "* just a comment", cap.out, errors);
  decodeSpecsLine(p, "", cap.out, errors);
  decodeSpecsLine(p, "END", cap.out, errors);
  EXPECT_EQ(cap.print(),
            (std::vector<std::string>{"      Iterations limit = 500", "      * just a comment", "", "      END"}));
  EXPECT_TRUE(cap.summary().empty());
  EXPECT_EQ(errors, 0);
}

// Each rejected line: the message on the print file after the echo, the line and the message
// on the summary file, one error counted.
TEST(Decoder, RejectionMessages) {
  struct {
    std::string line;
    std::string message;
  } cases[] = {
      {"FOO 3", " XXX  Keyword not recognized:         FOO"},
      {"FACTORIZATIONS 5", " XXX  Keyword not recognized:         FACTORIZATIONS"},
      {"abcdefghijklmnopqrstuvwxyz 5", " XXX  Keyword not recognized:         ABCDEFGHIJKLMNOP"},
      {"\xC3\xA9tat 5", " XXX  Keyword not recognized:         \xC3\xA9TAT"},
      {std::string("FOO\x01\x1b 3"), " XXX  Keyword not recognized:         FOO??"},
      {std::string("ITER\0ATIONS 3", 13), " XXX  Keyword not recognized:         ITER?ATIONS"},
      {"LU", " XXX  Second keyword not recognized:  "},
      {"LU BAR 3", " XXX  Second keyword not recognized:  BAR"},
      {"COMPLETION", " XXX  Second keyword not recognized:  "},
      {"NONLINEAR FOO 3", " XXX  Second keyword not recognized:  FOO"},
      {"START WITH ALL FOO", " XXX  Fourth keyword not recognized:  FOO"},
      {"START", " XXX  Fourth keyword not recognized:  "},
      {"IPARM 31 5", " XXX  The parm subscript is out of range: 31"},
      {"RPARM 0 5", " XXX  The parm subscript is out of range: 0"},
      {"IPARM 3 X", " XXX  The parm value is not an integer: X"},
      {"IPARM 3 2.5", " XXX  The parm value is not an integer: 2.5"},
      {"IPARM 3 99999999999", " XXX  The parm value is not an integer: 99999999999"},
      {"RPARM 3 ABC", " XXX  The parm value is not a finite number: ABC"},
      {"RPARM 3 NaN", " XXX  The parm value is not a finite number: NAN"},
      {"RPARM 3 1E400", " XXX  The parm value is not a finite number: 1E400"},
      {"FEASIBILITY TOLERANCE 1E400", " XXX  Value is not a finite number:   1E400"},
      {"FEASIBILITY TOLERANCE -1D999", " XXX  Value is not a finite number:   -1D999"},
      {"FEASIBILITY TOLERANCE NaN", " XXX  Value is not a finite number:   NAN"},
      {"FEASIBILITY -inf", " XXX  Value is not a finite number:   -INF"},
      {"ITERATIONS 1-2-3", " XXX  Value is not a finite number:   1-2-3"},
      {"ITERATIONS E5", " XXX  Value is not a finite number:   E5"},
      {"IPARM 1E400 3", " XXX  Value is not a finite number:   1E400"},
      // A keyword that needs a value gets one in range, or the line is refused: nothing becomes 0.
      {"Iterations limit abc", " XXX  Value missing or not a number:  ABC"},
      {"ITERATIONS", " XXX  Value missing or not a number:  ITERATIONS"},
      {"ITERATIONS 1.2.3", " XXX  Value missing or not a number:  1.2.3"},
      {"ITERATIONS A B C D E F G H I 77", " XXX  Value missing or not a number:  I"},  // beyond the tenth token
      {"PENALTY PARAMETER", " XXX  Value missing or not a number:  PARAMETER"},
      {"IPARM 3", " XXX  Value missing or not a number:  3"},
      {"ITERATIONS 2147483648",
       " XXX  Value out of range:             2147483648  (an integer below 100000000 in magnitude)"},
      {"ITERATIONS 1e300", " XXX  Value out of range:             1E300  (an integer below 100000000 in magnitude)"},
      {"ITERATIONS 99999999999999999999",
       " XXX  Value out of range:             9999999999999999  (an integer below 100000000 in magnitude)"},
      {"ITERATIONS -1E8", " XXX  Value out of range:             -1E8  (an integer below 100000000 in magnitude)"},
      {"ITERATIONS -5", " XXX  Value out of range:             -5  (0 or more)"},
      {"MAJOR ITERATIONS -1", " XXX  Value out of range:             -1  (0 or more)"},
      {"MINOR ITERATIONS -1", " XXX  Value out of range:             -1  (0 or more)"},
      {"NEW BASIS FILE 2147483647",
       " XXX  Value out of range:             2147483647  (an integer below 100000000 in magnitude)"},
      {"OPTIMALITY TOLERANCE 1e300", " XXX  Value out of range:             1E300  (below 1)"},
      {"FEASIBILITY TOLERANCE 1e300", " XXX  Value out of range:             1E300  (below 1)"},
      {"PIVOT TOLERANCE 1", " XXX  Value out of range:             1  (below 1)"},
      {"LU SINGULARITY TOLERANCE 2", " XXX  Value out of range:             2  (below 1)"},
      {"AIJ TOLERANCE 1E300", " XXX  Value out of range:             1E300  (below 1)"},
      {"SCALE OPTION 99", " XXX  Value out of range:             99  (2 at most)"},
      {"CRASH OPTION 99", " XXX  Value out of range:             99  (0 to 3)"},
      {"CRASH OPTION -1", " XXX  Value out of range:             -1  (0 to 3)"},
      {"SOLVE STRATEGY 2", " XXX  Value out of range:             2  (0 or 1)"},
      {"TIME LIMIT -1", " XXX  Value out of range:             -1  (0 or more)"},
      {"IPARM 1 99", " XXX  Value out of range:             99  (0 to 3)"},
      {"RPARM 3 5", " XXX  Value out of range:             5  (below 1)"},
      {"NEW BASIS FILE 100", " XXX  Value out of range:             100  (a file number from 0 to 99)"},
      {"PRINT FILE -4", " XXX  Value out of range:             -4  (a file number from 0 to 99)"},
      {"RPARM 99999999999 5", " XXX  The parm subscript is out of range: 99999999999"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ReportCapture cap;
    Parameters p;
    setParameters(p, 1, kQuiet);
    int errors = 0;
    decodeSpecsLine(p, c.line, cap.out, errors);
    EXPECT_EQ(errors, 1);
    const auto print = cap.print();
    ASSERT_EQ(print.size(), 2u);
    EXPECT_EQ(print[1], c.message);
    const auto summary = cap.summary();
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_EQ(summary[0].substr(0, 4), " " + c.line.substr(0, 3));
    EXPECT_EQ(summary[1], c.message);
    // A caller that reports rejected lines itself gets the message as a sentence.
    std::string sentence = c.message.substr(6);
    const size_t colon = sentence.find(':') + 1;
    sentence.replace(colon, sentence.find_first_not_of(' ', colon) - colon, " ");
    Parameters q;
    setParameters(q, 1, kQuiet);
    EXPECT_EQ(setSpecsLineExplained(q, c.line, kQuiet), sentence);
    // A rejected line changes nothing.
    EXPECT_EQ(p.iterationLimit, kUndefinedInt);
    EXPECT_EQ(p.feasibilityTolerance, kUndefinedReal);
    EXPECT_EQ(p.functionPrecision, kUndefinedReal);
    EXPECT_EQ(p.listParameters, 1);
    EXPECT_EQ(p.luFactorTolerance, kUndefinedReal);
  }
}

TEST(Decoder, ScaleWithUnknownWordSetsToleranceBeforeItIsRejected) {
  const Decoded d = decodeAll({"SCALE FOO 0.5"});
  EXPECT_EQ(d.errors, 1);
  EXPECT_EQ(d.p.scaleTolerance, 0.5);
}

TEST(Decoder, KnownSecondWordWithoutMeaningIsAcceptedAndChangesNothing) {
  const Decoded d = decodeAll({"LU YES 7", "CRASH LIMIT 3", "VERIFY ALL"});
  EXPECT_EQ(d.errors, 0);
  EXPECT_EQ(d.p.crashOption, Parameters{}.crashOption);
  EXPECT_EQ(d.p.verifyLevel, 0);
  EXPECT_EQ(d.p.luFactorTolerance, kUndefinedReal);
}

TEST(Decoder, ErrorsAccumulateAndDecodingGoesOn) {
  const Decoded d = decodeAll({"FOO 3", "ITERATIONS 9", "BAR", "LU"});
  EXPECT_EQ(d.errors, 3);
  EXPECT_EQ(d.p.iterationLimit, 9);
}

TEST(Decoder, LongCallerLinesAndNoSummaryFile) {
  ReportCapture cap(false);
  Parameters p;
  int errors = 0;
  std::string line = "ITERATIONS 5" + std::string(5000, ' ') + "FOO";
  decodeSpecsLine(p, line, cap.out, errors);
  EXPECT_EQ(p.iterationLimit, 5);
  decodeSpecsLine(p, std::string(3000, 'X'), cap.out, errors);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(cap.print().back(), " XXX  Keyword not recognized:         XXXXXXXXXXXXXXXX");
}

TEST(EntryPoints, IntegerAndRealPhrases) {
  ReportCapture cap;
  Parameters p;
  int errors = 7;
  setSpecsInteger(p, "Iterations Limit", 500, cap.out, errors);
  EXPECT_EQ(errors, 0);
  EXPECT_EQ(p.iterationLimit, 500);
  setSpecsReal(p, "LU factor tolerance", 3.5, cap.out, errors);
  EXPECT_EQ(p.luFactorTolerance, 3.5);
  setSpecsInteger(p, "Verify Level", -1, cap.out, errors);
  EXPECT_EQ(p.verifyLevel, -1);
  EXPECT_EQ(cap.print(), (std::vector<std::string>{"      Iterations Limit             500",
                                                   "      LU factor tolerance  3.50000000e+00",
                                                   "      Verify Level              -1"}));
  setSpecsLine(p, "Jacobian Sparse", cap.out, errors);
  EXPECT_EQ(p.jacobian, 2);
  setSpecsLine(p, "Jacobian Foo", cap.out, errors);
  EXPECT_EQ(errors, 1);
  setSpecsLine(p, "Jacobian Dense", cap.out, errors);
  EXPECT_EQ(errors, 0);
}

TEST(EntryPoints, NonFiniteRealsNeverReachAParameter) {
  for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()}) {
    Parameters p;
    int errors = 0;
    setSpecsReal(p, "Feasibility tolerance", bad, kQuiet, errors);
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(p.feasibilityTolerance, kUndefinedReal);
  }
}

TEST(KeywordTables, SortedSoThatLookupStopsCorrectly) {
  for (auto table : {specs::Table::first, specs::Table::second, specs::Table::further}) {
    const auto e = specs::entries(table);
    for (size_t i = 1; i < e.size(); ++i) EXPECT_LT(specs::makeField(e[i - 1]), specs::makeField(e[i])) << e[i];
  }
  EXPECT_EQ(specs::entries(specs::Table::first).size(), 38u);
  EXPECT_EQ(specs::entries(specs::Table::second).size(), 43u);
  EXPECT_EQ(specs::entries(specs::Table::further).size(), 38u);
}

// The lookup as it was before PRICING joined the further table, over any list of entries.
std::optional<std::string> lookupIn(const std::vector<std::string_view>& list, std::string_view token) {
  if (token.empty()) return std::nullopt;
  for (std::string_view entry : list) {
    std::string padded(entry);
    padded.resize(std::max(padded.size(), token.size()), ' ');
    const int order = padded.compare(0, token.size(), token);
    if (order < 0) continue;
    if (order > 0) return std::nullopt;
    const size_t colon = entry.find(':');
    if (colon == std::string_view::npos) return std::string(entry);
    std::string_view target = entry.substr(colon + 1);
    return lookupIn(list, target);
  }
  return std::nullopt;
}

// The keyword a line's first token resolves to: the first table, then the further one.
std::string resolved(std::string_view token, const std::vector<std::string_view>& further) {
  const specs::Field f = specs::makeField(token);
  if (const auto k = specs::lookup(specs::Table::first, f)) return std::string(specs::text(*k));
  if (const auto k = lookupIn(further, token)) return *k;
  return "";
}

// Every prefix of every keyword, and every such prefix with one more letter.
std::vector<std::string> keywordPrefixes() {
  std::vector<std::string> tokens;
  for (auto table : {specs::Table::first, specs::Table::second, specs::Table::further})
    for (std::string_view e : specs::entries(table)) {
      const std::string word(e.substr(0, e.find(':')));
      for (size_t n = 1; n <= word.size(); ++n) {
        tokens.push_back(word.substr(0, n));
        for (char c = 'A'; c <= 'Z'; ++c) tokens.push_back(word.substr(0, n) + c);
      }
    }
  return tokens;
}

// The keywords added to the tables after the first release, each with the shortest prefix that
// reaches it.
struct Added {
  std::string_view keyword, prefix;
};
constexpr Added kAddedFirstWords[] = {{"PRICING", "PRIC"}, {"SOLVE", "SOLV"}, {"TIME", "TIME"}};

// Every prefix of every keyword, and every such prefix with one more letter, resolves as it did
// before PRICING, SOLVE and TIME were added; the only tokens that changed are those that reach
// the new keywords, which were rejected.
TEST(KeywordTables, AddedKeywordsChangeNoExistingKeywordOrAbbreviation) {
  const auto furtherNow = specs::entries(specs::Table::further);
  std::vector<std::string_view> furtherBefore;
  for (std::string_view e : furtherNow)
    if (std::none_of(std::begin(kAddedFirstWords), std::end(kAddedFirstWords),
                     [&](const Added& a) { return a.keyword == e; }))
      furtherBefore.push_back(e);
  const std::vector<std::string_view> furtherAll(furtherNow.begin(), furtherNow.end());
  int changed = 0;
  for (const std::string& t : keywordPrefixes()) {
    const std::string before = resolved(t, furtherBefore), now = resolved(t, furtherAll);
    if (before == now) continue;
    ++changed;
    EXPECT_EQ(before, "") << t;
    const bool reachesAdded = std::any_of(std::begin(kAddedFirstWords), std::end(kAddedFirstWords),
                                          [&](const Added& a) { return now == a.keyword && t.starts_with(a.prefix); });
    EXPECT_TRUE(reachesAdded) << t << " -> " << now;
  }
  EXPECT_GT(changed, 0);
  EXPECT_EQ(resolved("PR", furtherAll), "PRINT");
  EXPECT_EQ(resolved("PRI", furtherAll), "PRINT");
  EXPECT_EQ(resolved("PRO", furtherAll), "PROBLEM");
  EXPECT_EQ(resolved("SOL", furtherAll), "SOLUTION");
  EXPECT_EQ(resolved("TIM", furtherAll), "TIMING");
}

// The second word STRATEGY (of SOLVE STRATEGY) takes only words that were rejected before.
TEST(KeywordTables, StrategyChangesNoExistingSecondWord) {
  const auto secondNow = specs::entries(specs::Table::second);
  std::vector<std::string_view> secondBefore;
  for (std::string_view e : secondNow)
    if (e != "STRATEGY") secondBefore.push_back(e);
  for (const std::string& t : keywordPrefixes()) {
    const auto now = specs::lookup(specs::Table::second, specs::makeField(t));
    const std::optional<std::string> before = lookupIn(secondBefore, t);
    const std::string nowText = now ? std::string(specs::text(*now)) : "";
    if (before.value_or("") == nowText) continue;
    EXPECT_FALSE(before.has_value()) << t;
    EXPECT_EQ(nowText, "STRATEGY") << t;
    EXPECT_TRUE(t.starts_with("STR")) << t;
  }
}

}  // namespace
}  // namespace kavro
