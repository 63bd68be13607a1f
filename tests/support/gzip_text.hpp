#pragma once
// Text compressed in memory as a gzip file would hold it, for tests of the readers of
// compressed input. The fastest level: some tests compress hundreds of megabytes of blanks.

#include <zlib.h>

#include <string>

namespace kavro::testing {

inline std::string gzipped(const std::string& text) {
  std::string out(compressBound(static_cast<uLong>(text.size())) + 64, '\0');
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace kavro::testing
