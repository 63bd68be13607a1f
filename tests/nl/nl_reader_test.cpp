// The .nl reader: every segment in both formats (the same model written as text and as binary
// must read the same), and every kind of bad input refused with a message naming the line or
// byte offset, never a crash: malformed and truncated data (every prefix of a file), wrong
// counts, indices out of range, unknown opcodes, deep nesting, huge declared sizes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "nl/nl_evaluator.hpp"
#include "nl_test_support.hpp"
#include "support/gzip_text.hpp"
#include "support/temp_path.hpp"

namespace kavro::nl {
namespace {

using testing::readError;
using testing::readValid;
using testing::TextModel;

const std::string kHeaderText =
    " 3 2 1 1 1\t# vars, constraints, objectives, ranges, eqns\n"
    " 1 1\n 0 0\n 3 3 3\n";
const std::string kHeaderRest = " 0 0 0 0 0\n 4 3\n 0 0\n 1 0 0 0 0\n";

// A model with every segment the optimizer uses, in the text format.
const std::string kText = "g3 1 1 0\t# problem small\n" + kHeaderText + " 0 0 0 1\n" + kHeaderRest +
                          "V3 1 0\n2 1.5\no2\nv0\nv1\n"
                          "C0\no41\nv3\n"
                          "C1\nn0\n"
                          "O0 1\no0\nv3\nn2.5\n"
                          "x2\n0 1\n1 2\n"
                          "d1\n1 -0.5\n"
                          "r\n0 -1 1\n4 3\n"
                          "b\n2 0\n1 10\n0 -5 5\n"
                          "k2\n1\n3\n"
                          "J0 3\n0 0\n1 0\n2 1.5\n"
                          "J1 1\n1 2\n"
                          "G0 3\n0 0\n1 0\n2 -1\n"
                          "S0 2 priority\n0 3\n2 1\n";

class Bytes {
 public:
  Bytes& text(const std::string& t) { return s_ += t, *this; }
  Bytes& letter(char c) { return s_ += c, *this; }
  Bytes& i32(int32_t v) { return raw(&v, 4); }
  Bytes& i16(int16_t v) { return raw(&v, 2); }
  Bytes& f64(double v) { return raw(&v, 8); }
  Bytes& name(const std::string& n) { return i32(static_cast<int32_t>(n.size())).text(n); }
  const std::string& str() const { return s_; }

