#include "link/host_api.hpp"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

namespace kavro::link {

namespace {

// The loader's error state is per process, so opening, binding and reading dlerror() are
// done under one lock.
std::mutex& bindingMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string loaderText(const char* fallback) {
  const char* text = dlerror();
  return text ? text : fallback;
}

bool open(SharedLibrary& library, const std::string& path, std::string& error) {
  if (library.handle) return true;
  library.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library.handle) error = loaderText(("cannot load " + path).c_str());
  return library.handle != nullptr;
}

template <class F>
bool bind(void* handle, const char* name, F& target, std::string& error) {
  if (!error.empty()) return false;
  dlerror();
  void* symbol = dlsym(handle, name);
  if (!symbol) {
    error = loaderText((std::string(name) + " could not be loaded").c_str());
    return false;
  }
  target = reinterpret_cast<F>(symbol);
  return true;
}

template <class F>
void bindIfPresent(void* handle, const char* name, F& target) {
  target = reinterpret_cast<F>(dlsym(handle, name));
}

}  // namespace

SharedLibrary::~SharedLibrary() {
  if (handle) {
    std::lock_guard<std::mutex> lock(bindingMutex());
    dlclose(handle);
  }
}

std::string hostLibraryPath(const char* variable, const char* fileName) {
  if (const char* value = std::getenv(variable); value && *value) return value;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&hostLibraryPath), &info) != 0 && info.dli_fname) {
    std::string self = info.dli_fname;
    if (const size_t slash = self.rfind('/'); slash != std::string::npos) return self.substr(0, slash + 1) + fileName;
  }
  return fileName;
}

#define KAVRO_BIND(f) bind(library.handle, #f, api.f, error);

std::string bindModelLibrary(HostBinding& binding) {
  std::lock_guard<std::mutex> lock(bindingMutex());
  std::string error;
  SharedLibrary& library = binding.modelLibrary;
  if (!open(library, hostLibraryPath("KAVRO_QMO_LIBRARY", "libqarnmo.so"), error)) return error;
  ModelApi& api = binding.qmo;
  KAVRO_QMO_FUNCTIONS(KAVRO_BIND)
#define KAVRO_BIND_OPTIONAL(f) bindIfPresent(library.handle, #f, api.f);
  KAVRO_QMO_OPTIONAL_FUNCTIONS(KAVRO_BIND_OPTIONAL)
#undef KAVRO_BIND_OPTIONAL
  dlerror();  // a missing optional function is no error of this binding
  return error;
}

std::string bindEnvironmentLibrary(HostBinding& binding) {
  std::lock_guard<std::mutex> lock(bindingMutex());
  std::string error;
  SharedLibrary& library = binding.environmentLibrary;
  if (!open(library, hostLibraryPath("KAVRO_QEV_LIBRARY", "libqarnev.so"), error)) return error;
  EnvironmentApi& api = binding.qev;
  KAVRO_QEV_FUNCTIONS(KAVRO_BIND)
  return error;
}

std::string bindOptionLibrary(HostBinding& binding) {
  std::lock_guard<std::mutex> lock(bindingMutex());
  std::string error;
  SharedLibrary& library = binding.optionLibrary;
  if (!open(library, hostLibraryPath("KAVRO_OPT_LIBRARY", "libqarnopt.so"), error)) return error;
  OptionApi& api = binding.opt;
  KAVRO_OPT_FUNCTIONS(KAVRO_BIND)
  return error;
}

#undef KAVRO_BIND

}  // namespace kavro::link
