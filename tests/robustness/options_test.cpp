// 6. SPECS values and command options that used to be misread without a word.

#include "command_runner.hpp"

namespace kavro::robustness {
namespace {

// A value that is not a number in range for its keyword is refused with a message and counted;
// the run goes on with the default and still finds afiro's true optimum (never 0 at iteration 0,
// never a false "optimal" or "unbounded").
TEST(Robustness, SpecsValuesAreNeverMisread) {
  Workspace w;
  w.inputCopy("a.mps", example("afiro.mps"));
  const struct {
    std::string option, message;
  } cases[] = {
      {"Iterations limit abc", " XXX  Value missing or not a number:  ABC"},
      {"Iterations limit 2147483648",
       " XXX  Value out of range:             2147483648  (an integer below 100000000 in magnitude)"},
      {"Iterations limit 1e300", " XXX  Value out of range:             1E300  (an integer below 100000000 in magnitude)"},
      {"Iterations limit 99999999999999999999",
       " XXX  Value out of range:             9999999999999999  (an integer below 100000000 in magnitude)"},
      {"Optimality tolerance 1e300", " XXX  Value out of range:             1E300  (below 1)"},
      {"Feasibility tolerance 1e300", " XXX  Value out of range:             1E300  (below 1)"},
      {"Pivot tolerance 1", " XXX  Value out of range:             1  (below 1)"},
      {"Scale option 99", " XXX  Value out of range:             99  (2 at most)"},
      {"Crash option 99", " XXX  Value out of range:             99  (0 to 3)"},
      {"New basis file 100", " XXX  Value out of range:             100  (a file number from 0 to 99)"},
      {"New basis file 2147483647",
       " XXX  Value out of range:             2147483647  (an integer below 100000000 in magnitude)"},
      {"Rparm 99999999999 5", " XXX  The parm subscript is out of range: 99999999999"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    w.input("s.spc", specsBlock(c.option));
    const Outcome o = w.run(kKavro, {"--specs", "s.spc", "a.mps"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(contains(o.out, c.message)) << o.out;
    EXPECT_TRUE(contains(o.out, kAfiroOptimum)) << o.out;
    EXPECT_FALSE(w.exists("fort.100") || w.exists("fort.0"));
    w.expectInputsUnchanged();
  }
}

// The command's own units cannot be taken by --unit, and a SPECS file that ends the run before
// any block solved nothing: both are input errors.
TEST(Robustness, CommandOptionsAreNeverIgnored) {
  Workspace w;
  w.inputCopy("a.mps", example("afiro.mps"));
  for (const std::string unit : {"4", "6", "9", "98"}) {
    const Outcome o = w.run(kKavro, {"--unit", unit + "=x", "a.mps"});
    EXPECT_EQ(o.status, 2) << unit;
    EXPECT_TRUE(contains(o.err, "kavro: --unit " + unit + " is the command's own unit: use ")) << o.err;
    EXPECT_FALSE(w.exists("x"));
  }
  w.input("endrun.spc", "ENDRUN\nBEGIN\nEND\n");
  const Outcome endrun = w.run(kKavro, {"--specs", "endrun.spc", "a.mps"});
  EXPECT_EQ(endrun.status, 2);
  EXPECT_TRUE(contains(endrun.err, "kavro: endrun.spc: ENDRUN before any Begin ... End block: nothing was solved"));
  w.expectInputsUnchanged();
}

}  // namespace
}  // namespace kavro::robustness
