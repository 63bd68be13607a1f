#pragma once
// The header of a .nl file: the format letter with the options on the first line, then ten
// lines of counts. The header is text in both formats.

#include <string_view>

#include "nl/nl_model.hpp"

namespace kavro::nl {

struct HeaderPosition {
  size_t offset = 0;  // first byte after the header
  long line = 0;      // number of that line (text files), 1-based
};

// Reads and checks the header; throws ReadError naming the line. Counts that the rest of the
// file could not possibly hold (more variables, constraints or nonzeros than it has bytes) are
// refused here, before anything is sized by them.
HeaderPosition readHeader(std::string_view data, Header& header);

}  // namespace kavro::nl
