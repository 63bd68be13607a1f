#pragma once
// Solver options under the AMPL protocol, from the environment variable kavro_options.
//
// The text is a list of words separated by blanks. "key=value" becomes the SPECS line
// "key value" with every '_' of the key replaced by a blank ("iterations_limit=500" ->
// "iterations limit 500"); a word without '=' is a SPECS phrase by itself ("maximize",
// "lu_rook_pivoting"), and numbers that follow such a word are its value ("scale_option 0").
// A few words are the protocol's own and do not reach the optimizer:
//   relax_integrality=1   solve integer and binary variables as continuous ones
//   objno=N               optimize objective N (1-based, the first by default); 0: none
//   wantsol=N             accepted for compatibility; the .sol file is always written

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavro::nl {

struct AmplOptions {
  std::vector<std::string> specsLines;
  std::vector<std::string> words;  // what each SPECS line was written as ("iterations_limit=500")
  bool relaxIntegers = false;
  int32_t objno = 1;
  std::vector<std::string> errors;  // words that are not understood, with the reason
};

AmplOptions parseAmplOptions(std::string_view text);

}  // namespace kavro::nl
