#include "nl/nl_file.hpp"

#include <zlib.h>

#include <cstdint>

namespace kavro::nl {

bool loadFile(const std::string& path, std::string& data, std::string& error) {
  constexpr size_t kLimit = size_t{1} << 31;
  constexpr unsigned kChunk = 1u << 20;
  data.clear();
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) {
    error = "cannot open " + path;
    return false;
  }
  for (;;) {
    const size_t used = data.size();
    if (used >= kLimit) {
      gzclose(f);
      error = path + ": the file is larger than 2 GB";
      return false;
    }
    data.resize(used + kChunk);
    const int got = gzread(f, data.data() + used, kChunk);
    if (got < 0) {
      int code = 0;
      const char* text = gzerror(f, &code);
      gzclose(f);
      error = path + ": cannot read the file: " + (text ? text : "read error");
      return false;
    }
    data.resize(used + static_cast<size_t>(got));
    if (got == 0) break;
  }
  // A compressed file cut short ends without an error from gzread; gzclose reports it.
  const int closed = gzclose(f);
  if (closed != Z_OK) {
    error = path + ": the compressed data is damaged or cut short";
    return false;
  }
  return true;
}

}  // namespace kavro::nl
