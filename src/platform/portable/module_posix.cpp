// The module the driver lives in, found from the address of this very code.
#include <dlfcn.h>

#include "platform/platform.h"

namespace platform {

HINSTANCE ModuleHandle() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ModuleHandle), &info) == 0) return nullptr;
  return static_cast<HINSTANCE>(info.dli_fbase);
}

}  // namespace platform
