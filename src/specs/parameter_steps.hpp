#pragma once
// The separate steps behind setParameters(mode). Each lives in its own file; setParameters
// only chooses among them.

#include "specs/parameters.hpp"

namespace kavro {

// Values derived from the machine constants that every call of setParameters refreshes.
void refreshInternalValues(Parameters& p);

// Every parameter back to its reset value; what the caller owns survives.
void resetParameters(Parameters& p);

// Defaults that depend on the problem, range repairs and consistency rules.
void completeParameters(Parameters& p);

// The parameter listing on the print file (only with detailed printing and a print file).
void printParameterListing(const Parameters& p, const ReportChannels& out);

}  // namespace kavro
