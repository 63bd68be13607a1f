#include "io/file_identity.hpp"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace kavro {

namespace {

FileIdentity fromStat(const struct stat& st) {
  FileIdentity id;
  if (!S_ISREG(st.st_mode)) return id;  // devices, pipes, sockets, folders
  id.kind = FileIdentity::Kind::kExisting;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  return id;
}

}  // namespace

FileIdentity identifyPath(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return fromStat(st);
  FileIdentity id;
  std::error_code ec;
  const std::filesystem::path normal = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
  if (ec) return id;  // no usable name: nothing can be created there either
  id.kind = FileIdentity::Kind::kNew;
  id.normalPath = normal.string();
  return id;
}

FileIdentity identifyStream(std::FILE* stream) {
  struct stat st {};
  if (!stream || ::fstat(::fileno(stream), &st) != 0) return {};
  return fromStat(st);
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
  using Kind = FileIdentity::Kind;
  if (a.kind != b.kind || a.kind == Kind::kShareable) return false;
  if (a.kind == Kind::kExisting) return a.device == b.device && a.inode == b.inode;
  return a.normalPath == b.normalPath;
}

}  // namespace kavro
