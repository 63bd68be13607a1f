// Reading input units: lines of any length up to the limit and a clear error past it, compressed
// files, and inputs that cannot be read twice (pipes), which are copied once so that they can be
// rewound.

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "io/units.hpp"
#include "io_test_support.hpp"

namespace kavro {
namespace {

using testing::TempFolder;

std::vector<std::string> allLines(InputUnit& in) {
  std::vector<std::string> lines;
  for (std::string line; in.readLine(line);) lines.push_back(line);
  return lines;
}

std::string gzipped(const TempFolder& dir, const std::string& name, const std::string& contents) {
  const std::string path = dir.path(name);
  gzFile f = gzopen(path.c_str(), "wb");
  gzwrite(f, contents.data(), static_cast<unsigned>(contents.size()));
  gzclose(f);
  return path;
}

// Feeds `contents` into a pipe from another thread; the reader sees it as /dev/fd/N.
class PipeInput {
 public:
  explicit PipeInput(std::string contents) : contents_(std::move(contents)) {
    std::signal(SIGPIPE, SIG_IGN);  // a reader that stops early must not end the test
    if (::pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    writer_ = std::thread([this] {
      size_t at = 0;
      while (at < contents_.size()) {
        const ssize_t n = ::write(fds_[1], contents_.data() + at, contents_.size() - at);
        if (n <= 0) break;
        at += static_cast<size_t>(n);
      }
      ::close(fds_[1]);
    });
  }
  ~PipeInput() {
    writer_.join();
    ::close(fds_[0]);
  }
  std::string path() const { return "/dev/fd/" + std::to_string(fds_[0]); }

 private:
  std::string contents_;
  int fds_[2];
  std::thread writer_;
};

TEST(InputUnit, LinesUpToTheLimitAreReadWholeAndALongerOneEndsReadingWithItsNumber) {
  TempFolder dir;
  const std::string exact(100, 'a'), longer(101, 'b');
  InputUnit in(dir.write("f", "short\r\n" + exact + "\n" + longer + "\nafter\n"), 100);
  ASSERT_TRUE(in.isOpen());
  EXPECT_EQ(allLines(in), (std::vector<std::string>{"short", exact}));
  EXPECT_TRUE(in.hadReadError());
  EXPECT_EQ(in.readErrorText(), "line 3 is longer than 100 characters");
  // Rewinding starts over; the same line stops it again.
  in.rewind();
  EXPECT_FALSE(in.hadReadError());
  EXPECT_EQ(allLines(in).size(), 2u);
  EXPECT_TRUE(in.hadReadError());
}

TEST(InputUnit, LongLinesAcrossManyChunksAndALastLineWithoutLineEnd) {
  TempFolder dir;
  std::string big(700000, 'x');
  for (size_t k = 0; k < big.size(); k += 997) big[k] = static_cast<char>('a' + k % 26);
  InputUnit in(dir.write("f", big + "\n\n" + big + "\r\n" + "tail"));
  EXPECT_EQ(allLines(in), (std::vector<std::string>{big, "", big, "tail"}));
  EXPECT_FALSE(in.hadReadError());
  EXPECT_EQ(in.lineNumber(), 4);
}

// A small compressed file holding one endless line: reading stops at the limit instead of
// growing memory until the line ends.
TEST(InputUnit, CompressedEndlessLineStopsAtTheLimit) {
  TempFolder dir;
  const std::string path = gzipped(dir, "endless.gz", "NAME x\n" + std::string(8u << 20, ' '));
  InputUnit in(path);
  std::string line;
  EXPECT_TRUE(in.readLine(line));
  EXPECT_FALSE(in.readLine(line));
  EXPECT_TRUE(in.hadReadError());
  EXPECT_EQ(in.readErrorText(), "line 2 is longer than 1048576 characters");
}

TEST(InputUnit, DamagedCompressedFileIsAReadErrorNotAnEnd) {
  TempFolder dir;
  std::string body;
  for (int k = 0; k < 20000; ++k) body += "line " + std::to_string(k * 7919 % 10007) + "\n";
  const std::string whole = TempFolder::slurp(gzipped(dir, "whole.gz", body));
  InputUnit in(dir.write("cut.gz", whole.substr(0, whole.size() / 2)));
  const size_t read = allLines(in).size();
  EXPECT_GT(read, 0u);
  EXPECT_LT(read, 20000u);
  EXPECT_TRUE(in.hadReadError());
  EXPECT_FALSE(in.readErrorText().empty());
}

TEST(InputUnit, OpenFailuresSayWhy) {
  TempFolder dir;
  InputUnit missing(dir.path("no_such_file"));
  EXPECT_FALSE(missing.isOpen());
  EXPECT_EQ(missing.openError(), "No such file or directory");
  InputUnit folder(dir.path(""));
  EXPECT_FALSE(folder.isOpen());
  EXPECT_EQ(folder.openError(), "Is a directory");
  UnitTable units;
  units.connect(3, dir.path("no_such_file"));
  EXPECT_EQ(units.openInput(3), nullptr);
  EXPECT_EQ(units.inputError(3), "No such file or directory");
}

// A pipe is read once; rewind() then reads the same lines from the copy, plain or compressed.
TEST(InputUnit, PipeIsReadOnceAndCanBeRewound) {
  TempFolder dir;
  const std::string text = "NAME          P\nROWS\n N  COST\nENDATA\n";
  const std::string compressed = TempFolder::slurp(gzipped(dir, "p.gz", text));
  for (const std::string& contents : {text, compressed}) {
    PipeInput pipe(contents);
    InputUnit in(pipe.path());
    ASSERT_TRUE(in.isOpen()) << in.openError();
    const std::vector<std::string> first = allLines(in);
    EXPECT_EQ(first.size(), 4u);
    in.rewind();
    std::string line;
    ASSERT_TRUE(in.readLine(line));
    EXPECT_EQ(line, "NAME          P");
    in.rewind();
    EXPECT_EQ(allLines(in), first);
    EXPECT_FALSE(in.hadReadError());
  }
}

// The copy of a pipe stops at the first line that is too long; reading reports that line.
TEST(InputUnit, PipeWithAnEndlessLineStopsAtTheLimit) {
  PipeInput pipe("first\n" + std::string(5000, 'z') + "\nnever read\n");
  InputUnit in(pipe.path(), 1000);
  ASSERT_TRUE(in.isOpen());
  EXPECT_EQ(allLines(in), (std::vector<std::string>{"first"}));
  EXPECT_EQ(in.readErrorText(), "line 2 is longer than 1000 characters");
}

// What a pipe or device may bring is bounded: a NUL byte (no text file has one) refuses it at
// once, and more than the copy limit, compressed or not, refuses it with the limit named.
TEST(InputUnit, PipesThatBringTooMuchOrNoTextAreRefused) {
  PipeInput binary(std::string("NAME\n\x01\x02\0\x03", 9) + std::string(100000, 'x'));
  InputUnit noText(binary.path());
  EXPECT_FALSE(noText.isOpen());
  EXPECT_EQ(noText.openError(), "it holds a NUL byte (byte 8): it is not a text file");
  TempFolder dir;
  std::string lines;
  for (int k = 0; k < 20000; ++k) lines += "line " + std::to_string(k) + "\n";
  for (const std::string& contents : {lines, TempFolder::slurp(gzipped(dir, "lines.gz", lines))}) {
    PipeInput pipe(contents);
    InputUnit in(pipe.path(), InputUnit::kMaxLineLength, {}, static_cast<int64_t>(contents.size()) - 1);
    EXPECT_FALSE(in.isOpen());
    EXPECT_EQ(in.openError(), "it brought more than " + std::to_string(contents.size() - 1) +
                                  " bytes, the most a pipe or device may bring (a file given by its name is read "
                                  "without this limit)");
    PipeInput fits(contents);
    InputUnit whole(fits.path(), InputUnit::kMaxLineLength, {}, static_cast<int64_t>(contents.size()));
    EXPECT_TRUE(whole.isOpen()) << whole.openError();
    EXPECT_EQ(allLines(whole).size(), 20000u);
  }
}

// The stop check ends the copy of a pipe that is silent, and the reading of a file.
TEST(InputUnit, TheStopCheckEndsTheReading) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);  // a writer that never writes nor closes
  int asked = 0;
  InputUnit silent("/dev/fd/" + std::to_string(fds[0]), InputUnit::kMaxLineLength, [&asked] { return ++asked > 3; });
  EXPECT_FALSE(silent.isOpen());
  EXPECT_EQ(silent.openError(), "the reading was stopped");
  ::close(fds[0]);
  ::close(fds[1]);

  TempFolder dir;
  std::string big;
  for (int k = 0; k < 100000; ++k) big += "a line of the file\n";
  bool stop = false;
  InputUnit file(dir.write("f", big), InputUnit::kMaxLineLength, [&stop] { return stop; });
  std::string line;
  ASSERT_TRUE(file.readLine(line));
  stop = true;
  size_t more = 0;
  while (file.readLine(line)) ++more;
  EXPECT_LT(more, 100000u);
  EXPECT_TRUE(file.hadReadError());
  EXPECT_EQ(file.readErrorText(), "the reading was stopped");
}

TEST(InputUnit, UnitTableAppliesItsLineLimitToInputsItOpens) {
  TempFolder dir;
  UnitTable units;
  units.setMaxLineLength(10);
  units.connect(5, dir.write("f", "0123456789\n0123456789A\n"));
  InputUnit* in = units.openInput(5);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(allLines(*in).size(), 1u);
  EXPECT_EQ(in->readErrorText(), "line 2 is longer than 10 characters");
}

}  // namespace
}  // namespace kavro
