// The parameter listing: every listed parameter as "label....     value", three to a line,
// in groups under their titles.
//
// Each item is a 24-character label (a blank, the label, dots up to the field) and a
// 10-character value field; items on a line are 6 blanks apart. How each value is shown:
//
//   form       format   used for
//   integer    %10d     counts, limits, frequencies, file numbers, levels, options
//   exponent   %10.2e   tolerances, precisions, intervals, bounds, penalty and damping
//                       parameters, weights, eps: anything whose magnitude is not bounded
//   fixed      %10.3f   fractions of 1: Scale tolerance, Crash tolerance, Linesearch
//                       tolerance, Subspace tolerance (shown in exponent form should a
//                       user value be too large for the field)
//   switch     %10s     Jacobian, Lagrangian, Completion: 4-character words
//   three      %4d%3d%3d  nwordr, nwordi, nwordh
//
// The listing begins with an empty line (the start of a new page of the report), the
// heading and its underline; each group is an empty line, its title and its item lines.

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "io/units.hpp"
#include "specs/parameter_steps.hpp"

namespace kavro {
namespace {

constexpr int kLabelWidth = 24;
constexpr int kItemsPerLine = 3;
constexpr std::string_view kItemGap = "      ";

// The 4-character words of the switch-like items, found at 4 x index.
constexpr std::string_view kSwitchWords = "No  Yes PartFull DenSparMin Max     ";

std::string_view switchWord(int index) {
  const int count = static_cast<int>(kSwitchWords.size()) / 4;
  if (index < 0 || index >= count) index = count - 1;  // blanks for a value no option can set
  return kSwitchWords.substr(static_cast<size_t>(4 * index), 4);
}

struct Item {
  std::string_view label;
  std::string value;  // exactly the 10-character field (longer only for absurd values)
};

std::string field(const char* format, auto... values) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

Item integer(std::string_view label, int64_t v) { return {label, field("%10lld", static_cast<long long>(v))}; }
Item exponent(std::string_view label, double v) { return {label, field("%10.2e", v)}; }
Item fixed(std::string_view label, double v) {
  return std::fabs(v) < 1.0e5 ? Item{label, field("%10.3f", v)} : exponent(label, v);
}
Item word(std::string_view label, std::string_view w) {
  return {label, field("%10.*s", static_cast<int>(w.size()), w.data())};
}

std::string labelField(std::string_view label) {
  std::string text = " ";
  text += label;
  if (text.size() < kLabelWidth) text.append(kLabelWidth - text.size(), '.');
  return text;
}

void printGroup(const ReportChannels& out, const char* title, const std::vector<Item>& items) {
  out.printLine("");
  out.print(" %s", title);
  std::string line;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i % kItemsPerLine != 0) line += kItemGap;
    line += labelField(items[i].label);
    line += items[i].value;
    if (i % kItemsPerLine == kItemsPerLine - 1 || i + 1 == items.size()) {
      out.printLine(line);
      line.clear();
    }
  }
}

void printInputGroups(const Parameters& p, const ReportChannels& out) {
  if (p.mpsFile >= 1)
    printGroup(out, "MPS INPUT DATA.",
               {integer("Row limit", p.rowLimit), integer("List limit", p.listLimit),
                exponent("Lower bound default", p.lowerBoundDefault), integer("Column limit", p.columnLimit),
                integer("Error message limit", p.errorMessageLimit),
                exponent("Upper bound default", p.upperBoundDefault), integer("Elements limit", p.elementsLimit),
                integer("Phantom elements", p.phantomElements), exponent("Aij tolerance", p.aijTolerance)});
  printGroup(out, "FILES.",
             {integer("MPS file", p.mpsFile), integer("Old basis file", p.oldBasisFile),
              integer("(Card reader)", p.cardReader), integer("Solution file", p.solutionFile),
              integer("New basis file", p.newBasisFile), integer("(Printer)", p.printFile),
              integer("Insert file", p.insertFile), integer("Backup basis file", p.backupBasisFile),
              integer("(Specs file)", p.specsFile), integer("Punch file", p.punchFile),
              integer("Load file", p.loadFile), integer("Dump file", p.dumpFile)});
  printGroup(out, "FREQUENCIES.",
             {integer("Log frequency", p.logFrequency), integer("Check row error", p.checkRowError),
              integer("Save new basis map", p.saveNewBasisMap), integer("Summary frequency", p.summaryFrequency),
              integer("Factorize basis", p.factorizeBasis), integer("Expand frequency", p.expandFrequency)});
}

