#pragma once
// The host's options as SPECS lines: the option definitions, the model's option file, the
// host defaults and the options the user set. The optimizer takes options only as SPECS lines,
// so every setting goes through its decoder, one line at a time.

#include <string>

#include "link/link_context.hpp"

namespace kavro::link {

// Creates the option object (once per context) and reads "optkavro.def" from the system
// directory. False with the error raised when that fails.
bool readOptionDefinitions(LinkContext& ctx);

// Reads the model's option file, if it names one, logging its messages. Never fails.
void readOptionFile(LinkContext& ctx);

// The host defaults and the user options as SPECS lines. False with the error raised at the
// first line the decoder rejects.
bool translateOptions(LinkContext& ctx);

// "NAME_WITH_WORDS" -> "NAME WITH WORDS".
std::string specsPhrase(const std::string& optionName);

}  // namespace kavro::link
