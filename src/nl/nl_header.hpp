#pragma once
// The header of a .nl file: the format letter with the options on the first line, then ten
// lines of counts. The header is text in both formats.

#include "nl/nl_model.hpp"
#include "nl/nl_source.hpp"

namespace kavro::nl {

struct HeaderPosition {
  const char* cursor = nullptr;  // first byte after the header, in the source's window
  long line = 0;                 // number of that line (text files), 1-based
};

// Reads and checks the header from the start of the source; throws ReadError naming the line.
// Counts that the file could not possibly hold (more variables, constraints or nonzeros than it
// has bytes, or than a compressed file can expand to) are refused here.
HeaderPosition readHeader(ByteSource& source, Header& header);

}  // namespace kavro::nl
