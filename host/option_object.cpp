// The option object's C interface.

#include <algorithm>
#include <cstring>
#include <new>

#include "option_object.hpp"

namespace {

void copyText(const std::string& text, char* buffer, int length) {
  if (!buffer || length <= 0) return;
  const size_t n = std::min(text.size(), static_cast<size_t>(length) - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

optRec::Definition* numbered(optHandle_t h, int number) {
  if (!h || number < 1 || static_cast<size_t>(number) > h->definitions.size()) return nullptr;
  return &h->definitions[static_cast<size_t>(number) - 1];
}

}  // namespace

extern "C" {

int optCreate(optHandle_t* h, char* message, int length) {
  if (!h) return 1;
  *h = new (std::nothrow) optRec;
  copyText(*h ? "" : "Out of memory", message, length);
  return *h ? 0 : 1;
}

void optFree(optHandle_t* h) {
  if (!h) return;
  delete *h;
  *h = nullptr;
}

int optReadDefinition(optHandle_t h, const char* path) { return h && h->readDefinitions(path) ? 0 : 1; }
int optReadParameterFile(optHandle_t h, const char* path) { return h ? h->readParameterFile(path) : 1; }

void optEchoSet(optHandle_t h, int echo) {
  if (h) h->echo = echo != 0;
}

void optEOLOnlySet(optHandle_t h, int eolOnly) {
  if (h) h->eolOnly = eolOnly != 0;
}

void optResetAllRecent(optHandle_t h) {
  if (!h) return;
  for (auto& d : h->definitions) d.definedRecent = false;
}

int optMessageCount(optHandle_t h) { return h ? static_cast<int>(h->messages.size()) : 0; }

int optGetMessage(optHandle_t h, int index, char* buffer, int length, int* type) {
  if (!h || index < 1 || static_cast<size_t>(index) > h->messages.size()) return 1;
  const auto& m = h->messages[static_cast<size_t>(index) - 1];
  copyText(m.text, buffer, length);
  if (type) *type = m.type;
  return 0;
}

void optClearMessages(optHandle_t h) {
  if (h) h->messages.clear();
}

int optCount(optHandle_t h) { return h ? static_cast<int>(h->definitions.size()) : 0; }

int optGetInfoNr(optHandle_t h, int number, int* defined, int* definedRecent, int* dataType) {
  const optRec::Definition* d = numbered(h, number);
  if (!d) return 1;
  if (defined) *defined = d->defined ? 1 : 0;
  if (definedRecent) *definedRecent = d->definedRecent ? 1 : 0;
  if (dataType) *dataType = d->dataType;
  return 0;
}

int optGetOptGroupNr(optHandle_t h, int number, int* group) {
  const optRec::Definition* d = numbered(h, number);
  if (!d) return 1;
  if (group) *group = d->group;
  return 0;
}

int optGetValuesNr(optHandle_t h, int number, char* name, int nameLength, int* intValue, double* realValue,
                   char* text, int textLength) {
  const optRec::Definition* d = numbered(h, number);
  if (!d) return 1;
  copyText(d->name, name, nameLength);
  if (intValue) *intValue = d->intValue;
  if (realValue) *realValue = d->realValue;
  copyText(d->text, text, textLength);
  return 0;
}

int optGetIntStr(optHandle_t h, const char* name, int* value) {
  const optRec::Definition* d = h && name ? h->find(name) : nullptr;
  if (!d || (d->dataType != optDataInteger && d->dataType != optDataBoolean)) return 1;
  if (value) *value = d->intValue;
  return 0;
}

int optGroupCount(optHandle_t h) { return h ? static_cast<int>(h->groups.size()) : 0; }

int optGroupTitle(optHandle_t h, int group, char* buffer, int length) {
  if (!h) return 1;
  for (const auto& g : h->groups)
    if (g.number == group) {
      copyText(g.title, buffer, length);
      return 0;
    }
  return 1;
}

}  // extern "C"
