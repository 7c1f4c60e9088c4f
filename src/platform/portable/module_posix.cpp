// The module the driver lives in, found from the address of this very code.
#include <dlfcn.h>

#include <string>

#include "platform/platform.h"

namespace platform {

HINSTANCE ModuleHandle() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ModuleHandle), &info) == 0) return nullptr;
  return static_cast<HINSTANCE>(info.dli_fbase);
}

std::string ModuleFileName() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ModuleHandle), &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

}  // namespace platform
