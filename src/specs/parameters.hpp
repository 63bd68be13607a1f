#pragma once
// The run-parameter block: every tolerance, limit, frequency, file number and switch of
// the optimizer. A run writes it in three steps — reset, options (SPECS lines), completion
// once the problem's dimensions are known — and may then print it as the parameter listing;
// it is read-only during the solve except for the few tolerances that adapt (LU tolerances
// and pivoting rule, penalty, completion, derivative level).
//
// Fields are named after their listing labels. Until completion, a parameter whose default
// depends on the problem holds kUndefinedInt / kUndefinedReal; so does one that the solve
// strategy chooses when no option set it (driver/strategy/strategy_settings.hpp), since the
// strategy must tell an option the caller set from a default.

#include <array>
#include <cstdint>
#include <string>

namespace kavro {

struct ReportChannels;

inline constexpr int32_t kUndefinedInt = -11111;
inline constexpr double kUndefinedReal = -11111.0;
// Marker preset into derivative arrays so that entries the user routines leave unset can be
// recognised and estimated by differences.
inline constexpr double kUnsetDerivative = -111111.0;

// Machine constants, stored as given rather than recomputed so that every platform agrees.
struct MachineConstants {
  double eps = 2.220446049250313e-16;          // 2^-52
  double eps0 = 3.000213634488528e-13;         // eps^0.8
  double eps1 = 3.2517335437943067e-11;        // eps^0.67
  double eps2 = 1.4901161193847656e-08;        // eps^0.5
  double eps3 = 6.828499381469512e-06;         // eps^0.33
  double eps4 = 1.220703125e-04;               // eps^0.25
  double eps5 = 7.40095979741405e-04;          // eps^0.2
  double infBound = 1.0e20;                    // a bound at or beyond this is infinite
  int32_t nwordr = 2, nwordi = 2, nwordh = 2;  // storage words per real, integer, character item
};

struct Parameters {
  MachineConstants machine;

  // ---- MPS input data
  int32_t rowLimit = 0;
  int32_t listLimit = 0;
  double lowerBoundDefault = 0.0;
  int32_t columnLimit = 0;
  int32_t errorMessageLimit = 10;
  double upperBoundDefault = 1.0e20;
  int32_t elementsLimit = 0;
  int32_t phantomElements = 0;
  double aijTolerance = 1.0e-10;
  int32_t phantomColumns = 0;

  // ---- Files (unit numbers; 0 means no such file)
  int32_t mpsFile = 0;
  int32_t oldBasisFile = 0;
  int32_t cardReader = 5;
  int32_t solutionFile = 0;
  int32_t newBasisFile = 0;
  int32_t printFile = 0;  // "(Printer)"
  int32_t insertFile = 0;
  int32_t backupBasisFile = 0;
  int32_t specsFile = 0;  // "(Specs file)"
  int32_t punchFile = 0;
  int32_t loadFile = 0;
  int32_t dumpFile = 0;
  int32_t summaryFile = 0;
  int32_t reportFile = 0;

  // ---- Frequencies
  int32_t logFrequency = kUndefinedInt;
  int32_t checkRowError = kUndefinedInt;
  int32_t saveNewBasisMap = kUndefinedInt;
  int32_t summaryFrequency = kUndefinedInt;
  int32_t factorizeBasis = kUndefinedInt;
  int32_t expandFrequency = kUndefinedInt;

  // ---- LP parameters
  int32_t scaleOption = kUndefinedInt;
  double feasibilityTolerance = kUndefinedReal;
  int32_t iterationLimit = kUndefinedInt;
  double scaleTolerance = kUndefinedReal;
  double optimalityTolerance = kUndefinedReal;
  int32_t partialPrice = kUndefinedInt;
  int32_t crashOption = kUndefinedInt;  // IPARM(1); completed to 3
  double pivotTolerance = kUndefinedReal;
  int32_t multiplePrice = kUndefinedInt;   // completed to 1
  double crashTolerance = kUndefinedReal;  // RPARM(5)
  double weightOnObjective = kUndefinedReal;
  int32_t pricingOption = kUndefinedInt;  // 0 largest reduced cost (completed), 1 Devex, 2 steepest edge
  int32_t solveStrategy = kUndefinedInt;  // 0 the single solve, 1 the solve strategy; undefined: the caller's default
  double timeLimit = 0.0;                 // processor seconds for all runs of a solve; 0: none

  // ---- Nonlinear problems
  int32_t nonlinearConstraints = 0;
  int32_t hessianDimension = kUndefinedInt;
  int32_t hessianMemory = kUndefinedInt;  // > 0: limited-memory updates instead of the dense factor (completed to 0)
  int32_t hessianOption = kUndefinedInt;  // 0 quasi-Newton, 1 exact, 2 automatic; undefined: from the functions
  double functionPrecision = kUndefinedReal;  // RPARM(3)
  int32_t nonlinearJacobianVars = 0;
  int32_t superbasicsLimit = kUndefinedInt;
  double differenceInterval = kUndefinedReal;
  int32_t nonlinearObjectiveVars = 0;
  double linesearchTolerance = kUndefinedReal;
  double centralDifferenceInterval = kUndefinedReal;
  int32_t problemNumber = 0;
  double subspaceTolerance = kUndefinedReal;
  int32_t derivativeLevel = 3;
  double unboundedObjectiveValue = kUndefinedReal;  // RPARM(1)
  double unboundedStepSize = kUndefinedReal;        // RPARM(2)
  int32_t verifyLevel = 0;

