// Inputs that used to be misread or not read: model files that would take unbounded memory (3),
// endless lines and random bytes (4), impossible model data (6, 9), MPS content that changes the
// problem (7), pipes (8), and what the messages show of names (9).

#include "command_runner.hpp"
#include "support/gzip_text.hpp"

namespace kavro::robustness {
namespace {

using kavro::testing::gzipped;

// `text` with `extra` put before the line that starts with `before`.
std::string insertBefore(std::string text, const std::string& before, const std::string& extra) {
  const size_t at = text.find("\n" + before) + 1;
  return text.insert(at, extra);
}

std::string afiroWith(const std::string& before, const std::string& extra) {
  return insertBefore(slurp(example("afiro.mps")), before, extra);
}

// 4. A line of any length costs time in proportion to it, and one past 1 MiB ends the reading
//    with a message that names it, plain or compressed, in the MPS and the SPECS file.
TEST(Robustness, EndlessLinesEndTheReadingWithAMessage) {
  Workspace w;
  w.input("long.mps", "NAME          LONG\n* " + std::string(3u << 20, 'x') + "\nROWS\n");
  w.input("bomb.mps.gz", gzipped("NAME          BOMB\n" + std::string(64u << 20, ' ')));
  w.inputCopy("a.mps", example("afiro.mps"));
  w.input("long.spc", "BEGIN\nIterations limit 50\n* " + std::string(2u << 20, '-') + "\nEND\n");
  for (const std::string file : {"long.mps", "bomb.mps.gz"}) {
    const Outcome o = w.run(kKavro, {file}, {}, "", 30);
    EXPECT_EQ(o.status, 2) << file;
    EXPECT_TRUE(contains(o.out,
                         " XXXX  Read error in the MPS file after line      1: line 2 is longer than 1048576 "
                         "characters"))
        << file << o.out;
    EXPECT_TRUE(contains(o.out, " EXIT -- fatal errors in the MPS file"));
  }
  const Outcome specs = w.run(kKavro, {"--specs", "long.spc", "a.mps"});
  EXPECT_EQ(specs.status, 2);
  EXPECT_TRUE(contains(specs.out,
                       " XXX  The SPECS file on unit   4 cannot be read further: line 3 is longer than "
                       "1048576 characters"))
      << specs.out;
  EXPECT_TRUE(contains(specs.err, "the file ends inside a Begin ... End block"));
  w.expectInputsUnchanged();
}

// 7. What the file says about the problem is never dropped without a word: integer columns are
//    refused unless the relaxation is asked for (and then it says so); unused RHS, RANGES and
//    BOUNDS sets, ranges on the objective row and second RHS entries are warned about.
TEST(Robustness, MpsContentIsNeverDroppedSilently) {
  Workspace w;
  w.input("int.mps", insertBefore(afiroWith("    X01", "    MARKER    'MARKER'                 'INTORG'\n"), "    X02",
                                  "    MARKER    'MARKER'                 'INTEND'\n"));
  w.input("bv.mps", afiroWith("ENDATA", "BOUNDS\n BV BND       X01\n"));
  w.input("rhs2.mps", afiroWith("    B         X50", "    A         X50                 1.\n"));
  w.input("objrange.mps", afiroWith("ENDATA", "RANGES\n    RNG       COST               5.\n"));
  w.input("duprhs.mps", afiroWith("ENDATA", "    B         X50               320.\n"));
  for (const std::string file : {"int.mps", "bv.mps"}) {
    const Outcome refused = w.run(kKavro, {file});
    EXPECT_EQ(refused.status, 2) << file;
    EXPECT_TRUE(
        contains(refused.out, " XXXX  This file describes an integer program; KAVRO solves continuous problems"));
    EXPECT_TRUE(contains(refused.err, "--relax-integers solves its continuous relaxation"));
    const Outcome relaxed = w.run(kKavro, {"--relax-integers", file});
    EXPECT_EQ(relaxed.status, 0) << file;
    EXPECT_TRUE(contains(relaxed.out,
                         " ===>  Note:  1 integer columns are taken as continuous: the problem solved is "
                         "the continuous relaxation"));
  }
  const Outcome host = w.run(kQarnhost, {"int.mps"});
  EXPECT_EQ(host.status, 2);
  EXPECT_TRUE(contains(host.err, "qarnhost:  XXXX  This file describes an integer program")) << host.err;

  const struct {
    std::string file, warning;
  } warned[] = {
      {"rhs2.mps", " ===>  Warning - RHS set B        ignored at line     80: the set used is A       "},
      {"objrange.mps", " ===>  Warning - RANGES entry for free row COST     ignored at line     84"},
      {"duprhs.mps", " ===>  Warning - second RHS entry for row X50      at line     83: the last value is used"},
  };
  for (const auto& c : warned) {
    const Outcome o = w.run(kKavro, {c.file});
    EXPECT_TRUE(contains(o.out, c.warning)) << c.file << "\n" << o.out;
    EXPECT_LE(o.status, 1);
  }
  w.expectInputsUnchanged();
}

// 8. A problem or SPECS file that cannot be read twice (a pipe) is read once; a problem pipe
//    serves every SPECS block.
TEST(Robustness, PipedInputIsReadOnce) {
  Workspace w;
  const std::string afiro = slurp(example("afiro.mps"));
  w.inputCopy("a.mps", example("afiro.mps"));
  w.inputCopy("s.spc", example("afiro.spc"));
  const struct {
    std::string contents;
    std::vector<std::string> args;
    size_t optimalRuns;
  } cases[] = {
      {afiro, {"pipe"}, 1},
      {gzipped(afiro), {"pipe"}, 1},
      {slurp(example("afiro.spc")), {"--specs", "pipe", "a.mps"}, 2},
      {afiro, {"--specs", "s.spc", "pipe"}, 2},
  };
  for (const auto& c : cases) {
    ::unlink(w.path("pipe").c_str());
    ASSERT_EQ(::mkfifo(w.path("pipe").c_str(), 0600), 0);
    std::thread writer;
    const Outcome o = w.run(kKavro, c.args, [&](pid_t) {
      writer = std::thread([&] { std::ofstream(w.path("pipe"), std::ios::binary) << c.contents; });
    });
    writer.join();
    EXPECT_EQ(o.status, 0) << o.err;
    size_t optimal = 0;
    for (size_t at = o.out.find(kAfiroOptimum); at != std::string::npos; at = o.out.find(kAfiroOptimum, at + 1))
      ++optimal;
    EXPECT_EQ(optimal, c.optimalRuns) << o.out;
    EXPECT_FALSE(contains(o.out, "XXXX")) << o.out;
  }
  w.expectInputsUnchanged();
}

// A .nl header for `vars` free variables, no constraints and one objective without variables.
std::string nlHeader(long vars) {
  return "g3 1 1 0\n " + std::to_string(vars) +
         " 0 1 0 0\n 0 0\n 0 0\n 0 0 0\n 0 0 0 1\n 0 0 0 0 0\n 0 0\n 0 0\n 0 0 0 0 0\n";
}

std::string repeated(const std::string& text, size_t times) {
  std::string s;
  s.reserve(text.size() * times);
  for (size_t k = 0; k < times; ++k) s += text;
  return s;
}

// 3. A model file takes memory in proportion to what it holds, whatever its header declares, and
//    a model too large for the memory ends with a message (exit 2), never an abort. Under an
//    address-space limit: a small compressed file that declares 10^7 variables it does not hold,
//    a compressed file that expands to 160 MiB of blanks, and a true model of 4 x 10^6 variables.
TEST(Robustness, ModelFilesTakeMemoryInProportionToWhatTheyHold) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than any limit allows";
#endif
  Workspace w;
  w.input("declared.nl.gz", gzipped(nlHeader(10000000) + std::string(20000000, ' ')));
  w.input("bomb.nl.gz", gzipped(nlHeader(1) + std::string(160u << 20, ' ')));
  w.input("big.nl.gz", gzipped(nlHeader(4000000) + "O0 0\nn0\nb\n" + repeated("3\n", 4000000)));
  w.limitMemory(rlim_t{128} << 20);
  for (const std::string file : {"declared.nl.gz", "bomb.nl.gz"}) {
    const Outcome o = w.run(kKavro, {file});
    EXPECT_EQ(o.status, 2) << file << o.err;
    EXPECT_TRUE(contains(o.err, "kavro: " + file + ": line 11: the file has no variable bounds (b segment)")) << o.err;
  }
  w.limitMemory(rlim_t{192} << 20);
  const std::string tooBig = "not enough memory for a model of 4000000 variables and 0 constraints";
  const Outcome kavro = w.run(kKavro, {"big.nl.gz"});
  EXPECT_EQ(kavro.status, 2) << kavro.err;
  EXPECT_TRUE(contains(kavro.err, "kavro: big.nl.gz: " + tooBig)) << kavro.err;
  const Outcome host = w.run(kQarnhost, {"big.nl.gz"});
  EXPECT_EQ(host.status, 2) << host.err;
  EXPECT_TRUE(contains(host.err, "qarnhost: big.nl.gz: " + tooBig)) << host.err;
  w.expectInputsUnchanged();
}

// 4. What a pipe or device may bring is bounded: /dev/urandom is no text and is refused at once
//    instead of being copied to the disk without end.
TEST(Robustness, RandomBytesAreRefusedAtOnce) {
  Workspace w;
  const Outcome o = w.run(kKavro, {"/dev/urandom"}, {}, "", 20);
  EXPECT_EQ(o.status, 2);
  EXPECT_TRUE(contains(o.err, "kavro: cannot read the MPS file /dev/urandom: it holds a NUL byte (byte ")) << o.err;
  EXPECT_TRUE(contains(o.err, "): it is not a text file"));
}

// 6, 9. What a model file says is never taken with a doubt: bounds no value satisfies, numbers
//    that are not finite or have no end, a second k segment and imported functions the header
//    promises are refused with the line; damaged compressed data with zlib's reason once; a second
//    b segment replaces the first with a warning.
TEST(Robustness, ModelFilesWithImpossibleDataAreRefusedWithTheLine) {
  Workspace w;
  const std::string hs071 = slurp(example("hs071.nl"));
  auto changed = [&hs071](const std::string& from, const std::string& to) {
    std::string text = hs071;
    return text.replace(text.find(from), from.size(), to);
  };
  const struct {
    std::string file, contents, message;
  } cases[] = {
      {"crossed.nl", changed("b\n0 1 5", "b\n0 5 1"),
       "crossed.nl: line 12: variable 0: the bounds [5, 1] admit no value"},
      {"range.nl", changed("2 25\n", "0 30 20\n"),
       "range.nl: line 22: constraint 0: the bounds [30, 20] admit no value"},
      {"nan.nl", changed("v0\nn2", "v0\nnnan"), "nan.nl: line 37: a constant is not a finite number"},
      {"inf.nl", changed("v0\nn2", "v0\nninf"), "inf.nl: line 37: a constant is not a finite number"},
      {"huge.nl", changed("v0\nn2", "v0\nn1e400"), "huge.nl: line 37: a constant is not a finite number"},
      {"endless.nl", changed("v0\nn2", "v0\nn1" + std::string(3000000, '0')),
       "endless.nl: line 37: a number or name longer than 4096 characters"},
      {"k.nl", changed("J0 4", "k3\n2\n4\n6\nJ0 4"), "k.nl: line 61: a second k segment"},
      {"function.nl", changed(" 0 0 0 1\t#", " 0 1 0 1\t#"),
       "function.nl: line 76: the header declares imported functions (1), but the file defines none"},
      {"crc.nl.gz", gzipped(hs071), "crc.nl.gz: the compressed data are damaged (incorrect data check)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::string contents = c.contents;
    if (c.file == "crc.nl.gz") contents[contents.size() - 6] ^= 0x55;
    w.input(c.file, contents);
    const Outcome o = w.run(kKavro, {c.file});
    EXPECT_EQ(o.status, 2) << o.out;
    EXPECT_TRUE(contains(o.err, "kavro: " + c.message)) << o.err;
    EXPECT_FALSE(contains(o.err, "cannot read the file: cannot read"));
  }
  const Outcome host = w.run(kQarnhost, {"crossed.nl"});
  EXPECT_EQ(host.status, 2);
  EXPECT_TRUE(contains(host.err, "qarnhost: crossed.nl: line 12: variable 0: the bounds [5, 1] admit no value"))
      << host.err;

  w.input("twice.nl", changed("x4\n", "b\n0 1 5\n0 1 5\n0 1 5\n0 1 4\nx4\n"));
  const Outcome twice = w.run(kKavro, {"twice.nl"});
  EXPECT_EQ(twice.status, 0) << twice.err;
  EXPECT_TRUE(contains(twice.err,
                       "kavro: warning: twice.nl: line 16: a second b segment replaces the variable bounds "
                       "of the first"))
      << twice.err;
  w.expectInputsUnchanged();
}

// 9. Names with control bytes are shown with "?" in every message, and qarnhost prints each MPS
//    error with its line.
TEST(Robustness, MessagesShowNamesSafelyAndEveryErrorLine) {
  Workspace w;
  w.input("bad.mps", afiroWith("ENDATA", "    B         X\x1b[2J\x07     1.   X\x1b]0;t\x07    2.\n"));
  const Outcome o = w.run(kKavro, {"bad.mps"});
  EXPECT_EQ(o.status, 2);
  EXPECT_TRUE(contains(o.out, " XXXX  Non-existent row    specified --X?[2J?  -- entry ignored in line     83"))
      << o.out;
  EXPECT_EQ(o.out.find('\x1b'), std::string::npos);
  const Outcome host = w.run(kQarnhost, {"bad.mps"});
  EXPECT_EQ(host.status, 2);
  EXPECT_TRUE(
      contains(host.err, "qarnhost:  XXXX  Non-existent row    specified --X?[2J?  -- entry ignored in line     83"))
      << host.err;
  EXPECT_TRUE(
      contains(host.err, "qarnhost:  XXXX  Non-existent row    specified --X?]0;t? -- entry ignored in line     83"));
  EXPECT_TRUE(contains(host.err, "qarnhost: bad.mps: 2 error(s) in the MPS file"));
  EXPECT_EQ(host.err.find('\x1b'), std::string::npos);
  EXPECT_EQ(host.out.find('\x1b'), std::string::npos);
  w.expectInputsUnchanged();
}

}  // namespace
}  // namespace kavro::robustness
