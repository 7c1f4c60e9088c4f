// The module the driver lives in, found from the address of this very code,
// and the developer's output, which on a console system is stderr.
#include <dlfcn.h>

#include <cstdio>

#include "platform/platform.h"

namespace platform {

HINSTANCE ModuleHandle() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ModuleHandle), &info) == 0) return nullptr;
  return static_cast<HINSTANCE>(info.dli_fbase);
}

void DebugOutput(const char* line) { std::fprintf(stderr, "trace: %s\n", line); }

}  // namespace platform
