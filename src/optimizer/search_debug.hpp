#pragma once
// Linesearch debug output (print file): the header of each search, the state after every call
// of a step-selection routine and the notes on how the next trial was chosen; and the one-line
// summary of a search that failed without debug output.

#include <cstdint>

#include "optimizer/search_state.hpp"

namespace kavro {

struct ReportChannels;

namespace search {

void printStart(const ReportChannels& out, int32_t itn, double pNorm, double gnorm);
// The quantities fixed at the first call.
void printFirstCall(const ReportChannels& out, const LinesearchState& s);
// The trial just evaluated ("alfa ftry gtry", or "alfa ftry" without derivatives).
void printTrial(const ReportChannels& out, const LinesearchState& s, bool withDerivatives);
void printState(const ReportChannels& out, const LinesearchState& s, bool withDerivatives);
void printNote(const ReportChannels& out, const char* label);
void printNote(const ReportChannels& out, const char* label, double value);
void printNote(const ReportChannels& out, const char* label, double v1, double v2, double v3);
// The line of dashes that closes a call.
void printEnd(const ReportChannels& out);
void printSummary(const ReportChannels& out, double alfmax, double pNorm, double gnorm, double gtp, int32_t numf);

}  // namespace search
}  // namespace kavro
