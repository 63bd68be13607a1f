#pragma once
// The stand-in option object: option definitions, their values and the message list that
// reading definitions and option files produces. The file formats are described in qarn.h.

#include <string>
#include <string_view>
#include <vector>

#include "qarn/qarn.h"

struct optRec {
  struct Definition {
    std::string name;
    int dataType = optDataInteger;
    int group = 0;
    double lower = -1.0e300, upper = 1.0e300;  // integer and real options
    int intValue = 0;                          // integer and boolean
    double realValue = 0.0;
    std::string text;                          // string
    std::string description;
    bool defined = false, definedRecent = false;
  };
  struct Message {
    std::string text;
    int type = optMsgNote;
  };
  struct Group {
    int number = 0;
    std::string title;
  };

  std::vector<Definition> definitions;
  std::vector<Group> groups;
  std::vector<Message> messages;
  bool echo = false;
  bool eolOnly = false;

  void message(int type, std::string text) { messages.push_back({std::move(text), type}); }
  Definition* find(std::string_view name);
  bool readDefinitions(const char* path);
  int readParameterFile(const char* path);
  // Sets an option from its text value; returns an empty string or the reason it failed.
  std::string assign(Definition& d, std::string_view value);
};

namespace qarn {
// Splits a line into blank-separated words; "=" between words is a separator too.
std::vector<std::string> splitWords(std::string_view line);
bool sameName(std::string_view a, std::string_view b);
bool parseInteger(std::string_view text, int& value);
bool parseReal(std::string_view text, double& value);
}  // namespace qarn
