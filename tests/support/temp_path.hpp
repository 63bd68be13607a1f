#pragma once
// Unique paths in the test temporary folder: the report files of one test never collide with
// those of another (or of an earlier run of the same test).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace kavro::testing {

inline std::string uniqueTempPath(const std::string& prefix, const std::string& suffix) {
  static int counter = 0;
  const std::string path = ::testing::TempDir() + prefix + "_" + std::to_string(::getpid()) + "_" +
                           std::to_string(++counter) + suffix;
  std::remove(path.c_str());
  return path;
}

}  // namespace kavro::testing
