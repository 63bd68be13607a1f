#pragma once
// Row classification and the "Matrix Statistics" report printed before the first cycle.

#include <cstdint>
#include <vector>

#include "kavro/problem.hpp"

namespace kavro {

struct Parameters;
struct ReportChannels;

enum RowType : int32_t { kEqualityRow = 0, kOrdinaryRow = 1, kFreeRow = 2 };

// Classifies every row by the bounds of its slack into rowTypes (m entries). Stage 1 also
// prints the statistics block on the print file; stage 2 only refreshes the row types.
void problemStatistics(int stage, const Problem& prob, const Parameters& params, const ReportChannels& out,
                       std::vector<int32_t>& rowTypes);

}  // namespace kavro
