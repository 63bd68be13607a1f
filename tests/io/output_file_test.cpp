// Writing output units: saves that replace a file whole or not at all, and every failure of an
// open, write, rename or close kept once with the path and the system's reason.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "io/output_guard.hpp"
#include "io/units.hpp"
#include "io_test_support.hpp"

namespace kavro {
namespace {

using testing::TempFolder;

constexpr int kUnit = 11;

TEST(Saves, TheFileChangesOnlyWhenTheSaveIsCommitted) {
  TempFolder dir;
  const std::string path = dir.write("new.bas", "old contents\n");
  {
    UnitTable units;
    units.connect(kUnit, path);
    units.beginSave(kUnit);
    units.writeLine(kUnit, "first save");
    units.flush(kUnit);
    EXPECT_EQ(dir.read("new.bas"), "old contents\n");
    EXPECT_EQ(dir.entries(), 2u);  // the target and the save being written
    EXPECT_TRUE(units.commitSave(kUnit));
    EXPECT_EQ(dir.read("new.bas"), "first save\n");
    EXPECT_EQ(dir.entries(), 1u);

    // A save cut short (the table goes away in the middle of it) leaves the last whole one.
    units.beginSave(kUnit);
    units.writeLine(kUnit, "half of a second save");
  }
  EXPECT_EQ(dir.read("new.bas"), "first save\n");
  EXPECT_EQ(dir.entries(), 1u);
}

TEST(Saves, ReplacementKeepsPermissionsAndSymbolicLinks) {
  TempFolder dir;
  const std::string real = dir.write("real.bas", "old\n");
  ::chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, dir.path("link.bas"));
  UnitTable units;
  units.connect(kUnit, dir.path("link.bas"));
  units.beginSave(kUnit);
  units.writeLine(kUnit, "new");
  ASSERT_TRUE(units.commitSave(kUnit));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link.bas")));
  EXPECT_EQ(dir.read("real.bas"), "new\n");
  struct stat st {};
  ::stat(real.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Each failure names the file and the reason; a unit is listed once however often it fails, and
// a later save may still succeed.
TEST(Saves, FailuresAreKeptOncePerUnitWithPathAndReason) {
  TempFolder dir;
  struct {
    std::string path;
    std::string reason;
  } cases[] = {{dir.path("missing/new.bas"), "No such file or directory"}, {dir.path(""), "Is a directory"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    UnitTable units;
    units.connect(kUnit, c.path);
    for (int save = 1; save <= 3; ++save) {
      units.beginSave(kUnit);
      units.writeLine(kUnit, "a basis");
      EXPECT_FALSE(units.commitSave(kUnit));
    }
    ASSERT_EQ(units.failures().size(), 1u);
    EXPECT_EQ(units.failures()[0].text, c.path + ": " + c.reason);
    EXPECT_EQ(units.failureOf(kUnit)->times, 3);
  }
  UnitTable units;
  units.connect(kUnit, dir.path("missing/new.bas"));
  units.beginSave(kUnit);
  EXPECT_FALSE(units.commitSave(kUnit));
  std::filesystem::create_directory(dir.path("missing"));
  units.beginSave(kUnit);
  units.writeLine(kUnit, "now it fits");
  EXPECT_TRUE(units.commitSave(kUnit));
  EXPECT_EQ(dir.read("missing/new.bas"), "now it fits\n");
}

TEST(Saves, ReadOnlyFileIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write any file";
  TempFolder dir;
  const std::string path = dir.write("ro.bas", "keep me\n");
  ::chmod(path.c_str(), 0444);
  UnitTable units;
  units.connect(kUnit, path);
  units.beginSave(kUnit);
  units.writeLine(kUnit, "x");
  EXPECT_FALSE(units.commitSave(kUnit));
  EXPECT_EQ(units.failureOf(kUnit)->text, path + ": Permission denied");
  EXPECT_EQ(dir.read("ro.bas"), "keep me\n");
}

// Devices cannot be renamed over: a save to one is written as it comes.
TEST(Saves, DevicesAreWrittenDirectly) {
  UnitTable units;
  units.connect(kUnit, "/dev/null");
  units.beginSave(kUnit);
  units.writeLine(kUnit, "gone");
  EXPECT_TRUE(units.commitSave(kUnit));
  units.connect(kUnit + 1, "/dev/full");
  units.beginSave(kUnit + 1);
  units.writeLine(kUnit + 1, "no room");
  EXPECT_FALSE(units.commitSave(kUnit + 1));
  EXPECT_EQ(units.failureOf(kUnit + 1)->text, "/dev/full: No space left on device");
}

// A report written directly: the failure shows when the buffer is written out, is kept once, and
// the writes after it are dropped.
TEST(DirectOutput, FailuresOfFilesAndStreamsAreKeptOnce) {
  TempFolder dir;
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  {
    UnitTable units;
    units.connect(9, "/dev/full");
    units.connectStream(6, full, "standard output");
    units.connect(12, dir.path("missing/run.print"));
    units.connect(13, dir.path("ok.print"));
    for (int k = 0; k < 5000; ++k)
      for (int unit : {9, 6, 12, 13}) units.writeLine(unit, "a line of the report");
    units.flushAll();
    ASSERT_EQ(units.failures().size(), 3u);
    EXPECT_EQ(units.failureOf(12)->text, dir.path("missing/run.print") + ": No such file or directory");
    EXPECT_EQ(units.failureOf(9)->text, "/dev/full: No space left on device");
    EXPECT_EQ(units.failureOf(6)->text, "standard output: No space left on device");
    EXPECT_EQ(units.failureOf(13), nullptr);
    EXPECT_EQ(units.linesWritten(13), 5000);
  }
  std::fclose(full);
}

TEST(DirectOutput, RewoundFileHoldsWhatWasWrittenAfterwards) {
  TempFolder dir;
  {
    UnitTable units;
    units.connect(20, dir.path("r"));
    units.writeLine(20, "a long first version");
    units.rewind(20);
    units.writeLine(20, "short");
  }
  EXPECT_EQ(dir.read("r"), "short\n");
}

// A report reaches its file while the run goes on (at least every second), so that a run killed
// by a CPU limit leaves its log; a save in progress never does.
TEST(DirectOutput, ReportsReachTheFileWhileTheRunGoesOn) {
  TempFolder dir;
  UnitTable units;
  units.connect(9, dir.path("report"));
  units.connect(kUnit, dir.path("save.bas"));
  units.beginSave(kUnit);
  units.writeLine(9, "first line");
  units.writeLine(kUnit, "half a save");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  units.writeLine(9, "a second later");
  units.writeLine(kUnit, "more of it");
  EXPECT_EQ(dir.read("report"), "first line\na second later\n");
  EXPECT_EQ(dir.entries(), 2u);  // the report and the save's temporary file, not the target
}

TEST(ReplaceFileContents, WholeFileOrAReason) {
  TempFolder dir;
  EXPECT_EQ(replaceFileContents(dir.path("a.json"), "{}\n"), "");
  EXPECT_EQ(dir.read("a.json"), "{}\n");
  EXPECT_EQ(replaceFileContents(dir.path("no/a.json"), "{}\n"), dir.path("no/a.json") + ": No such file or directory");
  EXPECT_EQ(replaceFileContents("/dev/full", "{}\n"), "/dev/full: No space left on device");
  EXPECT_EQ(dir.entries(), 1u);
}

}  // namespace
}  // namespace kavro