void printMethodGroups(const Parameters& p, const ReportChannels& out) {
  printGroup(out, "LP PARAMETERS.",
             {integer("Scale option", p.scaleOption), exponent("Feasibility tolerance", p.feasibilityTolerance),
              integer("Iteration limit", p.iterationLimit), fixed("Scale tolerance", p.scaleTolerance),
              exponent("Optimality tolerance", p.optimalityTolerance), integer("Partial  price", p.partialPrice),
              integer("Crash option", p.crashOption), exponent("Pivot tolerance", p.pivotTolerance),
              integer("Multiple price", p.multiplePrice), fixed("Crash tolerance", p.crashTolerance),
              exponent("Weight on objective", p.weightOnObjective), integer("Pricing option", p.pricingOption),
              integer("Solve strategy", p.solveStrategy), exponent("Time limit", p.timeLimit)});
  printGroup(
      out, "NONLINEAR PROBLEMS.",
      {integer("Nonlinear constraints", p.nonlinearConstraints), integer("Hessian dimension", p.hessianDimension),
       exponent("Function precision", p.functionPrecision), integer("Nonlinear Jacobian vars", p.nonlinearJacobianVars),
       integer("Superbasics limit", p.superbasicsLimit), exponent("Difference interval", p.differenceInterval),
       integer("Nonlinear objectiv vars", p.nonlinearObjectiveVars),
       fixed("Linesearch tolerance", p.linesearchTolerance),
       exponent("Central difference int.", p.centralDifferenceInterval), integer("Problem number", p.problemNumber),
       fixed("Subspace tolerance", p.subspaceTolerance), integer("Derivative level", p.derivativeLevel),
       exponent("Unbounded objective val", p.unboundedObjectiveValue),
       exponent("Unbounded step size", p.unboundedStepSize), integer("Verify level", p.verifyLevel),
       integer("Hessian memory", p.hessianMemory), integer("Hessian option", p.hessianOption)});
  if (p.nonlinearConstraints >= 1)
    printGroup(
        out, "AUGMENTED LAGRANGIAN.",
        {word("Jacobian", switchWord(3 + p.jacobian)), integer("Major iterations limit", p.majorIterationsLimit),
         exponent("Radius of convergence", p.radiusOfConvergence), word("Lagrangian", switchWord(p.lagrangian)),
         integer("Minor iterations limit", p.minorIterationsLimit), exponent("Row tolerance", p.rowTolerance),
         exponent("Penalty parameter", p.penaltyParameter), word("Completion", switchWord(2 + p.completion)),
         integer("Print level..(JFLXB)", p.printLevel), exponent("Major damping parameter", p.majorDampingParameter),
         exponent("Minor damping parameter", p.minorDampingParameter)});
}

void printMiscellaneousGroup(const Parameters& p, const ReportChannels& out) {
  const MachineConstants& mc = p.machine;
  printGroup(out, "MISCELLANEOUS.",
             {exponent("LU factor tolerance", p.luFactorTolerance),
              integer("Workspace (user)", p.workspaceUser),
              integer("Debug level", p.debugLevel),
              exponent("LU update tolerance", p.luUpdateTolerance),
              integer("Workspace (total)", p.workspaceTotal),
              integer("Linesearch debug after", p.linesearchDebugAfter),
              exponent("LU singularity tol", p.luSingularityTol),
              exponent("eps (machine precision)", mc.eps),
              {"nwordr, nwordi, nwordh", field("%4d%3d%3d", mc.nwordr, mc.nwordi, mc.nwordh)},
              exponent("LU swap tolerance", p.luSwapTolerance),
              integer("Timing level", p.timingLevel)});
}

}  // namespace

void printParameterListing(const Parameters& p, const ReportChannels& out) {
  if (p.printFile < 1 || !p.printDetailed || p.listParameters < 1) return;
  out.printLine("");
  out.printLine(" Parameters");
  out.printLine(" ----------");
  printInputGroups(p, out);
  printMethodGroups(p, out);
  printMiscellaneousGroup(p, out);
}

}  // namespace kavro