 private:
  Bytes& raw(const void* p, size_t n) {  // this machine is little-endian, as the header says
    s_.append(static_cast<const char*>(p), n);
    return *this;
  }
  std::string s_;
};

// The same model in the binary format (arithmetic 1: little-endian IEEE numbers).
std::string binaryModel() {
  Bytes b;
  b.text("b3 1 1 0\t# problem small\n" + kHeaderText + " 0 0 1 1\n" + kHeaderRest);
  b.letter('V').i32(3).i32(1).i32(0).i32(2).f64(1.5).letter('o').i32(2).letter('v').i32(0).letter('v').i32(1);
  b.letter('C').i32(0).letter('o').i32(41).letter('v').i32(3);
  b.letter('C').i32(1).letter('s').i16(0);
  b.letter('O').i32(0).i32(1).letter('o').i32(0).letter('v').i32(3).letter('n').f64(2.5);
  b.letter('x').i32(2).i32(0).f64(1).i32(1).f64(2);
  b.letter('d').i32(1).i32(1).f64(-0.5);
  b.letter('r').letter('0').f64(-1).f64(1).letter('4').f64(3);
  b.letter('b').letter('2').f64(0).letter('1').f64(10).letter('0').f64(-5).f64(5);
  b.letter('k').i32(2).i32(1).i32(3);
  b.letter('J').i32(0).i32(3).i32(0).f64(0).i32(1).f64(0).i32(2).f64(1.5);
  b.letter('J').i32(1).i32(1).i32(1).f64(2);
  b.letter('G').i32(0).i32(3).i32(0).f64(0).i32(1).f64(0).i32(2).f64(-1);
  b.letter('S').i32(0).i32(2).name("priority").i32(0).i32(3).i32(2).i32(1);
  return b.str();
}

using kavro::testing::gzipped;

void expectSmallModel(const Model& m) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(m.nVars(), 3);
  EXPECT_EQ(m.nCons(), 2);
  EXPECT_EQ(m.nDefined(), 1);
  EXPECT_EQ(m.varLower, (std::vector<double>{0, -inf, -5}));
  EXPECT_EQ(m.varUpper, (std::vector<double>{inf, 10, 5}));
  EXPECT_EQ(m.x0, (std::vector<double>{1, 2, 0}));
  EXPECT_EQ(m.x0Given, (std::vector<uint8_t>{1, 1, 0}));
  EXPECT_EQ(m.conLower, (std::vector<double>{-1, 3}));
  EXPECT_EQ(m.conUpper, (std::vector<double>{1, 3}));
  EXPECT_EQ(m.dual0, (std::vector<double>{0, -0.5}));
  EXPECT_EQ(m.objSense, (std::vector<uint8_t>{1}));
  EXPECT_EQ(m.conLinear.start, (std::vector<int32_t>{0, 3, 4}));
  EXPECT_EQ(m.conLinear.terms[2].var, 2);
  EXPECT_EQ(m.conLinear.terms[2].coef, 1.5);
  EXPECT_EQ(m.objLinear.terms[2].coef, -1.0);
  EXPECT_EQ(m.jacColumnCount, (std::vector<int32_t>{1, 2, 1}));
  ASSERT_EQ(m.suffixes.count("priority"), 1u);
  EXPECT_EQ(m.suffixes.at("priority").index, (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(m.suffixes.at("priority").value, (std::vector<double>{3, 1}));
  // The variables the expressions depend on, through the defined variable and its linear term.
  EXPECT_EQ(std::vector<int32_t>(m.expressionVars.begin(m.conExpression(0)), m.expressionVars.end(m.conExpression(0))),
            (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(m.expressionVars.size(m.conExpression(1)), 0);
  // obj = x0 x1 + 1.5 x2 + 2.5 - x2, con0 = sin(x0 x1 + 1.5 x2) + 1.5 x2
  Evaluator ev(m);
  const std::vector<double> x{0.5, 3.0, -1.0};
  ev.setPoint(x.data());
  double f = 0.0;
  ASSERT_TRUE(ev.value(m.objExpression(0), f));
  EXPECT_DOUBLE_EQ(f, 1.5 - 1.5 + 2.5 + 1.0);
  ASSERT_TRUE(ev.value(m.conExpression(0), f));
  EXPECT_DOUBLE_EQ(f, std::sin(0.0) - 1.5);
}

TEST(NlReader, TextAndBinaryFilesOfTheSameModelReadAlike) {
  const Model text = readValid(kText);
  EXPECT_EQ(text.header.format, Format::kText);
  EXPECT_EQ(text.header.options, (std::vector<int32_t>{1, 1, 0}));
  expectSmallModel(text);
  const Model binary = readValid(binaryModel());
  EXPECT_EQ(binary.header.format, Format::kBinary);
  expectSmallModel(binary);
  EXPECT_EQ(binary.opcodeCounts, text.opcodeCounts);
  EXPECT_EQ(text.opcodeCounts[41], 1);
}

TEST(NlReader, GzipFilesReadAsThePlainOnesAndDamageIsReported) {
  const ReadResult plain = readNlFile(KAVRO_TEST_DATA_DIR "/nl/hs071.nl");
  const ReadResult packed = readNlFile(KAVRO_TEST_DATA_DIR "/nl/hs071-copy.nl.gz");
  ASSERT_TRUE(plain.ok && packed.ok) << plain.error << packed.error;
  EXPECT_EQ(packed.model.name, "hs071-copy");
  EXPECT_EQ(plain.model.x0, packed.model.x0);
  EXPECT_EQ(plain.model.tape.nodes.size(), packed.model.tape.nodes.size());

  std::FILE* in = std::fopen(KAVRO_TEST_DATA_DIR "/nl/hs071-copy.nl.gz", "rb");
  ASSERT_NE(in, nullptr);
  std::string bytes(4096, '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
  std::fclose(in);
  const std::string cut = kavro::testing::uniqueTempPath("cut", ".nl.gz");
  std::FILE* out = std::fopen(cut.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size() / 2, out);
  std::fclose(out);
  const ReadResult damaged = readNlFile(cut);
  EXPECT_FALSE(damaged.ok);
  EXPECT_NE(damaged.error.find(cut), std::string::npos) << damaged.error;
  std::remove(cut.c_str());
  EXPECT_NE(readNlFile("/no/such/model.nl").error.find("cannot open /no/such/model.nl"), std::string::npos);
}

// Every proper prefix of a file is refused cleanly (the sanitizers watch for reads past the end),
// except a cut just before the optional suffix segment or the last line end, which leaves a
// complete file.
TEST(NlReader, EveryTruncationOfAFileIsRefused) {
  for (const std::string& whole : {kText, binaryModel()}) {
    for (size_t n = 0; n < whole.size(); ++n) {
      if (!readError(whole.substr(0, n)).empty()) continue;
      const std::string rest = whole.substr(n);
      const size_t k = whole[0] == 'g' ? rest.find_first_not_of(" \t\r\n") : 0;
      EXPECT_TRUE(k == std::string::npos || rest.compare(k, 1, "S") == 0)
          << "a prefix of " << n << " bytes was accepted";
    }
  }
}

struct BadInput {
  const char* what;
  std::string text;
  const char* message;
};

std::string replaced(std::string s, const std::string& from, const std::string& to) {
  const size_t at = s.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}

TEST(NlReader, BadTextIsRefusedNamingTheLine) {
  const std::vector<BadInput> cases = {
      {"not nl", "hello\n", "line 1: not a .nl file"},
      {"short header", "g3 1 1 0\n 3 2 1 1 1\n 1 1\n", "line 4: the file ends inside the header"},
      {"bad count", replaced(kText, " 1 1\n 0 0\n", " 1 x\n 0 0\n"), "line 3: 'x' is not a count"},
      {"negative count", replaced(kText, " 4 3\n", " -4 3\n"), "line 8: '-4' is not a count"},
      {"huge size", replaced(kText, " 3 2 1 1 1", " 2000000000 2 1 1 1"),
       "declares 2000000000 variables but the file has only"},
      {"huge nonzeros", replaced(kText, " 4 3\n", " 4 1999999999\n"), "1999999999 gradient nonzeros"},
      {"nonlinear counts", replaced(kText, " 1 1\n 0 0\n", " 3 1\n 0 0\n"), "nonlinear counts do not fit"},
      {"unknown opcode", replaced(kText, "C0\no41", "C0\no99"), "line 17: unknown or unsupported opcode 99"},
      {"string opcode", replaced(kText, "C0\no41", "C0\no65"), "unsupported opcode 65"},
      {"variable index", replaced(kText, "C0\no41\nv3", "C0\no41\nv4"), "line 18: variable index 4 is out of range"},
      {"constraint number", replaced(kText, "C1\nn0", "C2\nn0"), "line 19: constraint 2 is out of range"},
      {"missing constraint", replaced(kText, "C1\nn0\n", ""), "constraint 1 has no C segment"},
      {"twice", replaced(kText, "C1\nn0\n", "C0\nn0\n"), "constraint 0 is defined twice"},
      {"bad number", replaced(kText, "n2.5", "n2.5.1"), "line 24: expected a number (a constant), found '2.5.1'"},
      {"bad bound type", replaced(kText, "4 3\nb", "7 3\nb"), "line 32: unknown bound type '7'"},
      {"objective sense", replaced(kText, "O0 1", "O0 2"), "objective sense 2 is neither 0 nor 1"},
      {"column count", replaced(kText, "k2\n1\n3\n", "k2\n2\n3\n"),
       "k segment: column 0 has 1 Jacobian entries, not 2"},
      {"header J count", replaced(replaced(kText, "J1 1\n1 2\n", ""), "k2\n1\n3\n", ""),
       "the J segments hold 3 entries but the header declares 4"},
      {"k not cumulative", replaced(kText, "k2\n1\n3\n", "k2\n3\n1\n"), "counts are not cumulative"},
      {"k count", replaced(kText, "k2\n1\n3\n", "k1\n1\n"), "k segment: 1 counts for 3 variables"},
      {"pattern", replaced(kText, "J0 3\n0 0\n1 0\n2 1.5\n", "J0 3\n0 0\n1 0\n0 1.5\n"), "lists variable 0 twice"},
      {"missing from J", replaced(kText, "C1\nn0", "C1\nv0"),
       "constraint 1: variable 0 occurs in its expression but not in its J segment"},
      {"imported function", replaced(kText, "V3 1 0", "F0 1 -1 myerf\nV3 1 0"),
       "line 11: the model uses the imported function 'myerf', which is not supported"},
      {"function call", replaced(kText, "C0\no41\nv3", "C0\nf0 1\nv3"), "imported function"},
      {"logical constraint", replaced(kText, " 3 2 1 1 1", " 3 2 1 1 1 1"), "logical constraints"},
      {"L segment", replaced(kText, "C1\nn0\n", "C1\nn0\nL0\nn1\n"), "logical constraints (L segments)"},
      {"unknown segment", replaced(kText, "C1\nn0\n", "C1\nn0\nZ\n"), "line 21: unknown segment 'Z'"},
      {"defined cycle", replaced(kText, "o2\nv0\nv1\n", "o2\nv0\nv3\n"), "defined variable 3 depends on itself"},
      {"no bounds", replaced(kText, "b\n2 0\n1 10\n0 -5 5\n", ""), "no variable bounds (b segment)"},
      {"negative list", replaced(kText, "C1\nn0", "C1\no54\n-2\n"), "negative operand count -2"},
      {"string operand", replaced(kText, "C1\nn0", "C1\nh3:abc"), "a string operand"},
      {"x index", replaced(kText, "x2\n0 1\n1 2\n", "x2\n0 1\n3 2\n"), "index 3 is out of range"},
      {"x count", replaced(kText, "x2\n", "x9\n"), "x segment: count 9 is out of range"},
      {"x not finite", replaced(kText, "x2\n0 1\n", "x2\n0 nan\n"),
       "line 26: x segment: a value is not a finite number"},
      {"coefficient not finite", replaced(kText, "2 1.5\nJ1", "2 inf\nJ1"), "a coefficient is not a finite number"},
      {"bound not a number", replaced(kText, "4 3\nb", "4 nan\nb"), "line 32: a bound is not a number"},
      // Bounds no value satisfies, numbers that are not finite, numbers without end.
      {"crossed variable bounds", replaced(kText, "0 -5 5\n", "0 5 1\n"),
       "line 36: variable 2: the bounds [5, 1] admit no value"},
      {"crossed range", replaced(kText, "r\n0 -1 1\n", "r\n0 30 20\n"),
       "line 31: constraint 0: the bounds [30, 20] admit no value"},
      {"infinite lower bound", replaced(kText, "b\n2 0\n", "b\n2 inf\n"),
       "variable 0: the bounds [inf, inf] admit no value"},
      {"nan constant", replaced(kText, "n2.5", "nnan"), "line 24: a constant is not a finite number"},
      {"inf constant", replaced(kText, "n2.5", "ninf"), "line 24: a constant is not a finite number"},
      {"overflowing constant", replaced(kText, "n2.5", "n1e400"), "line 24: a constant is not a finite number"},
      {"endless number", replaced(kText, "n2.5", "n" + std::string(3000000, '7')),
       "line 24: a number or name longer than 4096 characters"},
      {"second k segment", replaced(kText, "J0 3", "k2\n1\n3\nJ0 3"), "a second k segment"},
      {"undefined imported function", replaced(kText, " 0 0 0 1\n", " 0 1 0 1\n"),
       "the header declares imported functions (1), but the file defines none"},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string error = readError(c.text);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(error.rfind("test: ", 0), 0u) << error;
  }
}

TEST(NlReader, BadBinaryIsRefusedNamingTheOffset) {
  const std::string good = binaryModel();
  const size_t c0 = good.find("C\0\0\0\0o", 0, 6);
  ASSERT_NE(c0, std::string::npos);
  std::string badOpcode = good;
  badOpcode[c0 + 6] = 99;  // o41 becomes o99
  EXPECT_NE(readError(badOpcode).find("offset " + std::to_string(c0 + 10) + ": unknown or unsupported opcode 99"),
            std::string::npos)
      << readError(badOpcode);
  std::string badLetter = good;
  badLetter[c0 + 5] = 'q';
  EXPECT_NE(readError(badLetter).find("unexpected 'q' in an expression"), std::string::npos);
  std::string bigIndex = good;
  bigIndex[c0 + 1] = 7;  // C7
  EXPECT_NE(readError(bigIndex).find("constraint 7 is out of range"), std::string::npos);
  std::string arith = replaced(good, " 0 0 1 1\n", " 0 0 7 1\n");
  EXPECT_NE(readError(arith).find("unknown arithmetic 7"), std::string::npos);
  // The other byte order: every number must be swapped, so the model no longer reads right.
  EXPECT_FALSE(readError(replaced(good, " 0 0 1 1\n", " 0 0 2 1\n")).empty());
}

TEST(NlReader, DeepNestingCostsNoStack) {
  constexpr int kDepth = 1000000;
  std::string expression;
  expression.reserve(4 * kDepth + 8);
  for (int k = 0; k < kDepth; ++k) expression += "o16\n";
  expression += "v0\n";
  TextModel tm;
  tm.objectives = {expression};
  tm.objectives.push_back("o0\n" + expression + expression);  // both operands deep
  const Model m = readValid(tm.text());
  Evaluator ev(m);
  const double x = 1.25;
  ev.setPoint(&x);
  double f = 0.0, nl = 0.0, g = 0.0;
  ASSERT_TRUE(ev.gradient(m.objExpression(0), nl, &g));
  EXPECT_EQ(nl, x);  // an even number of negations
  EXPECT_EQ(g, 1.0);
  ASSERT_TRUE(ev.value(m.objExpression(1), f));
  EXPECT_EQ(f, 2 * x);
}

// A chain of defined variables, each the one before plus a new variable: the variables each one
// depends on grow with the chain, and past a limit the model is refused instead of filling memory.
TEST(NlReader, EntangledDefinedVariablesAreRefusedAtALimit) {
  auto chain = [](int n) {
    std::string t = "g3 1 1 0\n " + std::to_string(n) + " 0 1 0 0\n 0 1\n 0 0\n 0 " + std::to_string(n) +
                    " 0\n"
                    " 0 0 0 1\n 0 0 0 0 0\n 0 " +
                    std::to_string(n) + "\n 0 0\n " + std::to_string(n) + " 0 0 0 0\n";
    for (int k = 0; k < n; ++k)
      t += "V" + std::to_string(n + k) + " 1 0\n" + std::to_string(k) + " 1\n" +
           (k == 0 ? "n0" : "v" + std::to_string(n + k - 1)) + "\n";
    t += "O0 0\nv" + std::to_string(2 * n - 1) + "\nb\n";
    for (int k = 0; k < n; ++k) t += "3\n";
    t += "G0 " + std::to_string(n) + "\n";
    for (int k = 0; k < n; ++k) t += std::to_string(k) + " 0\n";
    return t;
  };
  const Model m = readValid(chain(300));
  EXPECT_EQ(m.expressionVars.size(m.objExpression(0)), 300);
  Evaluator ev(m);
  const std::vector<double> x(300, 1.0);
  ev.setPoint(x.data());
  double f = 0.0;
  ASSERT_TRUE(ev.value(m.objExpression(0), f));
  EXPECT_EQ(f, 300.0);
  EXPECT_NE(readError(chain(12000)).find("the defined variables depend on too many variables"), std::string::npos);
}

TEST(NlReader, IntegerAndComplementarityModelsAreReadForTheCallerToRefuse) {
  std::string t = replaced(kText, " 0 0 0 0 0\n 4 3", " 1 1 0 0 0\n 4 3");
  t = replaced(t, "r\n0 -1 1\n", "r\n5 1 3\n");
  const Model m = readValid(t);
  EXPECT_EQ(m.header.nDiscreteVars(), 2);
  EXPECT_EQ(m.conType[0], BoundType::kComplement);
  EXPECT_EQ(m.complementVar[0], 2);
}

// The reader takes the data a chunk at a time: numbers, names and binary values that straddle two
// chunks read as they do whole, plain or compressed, text or binary (the header's comment shifts
// the body across the chunk boundary a byte at a time).
TEST(NlReader, ModelsReadAlikeWhereverTheChunksEnd) {
  constexpr size_t kChunk = 65536;
  for (const std::string& whole : {kText, binaryModel()}) {
    size_t body = 0;  // after the header's ten lines
    for (int line = 0; line < 10; ++line) body = whole.find('\n', body) + 1;
    const size_t comment = whole.find('#');
    for (size_t shift = 0; shift < 48; ++shift) {
      const size_t padding = kChunk - body - 24 + shift;
      std::string text = whole;
      text.insert(comment + 1, std::string(padding, '.'));
      const Model m = readValid(gzipped(text));
      SCOPED_TRACE(shift);
      expectSmallModel(m);
    }
  }
}

// A compressed file can hold no more than deflate's largest expansion of its size: counts beyond
// that are refused before anything is read, and damage is reported with zlib's reason.
TEST(NlReader, CompressedDataAreBoundedAndCheckedAsTheyAreRead) {
  const std::string huge = gzipped(replaced(kText, " 3 2 1 1 1", " 200000000 2 1 1 1"));
  EXPECT_NE(readError(huge).find("declares 200000000 variables but the compressed file of"), std::string::npos)
      << readError(huge);
  std::string damaged = gzipped(kText);
  damaged[damaged.size() - 6] ^= 0x55;  // the CRC of the data
  EXPECT_EQ(readError(damaged), "test: the compressed data are damaged (incorrect data check)");
  const std::string cut = gzipped(kText);
  EXPECT_EQ(readError(cut.substr(0, cut.size() - 12)),
            "test: the compressed data end too soon (the file is cut short)");
}

TEST(NlReader, OlderHeadersAndRepeatedBoundSegmentsAreAccepted) {
  // Four numbers on the second line, two on the fifth (as older writers have them).
  std::string t = replaced(kText, " 3 2 1 1 1\t#", " 3 2 1 1\t#");
  t = replaced(t, " 3 3 3\n", " 3 3\n");
  Model m = readValid(t);
  EXPECT_EQ(m.header.nNonlinVarsBoth, 3);
  // A second b segment replaces the first, with a warning.
  const ReadResult r = readNlData(replaced(kText, "k2\n", "b\n3\n3\n4 7\nk2\n"), "test");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.model.varLower[2], 7.0);
  EXPECT_EQ(r.model.varUpper[0], std::numeric_limits<double>::infinity());
  EXPECT_EQ(r.model.varLower[0], -std::numeric_limits<double>::infinity());
  EXPECT_EQ(r.warnings,
            (std::vector<std::string>{"line 37: a second b segment replaces the variable bounds of the first"}));
}

}  // namespace
}  // namespace kavro::nl
