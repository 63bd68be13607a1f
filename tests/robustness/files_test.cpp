// Outputs that would destroy inputs or each other (1), also those of a model's run; outputs that
// cannot be written (2) and a SPECS file that would read itself again and again (3).

#include <sys/file.h>

#include "command_runner.hpp"

namespace kavro::robustness {
namespace {

// 1. No output is written over an input or over another output: the run is refused (exit 2)
//    with both files named, before anything is written.
TEST(Robustness, OutputsNeverOverwriteInputsOrEachOther) {
  Workspace w;
  w.inputCopy("a.mps", example("afiro.mps"));
  struct {
    std::vector<std::string> options;  // SPECS lines ("" for none)
    std::vector<std::string> args;     // before the problem
    std::string message;
  } cases[] = {
      {{"New basis file 98"},
       {},
       "the New basis file (unit 98) and the problem file (unit 98) are the same file: a.mps"},
      {{"Punch file 98"}, {}, "the Punch file (unit 98) and the problem file (unit 98) are the same file: a.mps"},
      {{"Solution file 98"}, {}, "the Solution file (unit 98) and the problem file (unit 98) are the same file: a.mps"},
      {{"Summary file 98"}, {}, "the summary file (unit 98) and the problem file (unit 98) are the same file: a.mps"},
      {{"New basis file 4"}, {}, "the SPECS file (unit 4) and the New basis file (unit 4) are the same file: s.spc"},
      {{"Print file 4"}, {}, "the print file (unit 4) and the SPECS file (unit 4) are the same file: s.spc"},
      {{"New basis file 11", "Punch file 12"},
       {"--unit", "11=b", "--unit", "12=./b"},
       "the New basis file (unit 11) and the Punch file (unit 12) are the same file: b"},
      {{"Dump file 13"},
       {"--unit", "13=a.mps"},
       "the Dump file (unit 13) and the problem file (unit 98) are the same file"},
      {{}, {"--print", "a.mps"}, "the print file (unit 9) and the problem file (unit 98) are the same file: a.mps"},
      {{}, {"--summary", "s.spc"}, "the summary file (unit 6) and the SPECS file (unit 4) are the same file: s.spc"},
      {{},
       {"--print", "F", "--summary", "F"},
       "the summary file (unit 6) and the print file (unit 9) are the same file: F"},
      {{}, {"--print", "r.print", "--unit", "20=./r.print"}, "the print file (unit 9) and the --unit file (unit 20)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::string lines;
    for (const std::string& l : c.options) lines += l + "\n";
    w.input("s.spc", specsBlock(lines));
    std::vector<std::string> args = {"--specs", "s.spc"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("a.mps");
    const Outcome o = w.run(kKavro, args);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(contains(o.err, "kavro: " + c.message)) << o.err;
    EXPECT_TRUE(contains(o.err, "kavro: refused: an output would be written over an input or another output"));
    EXPECT_FALSE(w.exists("b") || w.exists("F") || w.exists("r.print") || w.exists("fort.13"));
    w.expectInputsUnchanged();
  }
}

// 1. The host link's print file: a run that finds kavro55Print held by another run (here the test
//    holds its lock) prints to kavro55Print.2 and says so; the other run's file is not touched.
TEST(Robustness, HostRunsInOneFolderNeverShareAPrintFile) {
  Workspace w;
  w.inputCopy("a.mps", example("afiro.mps"));
  w.input("kavro55Print", "the report of another run\n");
  const int held = ::open(w.path("kavro55Print").c_str(), O_RDWR);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const Outcome o = w.run(kQarnhost, {"--solution", "r.json", "a.mps"});
  ::close(held);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(contains(o.out,
                       "*** WARNING: KAVRO print file ./kavro55Print is in use by another run; this run prints "
                       "to ./kavro55Print.2"))
      << o.out;
  EXPECT_TRUE(contains(w.read("kavro55Print.2"), "EXIT -- optimal solution found"));
  EXPECT_EQ(w.read("kavro55Print.2").find('\0'), std::string::npos);
  w.expectInputsUnchanged();
}

// 1. The files of a model's run follow the same rules: the model, the JSON and .sol files and
//    AMPL's name files are compared by identity (other spellings, symbolic and hard links) and a
//    clash is refused before anything is written, by kavro and by qarnhost.
TEST(Robustness, ModelRunsNeverOverwriteTheirOwnFiles) {
  Workspace w;
  w.inputCopy("m.nl", example("hs071.nl"));
  const std::string modelAndJson = "the problem file (unit 98) and the --solution file are the same file: m.nl";
  const struct {
    std::vector<std::string> args;
    std::string link;  // "symbolic" or "hard": m.sol is made a link to m.nl
    std::string message;
  } cases[] = {
      {{"--solution", "m.nl", "m.nl"}, "", modelAndJson},
      {{"--solution", "./m.nl", "m.nl"}, "", modelAndJson},
      {{"--print", "F", "--solution", "F", "m.nl"},
       "",
       "the print file (unit 9) and the --solution file are the same file: F"},
      {{"--solution", "m.col", "m.nl"}, "", "the --solution file and the column names file are the same file: m.col"},
      {{"m", "-AMPL"},
       "symbolic",
       "the problem file (unit 98) and the solution file of the AMPL run are the same file: m.nl"},
      {{"m", "-AMPL"},
       "hard",
       "the problem file (unit 98) and the solution file of the AMPL run are the same file: m.nl"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    fs::remove(w.path("m.sol"));
    if (c.link == "symbolic") fs::create_symlink("m.nl", w.path("m.sol"));
    if (c.link == "hard") fs::create_hard_link(w.path("m.nl"), w.path("m.sol"));
    const Outcome o = w.run(kKavro, c.args);
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(contains(o.err, "kavro: " + c.message)) << o.err;
    EXPECT_TRUE(contains(o.err, "kavro: refused: an output would be written over an input or another output"));
    EXPECT_FALSE(w.exists("F") || w.exists("m.col"));
    w.expectInputsUnchanged();
  }
  fs::remove(w.path("m.sol"));
  fs::create_symlink("m.nl", w.path("link.json"));
  for (const std::string json : {"m.nl", "link.json"}) {
    const Outcome host = w.run(kQarnhost, {"--solution", json, "m.nl"});
    EXPECT_EQ(host.status, 2) << json;
    EXPECT_TRUE(contains(host.err, "qarnhost: the model file and the --solution file are the same file: m.nl"))
        << host.err;
    w.expectInputsUnchanged();
  }
}

// 2. Every output that cannot be written is named with the system's reason (exit 3); nothing
//    claims a file was saved that was not.
TEST(Robustness, FailedWritesAreReportedWithExitStatus3) {
  Workspace w;
  w.inputCopy("a.mps", example("afiro.mps"));
  w.input("s.spc", specsBlock("New basis file 11\nPunch file 12"));
  fs::create_directory(w.path("folder"));
  struct {
    std::vector<std::string> args;
    std::string stdoutPath;
    std::string message;
  } cases[] = {
      {{"--print", "/dev/full"}, "", "kavro: cannot write /dev/full: No space left on device"},
      {{"--print", "missing/run.print"}, "", "kavro: cannot write missing/run.print: No such file or directory"},
      {{"--print", "folder"}, "", "kavro: cannot write folder: Is a directory"},
      {{"--summary", "/dev/full"}, "", "kavro: cannot write /dev/full: No space left on device"},
      {{}, "/dev/full", "kavro: cannot write standard output: No space left on device"},
      {{"--unit", "11=folder", "--print", "p"}, "", "kavro: cannot write folder: Is a directory"},
      {{"--unit", "12=missing/punch", "--print", "p"},
       "",
       "kavro: cannot write missing/punch: No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = {"--specs", "s.spc", "--unit", "11=new.bas", "--unit", "12=punch.txt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("a.mps");
    const Outcome o = w.run(kKavro, args, {}, c.stdoutPath);
    EXPECT_EQ(o.status, 3);
    EXPECT_TRUE(contains(o.err, c.message)) << o.err;
    w.expectInputsUnchanged();
  }
  // The print file says which save failed, and never that it succeeded.
  const std::string print = w.read("p");
  EXPECT_TRUE(contains(print, " XXX  PUNCH file not saved on file  12: missing/punch: No such file or directory"));
  EXPECT_FALSE(contains(print, "PUNCH file saved"));
  EXPECT_TRUE(contains(print, " NEW BASIS file saved on file  11"));

  const Outcome host = w.run(kQarnhost, {"--solution", "/dev/full", "a.mps"});
  EXPECT_EQ(host.status, 3);
  EXPECT_TRUE(contains(host.err, "qarnhost: cannot write /dev/full: No space left on device")) << host.err;
  w.expectInputsUnchanged();

  // A model's JSON and .sol files alike.
  w.inputCopy("m.nl", example("hs071.nl"));
  const Outcome json = w.run(kKavro, {"--solution", "/dev/full", "m.nl"});
  EXPECT_EQ(json.status, 3);
  EXPECT_TRUE(contains(json.err, "kavro: cannot write /dev/full: No space left on device")) << json.err;
  fs::create_symlink("/dev/full", w.path("m.sol"));
  const Outcome sol = w.run(kKavro, {"m", "-AMPL"});
  EXPECT_EQ(sol.status, 3);
  EXPECT_TRUE(contains(sol.err, "kavro: cannot write m.sol: No space left on device")) << sol.err;
  w.expectInputsUnchanged();
}

// 2. A save replaces the file whole: the basis file of an earlier run stays until the new one is
//    complete, and no temporary file is left behind.
TEST(Robustness, SavesReplaceFilesWhole) {
  Workspace w;
  w.inputCopy("a.mps", example("afiro.mps"));
  w.input("s.spc", specsBlock("New basis file 11\nSave frequency 1"));
  const Outcome first = w.run(kKavro, {"--specs", "s.spc", "--unit", "11=new.bas", "a.mps"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(contains(w.read("new.bas"), "OPTIMAL SOLN"));
  size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(w.path(""))) ++entries;
  EXPECT_EQ(entries, 5u);  // a.mps, s.spc, new.bas and the two captured streams
  w.expectInputsUnchanged();
}

// 3. A basis file read from the SPECS file's own unit would restart the SPECS file: refused.
TEST(Robustness, ASpecsFileCannotReadItselfAgain) {
  Workspace w;
  w.inputCopy("a.mps", example("afiro.mps"));
  for (const std::string option : {"Load file 4", "Insert file 4", "Old basis file 4"}) {
    SCOPED_TRACE(option);
    w.input("s.spc", specsBlock(option));
    const Outcome o = w.run(kKavro, {"--specs", "s.spc", "--print", "p", "a.mps"}, {}, "", 20);
    EXPECT_EQ(o.status, 2);
    const std::string role = option.substr(0, option.size() - 2);
    EXPECT_TRUE(
        contains(o.err, "kavro: the SPECS file (unit 4) and the " + role + " (unit 4) are the same file: s.spc"))
        << o.err;
    EXPECT_FALSE(contains(o.out, "EXIT --"));
    w.expectInputsUnchanged();
  }
}

}  // namespace
}  // namespace kavro::robustness
