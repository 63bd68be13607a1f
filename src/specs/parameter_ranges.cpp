#include "specs/parameter_ranges.hpp"

#include <limits>

namespace kavro {

namespace {

constexpr int32_t kNoLimit = std::numeric_limits<int32_t>::max();

struct IntegerRange {
  int32_t Parameters::*field;
  int32_t low, high;
  const char* text;
};

// Negative Scale options take the default, so only values above 2 select nothing. A negative
// iteration limit would be taken for "no limit given" and quietly become the default: refused.
constexpr IntegerRange kIntegerRanges[] = {
    {&Parameters::iterationLimit, 0, kNoLimit, "0 or more"},
    {&Parameters::majorIterationsLimit, 0, kNoLimit, "0 or more"},
    {&Parameters::minorIterationsLimit, 0, kNoLimit, "0 or more"},
    {&Parameters::scaleOption, std::numeric_limits<int32_t>::min(), 2, "2 at most"},
    {&Parameters::crashOption, 0, 3, "0 to 3"},
    {&Parameters::derivativeLevel, 0, 3, "0 to 3"},
    {&Parameters::startAssignment, 1, 4, "1 to 4"},
    {&Parameters::multiplePrice, 1, kNoLimit, "1 or more"},
    {&Parameters::solveStrategy, 0, 1, "0 or 1"},
    {&Parameters::hessianOption, 0, 2, "0, 1 or 2"},
    {&Parameters::mpsFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::oldBasisFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::solutionFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::newBasisFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::printFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::insertFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::backupBasisFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::punchFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::loadFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::dumpFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::summaryFile, 0, 99, "a file number from 0 to 99"},
    {&Parameters::reportFile, 0, 99, "a file number from 0 to 99"},
};

// Tolerances that completion replaces when they are not positive and leaves in force otherwise.
constexpr double Parameters::*kFractions[] = {
    &Parameters::feasibilityTolerance,
    &Parameters::optimalityTolerance,
    &Parameters::pivotTolerance,
    &Parameters::luSingularityTol,
    &Parameters::luSingularityTol2,
    &Parameters::functionPrecision,
    &Parameters::rowTolerance,
    &Parameters::aijTolerance,
    &Parameters::luSwapTolerance,
    &Parameters::differenceInterval,
    &Parameters::centralDifferenceInterval,
};

// Amounts that have no meaning below 0.
constexpr double Parameters::*kNonnegative[] = {&Parameters::timeLimit};

}  // namespace

std::string outOfRange(const Parameters& p, const int32_t& field, int32_t value) {
  for (const IntegerRange& r : kIntegerRanges)
    if (&(p.*r.field) == &field) return value < r.low || value > r.high ? r.text : "";
  return "";
}

std::string outOfRange(const Parameters& p, const double& field, double value) {
  for (double Parameters::*f : kFractions)
    if (&(p.*f) == &field) return value >= 1.0 ? "below 1" : "";
  for (double Parameters::*f : kNonnegative)
    if (&(p.*f) == &field) return value < 0.0 ? "0 or more" : "";
  return "";
}

}  // namespace kavro
