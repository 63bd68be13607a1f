// 6. SPECS values and command options that used to be misread without a word; 7. the options of
//    a model's run.

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
      {"Iterations limit 1e300",
       " XXX  Value out of range:             1E300  (an integer below 100000000 in magnitude)"},
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

// Under the AMPL protocol: the environment variable kavro_options.
Outcome runAmpl(const Workspace& w, const std::string& options, const std::string& stub = "m") {
  ::setenv("kavro_options", options.c_str(), 1);
  Outcome o = w.run(kKavro, {stub, "-AMPL"});
  ::unsetenv("kavro_options");
  return o;
}

// The options of a model's run are honoured or refused with their reason, never ignored: the
// user's Maximize wins over the model's sense (SPECS file or kavro_options), bad values are
// named with the decoder's reason, a basis file on the model is refused with the reason in the
// .sol file, and a model that cannot be read leaves no .sol of an earlier run behind.
TEST(Robustness, ModelOptionsAreHonouredOrRefusedWithTheirReason) {
  Workspace w;
  w.inputCopy("m.nl", example("hs071.nl"));
  w.input("max.spc", specsBlock("Maximize"));
  const std::string note = "The objective is maximized, as the options ask (the model minimizes it)";
  const Outcome specs = w.run(kKavro, {"--specs", "max.spc", "m.nl"});
  EXPECT_EQ(specs.status, 0) << specs.err;
  EXPECT_TRUE(contains(specs.out, " " + note)) << specs.out;
  EXPECT_FALSE(contains(specs.out, "1.7014017289E+01")) << "the minimum, not the maximum";
  const Outcome ampl = runAmpl(w, "maximize");
  EXPECT_EQ(ampl.status, 0);
  EXPECT_TRUE(contains(ampl.out, note)) << ampl.out;
  EXPECT_FALSE(contains(ampl.out, "objective 17.014"));

  const Outcome bad = runAmpl(w,
                              "iterations_limit=abc iterations_limit=1e300 iterations_limit=nan iterations_limit=-5");
  EXPECT_TRUE(contains(bad.out, "kavro_options: iterations_limit=abc: Value missing or not a number: ABC")) << bad.out;
  EXPECT_TRUE(contains(bad.out,
                       "kavro_options: iterations_limit=1e300: Value out of range: 1E300  (an integer below "
                       "100000000 in magnitude)"));
  EXPECT_TRUE(contains(bad.out, "kavro_options: iterations_limit=nan: Value is not a finite number: NAN"));
  EXPECT_TRUE(contains(bad.out, "kavro_options: iterations_limit=-5: Value out of range: -5  (0 or more)"));
  EXPECT_TRUE(contains(bad.out, "KAVRO 5.6: optimal solution; objective 17.014")) << "the defaults stay";

  const Outcome clash = runAmpl(w, "new_basis_file=98");
  EXPECT_EQ(clash.status, 0) << "the .sol file says why";
  const std::string why = "the New basis file (unit 98) and the problem file (unit 98) are the same file: m.nl";
  EXPECT_TRUE(contains(clash.err, "kavro: " + why)) << clash.err;
  EXPECT_TRUE(contains(clash.out, "KAVRO 5.6: refused: " + why)) << clash.out;
  EXPECT_TRUE(contains(w.read("m.sol"), "objno 0 550"));
  w.expectInputsUnchanged();

  w.input("bad.nl", "g3 1 1 0\n 1 0 1 0 0\n");
  const std::string earlier = w.read("m.sol");
  std::ofstream(w.path("bad.sol")) << earlier;
  const Outcome unreadable = runAmpl(w, "", "bad");
  EXPECT_EQ(unreadable.status, 2);
  EXPECT_TRUE(contains(unreadable.err, "kavro: bad.nl: line 3: the file ends inside the header")) << unreadable.err;
  EXPECT_FALSE(w.exists("bad.sol")) << "an earlier run's answer would be taken for this one's";
  w.expectInputsUnchanged();
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
