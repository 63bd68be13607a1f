// The check that no output lands on an input or on another output: by unit number, by path
// (links and spellings included) and through an open stream; devices may be shared.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "io/units.hpp"
#include "io_test_support.hpp"

namespace kavro {
namespace {

using testing::TempFolder;
using Kind = FileUse::Kind;

const FileUse kPrint{9, "print file", Kind::kReport};
const FileUse kSummary{6, "summary file", Kind::kReport};
const FileUse kSpecs{4, "SPECS file", Kind::kInput};

std::vector<std::string> clashes(const UnitTable& units, std::vector<FileUse> uses) {
  std::vector<std::string> texts;
  for (const FileClash& c : findFileClashes(units, uses)) texts.push_back(c.text);
  return texts;
}

TEST(FileClashes, SameUnitNumber) {
  UnitTable units;
  EXPECT_EQ(clashes(units, {kPrint, kSummary, kSpecs, {4, "MPS file", Kind::kInput}}).size(), 0u)
      << "MPS data may follow the options in the SPECS file";
  EXPECT_EQ(clashes(units, {kPrint, {11, "New basis file", Kind::kOutput}, {11, "Punch file", Kind::kOutput}}),
            (std::vector<std::string>{
                "the New basis file (unit 11) and the Punch file (unit 11) are the same file: fort.11"}));
  EXPECT_EQ(
      clashes(units, {kPrint, kSummary, {9, "Punch file", Kind::kOutput}, {6, "Dump file", Kind::kOutput}}).size(), 0u)
      << "a file on a report's unit number is added to the report";
  EXPECT_EQ(clashes(units, {kSpecs, {4, "Load file", Kind::kBasisInput}}),
            (std::vector<std::string>{"the SPECS file (unit 4) and the Load file (unit 4) are the same file: fort.4"}));
  EXPECT_EQ(clashes(units, {{12, "Old basis file", Kind::kBasisInput}, {12, "New basis file", Kind::kOutput}}).size(),
            1u);
  EXPECT_EQ(clashes(units, {kSpecs, {4, "print file", Kind::kReport}}).size(), 1u);
  EXPECT_EQ(clashes(units, {kPrint, {0, "New basis file", Kind::kOutput}, {-3, "Dump file", Kind::kOutput}}).size(),
            0u);
}

TEST(FileClashes, SameFileThroughDifferentUnits) {
  TempFolder dir;
  const std::string problem = dir.write("a.mps", "NAME\n");
  std::filesystem::create_hard_link(problem, dir.path("hard.mps"));
  std::filesystem::create_directory(dir.path("sub"));
  UnitTable units;
  units.connect(98, problem);
  units.declareUse({98, "problem file", Kind::kInput});
  units.connect(9, dir.path("run.print"));
  units.connect(6, dir.path("sub/../run.print"));  // not there yet: compared by its normal path
  units.connect(11, dir.path("hard.mps"));
  units.connect(12, dir.path("sub/../a.mps"));
  units.connect(13, "/dev/null");
  units.connect(14, "/dev/null");
  const std::vector<std::string> found = clashes(units, {kPrint,
                                                         kSummary,
                                                         {11, "New basis file", Kind::kOutput},
                                                         {12, "Old basis file", Kind::kBasisInput},
                                                         {13, "Dump file", Kind::kOutput},
                                                         {14, "Solution file", Kind::kOutput}});
  EXPECT_EQ(
      found,
      (std::vector<std::string>{
          "the print file (unit 9) and the summary file (unit 6) are the same file: " + dir.path("run.print"),
          "the New basis file (unit 11) and the Old basis file (unit 12) are the same file: " + dir.path("hard.mps"),
          "the New basis file (unit 11) and the problem file (unit 98) are the same file: " + dir.path("hard.mps"),
          "the Old basis file (unit 12) and the problem file (unit 98) are the same file: " +
              dir.path("sub/../a.mps")}));
}

TEST(FileClashes, StreamsAreComparedByTheFileTheyWriteTo) {
  TempFolder dir;
  const std::string path = dir.write("out.txt", "");
  std::FILE* stream = std::fopen(path.c_str(), "a");
  ASSERT_NE(stream, nullptr);
  UnitTable units;
  units.connectStream(6, stream, "standard output");
  units.connect(9, path);
  EXPECT_EQ(
      clashes(units, {kPrint, kSummary}),
      (std::vector<std::string>{"the print file (unit 9) and the summary file (unit 6) are the same file: " + path}));
  units.connect(9, dir.path("other.txt"));
  EXPECT_TRUE(clashes(units, {kPrint, kSummary}).empty());
  std::fclose(stream);
}

TEST(FileClashes, ControlBytesInPathsAreNotShownRaw) {
  UnitTable units;
  units.connect(11, "b\x1b[2Jad");
  const auto found = clashes(units, {{11, "New basis file", Kind::kOutput}, {11, "Dump file", Kind::kOutput}});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].substr(found[0].size() - 7), "b?[2Jad");
}

}  // namespace
}  // namespace kavro
