#pragma once
// Reading AMPL .nl files: text ("g") and binary ("b") variants, plain or gzip-compressed.
//
//   kavro::nl::ReadResult r = kavro::nl::readNlFile("model.nl");
//   if (!r.ok) { std::fprintf(stderr, "%s\n", r.error.c_str()); return 2; }
//   const kavro::nl::Model& model = r.model;
//
// The reader accepts what an optimizer of continuous models can use and refuses the rest with
// a message naming the line (text) or byte offset (binary): imported functions (also those a
// header declares and the file never defines), logical constraints, string operands, unknown
// opcodes, malformed or truncated data, counts that do not agree with the header, a second k
// segment, bounds that no value satisfies ([5, 1]), numbers that are not finite (NaN, inf,
// 1e400) and numbers or names longer than 4096 characters. Integer variables and
// complementarity conditions are read and left to the caller to refuse
// (Header::nDiscreteVars, Model::complementVar).
//
// Resources: the file is read as a stream, and no array is sized by a count of the header
// before the file has shown that it holds that many items, so the memory a read takes is in
// proportion to what the file holds. Memory that cannot be had ends the read with "not enough
// memory for a model of N variables and M constraints"; no exception leaves the reader.

#include <string>
#include <string_view>
#include <vector>

#include "nl/nl_model.hpp"
#include "nl/nl_source.hpp"

namespace kavro::nl {

struct ReadResult {
  bool ok = false;
  bool stopped = false;               // the stop check ended the reading
  std::string error;                  // "NAME: line 12: ..." when not ok
  std::vector<std::string> warnings;  // "line 141: ..." for what was accepted with a doubt
  Model model;
};

// `stop` is asked between chunks of the file (and while a pipe is silent): true ends the read.
ReadResult readNlFile(const std::string& path, const StopCheck& stop = {});

// The same for data in memory, plain or gzip-compressed; name is the model's name in messages.
ReadResult readNlData(std::string_view data, const std::string& name);

// The file name without folders and without the extensions .gz and .nl.
std::string modelNameOf(const std::string& path);

}  // namespace kavro::nl
