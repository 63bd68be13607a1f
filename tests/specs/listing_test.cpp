// The parameter listing, compared line by line with text written out by hand.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report_capture.hpp"
#include "specs/parameters.hpp"
#include "specs/specs.hpp"

namespace kavro {
namespace {

using testing::ReportCapture;

struct Sizes {
  int32_t rows, columns, elements, nonlinCons, jacVars, objVars;
};

std::vector<std::string> listing(const Sizes& s, const std::vector<std::string>& options, int specsFile = 0) {
  ReportCapture cap;
  Parameters p;
  p.printFile = ReportCapture::kPrint;
  p.summaryFile = ReportCapture::kSummary;
  p.specsFile = specsFile;
  p.workspaceTotal = 500000;
  setParameters(p, 1, {});
  const ReportChannels quiet{};
  for (const auto& line : options) {
    int errors = 0;
    setSpecsLine(p, line, quiet, errors);
    EXPECT_EQ(errors, 0) << line;
  }
  p.rowLimit = s.rows;
  p.columnLimit = s.columns;
  p.elementsLimit = s.elements;
  p.nonlinearConstraints = s.nonlinCons;
  p.nonlinearJacobianVars = s.jacVars;
  p.nonlinearObjectiveVars = s.objVars;
  setParameters(p, 2, quiet);
  setParameters(p, 3, cap.out);
  EXPECT_TRUE(cap.summary().empty());
  return cap.print();
}

void expectLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "line " << i + 1;
}

TEST(Listing, LinearProblem) {
  expectLines(
      listing({50, 100, 300, 0, 0, 0}, {"Print level 1"}),
      {
          "",
          " Parameters",
          " ----------",
          "",
          " FILES.",
          " MPS file...............         0       Old basis file.........         0       (Card reader)..........         5",
          " Solution file..........         0       New basis file.........         0       (Printer)..............         9",
          " Insert file............         0       Backup basis file......         0       (Specs file)...........         0",
          " Punch file.............         0       Load file..............         0       Dump file..............         0",
          "",
          " FREQUENCIES.",
          " Log frequency..........       100       Check row error........        60       Save new basis map.....       100",
          " Summary frequency......       100       Factorize basis........       100       Expand frequency.......     10000",
          "",
          " LP PARAMETERS.",
          " Scale option...........         2       Feasibility tolerance..  1.00e-06       Iteration limit........       150",
          " Scale tolerance........     0.900       Optimality tolerance...  1.00e-06       Partial  price.........        10",
          " Crash option...........         3       Pivot tolerance........  3.25e-11       Multiple price.........         1",
          " Crash tolerance........     0.100       Weight on objective....  0.00e+00       Pricing option.........         0",
          " Solve strategy.........         0       Time limit.............  0.00e+00",
          "",
          " NONLINEAR PROBLEMS.",
          " Nonlinear constraints..         0       Hessian dimension......         0       Function precision.....  3.00e-13",
          " Nonlinear Jacobian vars         0       Superbasics limit......         1       Difference interval....  5.48e-07",
          " Nonlinear objectiv vars         0       Linesearch tolerance...     0.100       Central difference int.  6.69e-05",
          " Problem number.........         0       Subspace tolerance.....     0.500       Derivative level.......         3",
          " Unbounded objective val  1.00e+20       Unbounded step size....  1.00e+10       Verify level...........         0",
          " Hessian memory.........         0       Hessian option.........         0",
          "",
          " MISCELLANEOUS.",
          " LU factor tolerance....  1.00e+02       Workspace (user).......         0       Debug level............         0",
          " LU update tolerance....  1.00e+01       Workspace (total)......    500000       Linesearch debug after.   9999999",
          " LU singularity tol.....  3.25e-11       eps (machine precision)  2.22e-16       nwordr, nwordi, nwordh.   2  2  2",
          " LU swap tolerance......  1.22e-04       Timing level...........         3",
      });
}

TEST(Listing, NonlinearProblemWithConstraintsAndMpsFile) {
  expectLines(
      listing({20, 30, 90, 5, 8, 10}, {"Print level 1", "MPS file 7", "Penalty parameter 0.5"}, 4),
      {
          "",
          " Parameters",
          " ----------",
          "",
          " MPS INPUT DATA.",
          " Row limit..............        20       List limit.............         0       Lower bound default....  0.00e+00",
          " Column limit...........        30       Error message limit....        10       Upper bound default....  1.00e+20",
          " Elements limit.........        90       Phantom elements.......         0       Aij tolerance..........  1.00e-10",
          "",
          " FILES.",
          " MPS file...............         7       Old basis file.........         0       (Card reader)..........         5",
          " Solution file..........         0       New basis file.........         0       (Printer)..............         9",
          " Insert file............         0       Backup basis file......         0       (Specs file)...........         4",
          " Punch file.............         0       Load file..............         0       Dump file..............         0",
          "",
          " FREQUENCIES.",
          " Log frequency..........       100       Check row error........        60       Save new basis map.....       100",
          " Summary frequency......       100       Factorize basis........        50       Expand frequency.......     10000",
          "",
          " LP PARAMETERS.",
          " Scale option...........         1       Feasibility tolerance..  1.00e-06       Iteration limit........       160",
          " Scale tolerance........     0.900       Optimality tolerance...  1.00e-06       Partial  price.........         1",
          " Crash option...........         3       Pivot tolerance........  3.25e-11       Multiple price.........         1",
          " Crash tolerance........     0.100       Weight on objective....  0.00e+00       Pricing option.........         0",
          " Solve strategy.........         0       Time limit.............  0.00e+00",
          "",
          " NONLINEAR PROBLEMS.",
          " Nonlinear constraints..         5       Hessian dimension......        50       Function precision.....  3.00e-13",
          " Nonlinear Jacobian vars         8       Superbasics limit......        50       Difference interval....  5.48e-07",
          " Nonlinear objectiv vars        10       Linesearch tolerance...     0.100       Central difference int.  6.69e-05",
          " Problem number.........         0       Subspace tolerance.....     0.500       Derivative level.......         3",
          " Unbounded objective val  1.00e+20       Unbounded step size....  1.00e+10       Verify level...........         0",
          " Hessian memory.........         0       Hessian option.........         0",
          "",
          " AUGMENTED LAGRANGIAN.",
          " Jacobian...............       Den       Major iterations limit.        50       Radius of convergence..  1.00e-01",
          " Lagrangian.............      Yes        Minor iterations limit.        40       Row tolerance..........  1.00e-06",
          " Penalty parameter......  5.00e-01       Completion.............      Part       Print level..(JFLXB)...         1",
          " Major damping parameter  2.00e+00       Minor damping parameter  2.00e+00",
          "",
          " MISCELLANEOUS.",
          " LU factor tolerance....  5.00e+00       Workspace (user).......         0       Debug level............         0",
          " LU update tolerance....  5.00e+00       Workspace (total)......    500000       Linesearch debug after.   9999999",
          " LU singularity tol.....  3.25e-11       eps (machine precision)  2.22e-16       nwordr, nwordi, nwordh.   2  2  2",
          " LU swap tolerance......  1.22e-04       Timing level...........         3",
      });
}

TEST(Listing, SwitchWordsAndOversizedFraction) {
  const auto lines = listing({20, 30, 90, 5, 8, 0}, {"Print level 1", "Jacobian sparse", "Lagrangian no",
                                                     "Completion full", "Scale tolerance 123456"});
  auto has = [&](const std::string& text) {
    for (const auto& l : lines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(has(" Jacobian...............      Spar       Major"));
  EXPECT_TRUE(has(" Lagrangian.............      No         Minor"));
  EXPECT_TRUE(has(" Completion.............      Full       Print"));
  EXPECT_TRUE(has(" Scale tolerance........  1.23e+05       Optimality"));
}

// Nothing is listed without a print file, without detailed printing, or with IPARM 3 below 1.
TEST(Listing, SuppressedUnlessDetailedPrinting) {
  const Sizes linear{50, 100, 300, 0, 0, 0};
  EXPECT_TRUE(listing(linear, {}).empty());
  EXPECT_TRUE(listing(linear, {"Print level 1", "IPARM 3 0"}).empty());
  EXPECT_TRUE(listing(linear, {"Print level 1", "Print file 0"}).empty());
}

}  // namespace
}  // namespace kavro
