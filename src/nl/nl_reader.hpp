#pragma once
// Reading AMPL .nl files: text ("g") and binary ("b") variants, plain or gzip-compressed.
//
//   kavro::nl::ReadResult r = kavro::nl::readNlFile("model.nl");
//   if (!r.ok) { std::fprintf(stderr, "%s\n", r.error.c_str()); return 2; }
//   const kavro::nl::Model& model = r.model;
//
// The reader accepts what an optimizer of continuous models can use and refuses the rest with
// a message naming the line (text) or byte offset (binary): imported functions, logical
// constraints, string operands, unknown opcodes, malformed or truncated data, counts that do
// not agree with the header. Integer variables and complementarity conditions are read and
// left to the caller to refuse (Header::nDiscreteVars, Model::complementVar).

#include <string>
#include <string_view>

#include "nl/nl_model.hpp"

namespace kavro::nl {

struct ReadResult {
  bool ok = false;
  std::string error;  // "NAME: line 12: ..." when not ok
  Model model;
};

ReadResult readNlFile(const std::string& path);

// The same for data in memory; name is the model's name in messages.
ReadResult readNlData(std::string_view data, const std::string& name);

// The file name without folders and without the extensions .gz and .nl.
std::string modelNameOf(const std::string& path);

}  // namespace kavro::nl
