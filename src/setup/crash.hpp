#pragma once
// The crash: chooses an initial basic set, one basic variable per row, preferring structural
// columns that keep the basis triangular and slacks elsewhere. It only sets states (and, in
// modes 4 and 5, some slack values); the factorization deals with any dependence left.
//
// Modes: 0 all slacks basic; 1 crash all rows; 2 the linear rows; 3 the linear equality rows
// (the slacks of all other rows are basic); 4 later, for the linear inequality rows; 5 later,
// for the nonlinear rows.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"

namespace kavro {

struct Parameters;
struct ReportChannels;

struct CrashCounts {
  int32_t slacks = 0, freeCols = 0, preferred = 0, unit = 0, doubles = 0, triangle = 0, pad = 0;
};

struct CrashSettings {
  double crashTolerance = 0.1;
  double tinyValue = 3.000213634488528e-13;  // structural values at most this are ignored (eps^0.8)
};
// The run's: "Crash tolerance" and eps^0.8.
CrashSettings crashSettingsOf(const Parameters& params);

CrashCounts crashBasis(int mode, const Problem& prob, const std::vector<int32_t>& rowTypes,
                       const CrashSettings& settings, std::vector<int32_t>& hs, std::vector<double>& x,
                       const ReportChannels& out);

}  // namespace kavro
