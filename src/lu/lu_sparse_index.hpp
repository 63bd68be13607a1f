#pragma once
// The structures behind the sparse solves (LuStorage::sparse): built from the factors, and the
// column lists of U kept up to date while replacements write new entries.

#include <cstdint>

#include "lu/lu_factors.hpp"

namespace kavro::lu::detail {

// Builds the lists for the current factors (rank taken from params). False when the arena is too
// small to hold them; the sparse solves then take the dense path.
bool buildSparseIndex(int32_t m, int32_t n, const LuParams& params, LuStorage& lu);

// A replacement wrote entry (i, j) of U; wrote row i of U anew; emptied column j of U.
// When a list has no room left the structures are rebuilt by the next sparse solve.
void noteUEntry(LuStorage& lu, int32_t i, int32_t j);
void noteURow(LuStorage& lu, int32_t i);
void clearUColumn(LuStorage& lu, int32_t j);

}  // namespace kavro::lu::detail
