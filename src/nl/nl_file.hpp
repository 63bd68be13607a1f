#pragma once
// Whole files into memory, gzip-compressed or plain (zlib reads both).

#include <string>

namespace kavro::nl {

// Reads the file at path into data. On failure returns false with a message naming the file.
// Files that expand beyond the largest model the reader could take (2^31 bytes) are refused.
bool loadFile(const std::string& path, std::string& data, std::string& error);

}  // namespace kavro::nl
