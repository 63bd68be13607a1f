#pragma once
// Telling whether two names (or an open stream and a name) reach the same file, so that an
// output is never opened over an input or over another output.
//
// Only regular files, and names that do not exist yet (an output will create them), can clash:
// devices, pipes and sockets (/dev/null, a terminal, a pipe to another program) may be shared by
// several outputs without losing anything. Existing files are compared by device and inode, so
// links and different spellings of one path are recognised; names that do not exist yet are
// compared as absolute paths with "." and ".." and symbolic links of their folders resolved.

#include <sys/types.h>

#include <cstdio>
#include <string>

namespace kavro {

struct FileIdentity {
  enum class Kind { kShareable, kExisting, kNew };
  Kind kind = Kind::kShareable;
  dev_t device = 0;
  ino_t inode = 0;
  std::string normalPath;  // kNew: the absolute path the file would be created at
};

FileIdentity identifyPath(const std::string& path);
FileIdentity identifyStream(std::FILE* stream);

// False whenever either side is shareable.
bool sameFile(const FileIdentity& a, const FileIdentity& b);

}  // namespace kavro