  // ---- Augmented Lagrangian
  int32_t jacobian = 1;                          // 1 dense, 2 sparse
  int32_t majorIterationsLimit = kUndefinedInt;  // completed to 50
  double radiusOfConvergence = kUndefinedReal;
  int32_t lagrangian = 1;  // 1 yes, 0 no
  int32_t minorIterationsLimit = kUndefinedInt;
  double rowTolerance = kUndefinedReal;
  double penaltyParameter = kUndefinedReal;
  int32_t completion = kUndefinedInt;             // 0 partial, 1 full
  int32_t printLevel = 0;                         // "Print level..(JFLXB)"
  double majorDampingParameter = kUndefinedReal;  // RPARM(4)
  double minorDampingParameter = kUndefinedReal;  // RPARM(6)
  double currentPenalty = kUndefinedReal;         // RPARM(7): the value the major iterations change

  // ---- Miscellaneous
  double luFactorTolerance = kUndefinedReal;
  int32_t workspaceUser = 0;
  int32_t debugLevel = 0;
  double luUpdateTolerance = kUndefinedReal;
  int64_t workspaceTotal = 0;                // given by the caller
  int32_t linesearchDebugAfter = 9999999;    // IPARM(2)
  double luSingularityTol = kUndefinedReal;  // the two copies used for U's diagonal
  double luSingularityTol2 = kUndefinedReal;
  double luSwapTolerance = kUndefinedReal;  // RPARM(8)
  int32_t timingLevel = 3;
  double luDensity = kUndefinedReal;
  int32_t luPivoting = 0;         // 0 partial, 1 rook, 2 complete
  int32_t luMarkowitzSearch = 0;  // internal override of the Markowitz search length when >= 1

  // ---- Not listed
  int32_t objectiveSense = 1;        // 1 minimize, -1 maximize
  bool objectiveSenseGiven = false;  // a Maximize or Minimize option was read (a model's own
                                     // sense does not override it)
  std::string sensePrintText = "Min ";
  int32_t solution = 2;  // 2 yes, 0 no
  bool printBrief = true, printDetailed = false;
  bool summaryBrief = true, summaryDetailed = false;
  int32_t scalePrint = 0;       // IPARM(4)
  int32_t startAssignment = 2;  // IPARM(5)
  int32_t startObjectiveCheck = -1;
  int32_t stopObjectiveCheck = -1;
  int32_t startConstraintCheck = -1;
  int32_t stopConstraintCheck = -1;
  int32_t cycleLimit = 1;
  int32_t cyclePrint = 1;
  double cycleTolerance = 0.0;
  int32_t listParameters = 1;  // IPARM(3)
  std::string objectiveName = "        ";
  std::string rhsName = "        ";
  std::string rangesName = "        ";
  std::string boundsName = "        ";
  std::string problemName = "        ";

  // Internal values that every call of setParameters refreshes.
  double smallTolerance = 1.0e-6;  // max(1e-6, eps^0.5)
  double smallToleranceSquared = 1.0e-12;
  double milliTolerance = 1.0e-3;  // max(1e-3, eps^0.25)
  double hundredth = 0.010000000000000002;
  double tenth = 0.1;
  double rootEps = 1.4901161193847656e-08;
  double rowCheckTolerance = 1.0e-4;  // max(1e-4, eps^0.33): relative row residual that counts as an error

  // Slots reached by "IPARM k" and "RPARM k", k = 1..30. Slots 1-5 (integer) and 1-8 (real)
  // are the named fields marked above; the others are plain storage.
  std::array<int32_t, 31> iparmExtra{};
  std::array<double, 31> rparmExtra{};
};

// Reference to IPARM(k) / RPARM(k), 1 <= k <= 30.
int32_t& iparmSlot(Parameters& p, int k);
double& rparmSlot(Parameters& p, int k);

// setParameters(mode): 1 reset, 2 completion, 3 listing (on the print file), anything else only
// the internal values. Completion needs the caller to have stored the problem's Row limit,
// Column limit, Elements limit, nonlinear counts and Workspace (total) first.
void setParameters(Parameters& p, int mode, const ReportChannels& out);

// Number of nonlinear variables max(Nonlinear Jacobian vars, Nonlinear objectiv vars).
inline int32_t nonlinearVariables(const Parameters& p) {
  return p.nonlinearJacobianVars > p.nonlinearObjectiveVars ? p.nonlinearJacobianVars : p.nonlinearObjectiveVars;
}

}  // namespace kavro
