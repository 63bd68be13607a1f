// The library's four exported functions. No exception leaves them: whatever escapes the work
// below is reported as an error of the call.

#include <cstring>
#include <exception>
#include <new>

#include "link/call_solver.hpp"
#include "link/kavro_link.h"
#include "link/link_context.hpp"
#include "link/ready_api.hpp"

#define KAVRO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using kavro::link::LinkContext;

template <class Work>
void guarded(LinkContext& ctx, Work work) {
  try {
    work();
  } catch (const std::bad_alloc&) {
    kavro::link::raiseLinkError(ctx, kavro::link::kMemoryError, "Out of memory!");
  } catch (const std::exception& e) {
    kavro::link::raiseLinkError(ctx, kavro::link::kError, "%s", e.what());
  } catch (...) {
    kavro::link::raiseLinkError(ctx, kavro::link::kError, "%s", "unexpected failure");
  }
}

// Prints a pending error; returns 1 when there was one (or printing itself failed).
int finish(LinkContext& ctx) {
  try {
    return kavro::link::finishEntry(ctx);
  } catch (...) {
    return 1;
  }
}

}  // namespace

KAVRO_EXPORT int kavCreate(kavHandle_t* context, char* message, int messageLength) {
  if (message && messageLength > 0) message[0] = '\0';
  if (!context) return 1;
  *context = new (std::nothrow) LinkContext;
  if (!*context) {
    if (message && messageLength > 0) std::strncpy(message, "Out of memory!", static_cast<size_t>(messageLength) - 1);
    if (message && messageLength > 0) message[messageLength - 1] = '\0';
    return 1;
  }
  kavro::link::setCurrentContext(*context);
  return 0;
}

KAVRO_EXPORT int kavReadyAPI(kavHandle_t context, void* model) {
  if (!context) return 1;
  guarded(*context, [&] { kavro::link::readyApi(*context, static_cast<qmoHandle_t>(model)); });
  return finish(*context);
}

KAVRO_EXPORT int kavCallSolver(kavHandle_t context) {
  if (!context) return 1;
  guarded(*context, [&] {
    kavro::link::callSolver(*context);
    if (!kavro::link::errorPending(*context)) kavro::link::logLine(*context, "%s", "");
  });
  return finish(*context);
}

KAVRO_EXPORT int kavFree(kavHandle_t* context) {
  if (!context || !*context) return 0;
  if (kavro::link::currentContext() == *context) kavro::link::setCurrentContext(nullptr);
  try {
    delete *context;
  } catch (...) {
  }
  *context = nullptr;
  return 0;
}
