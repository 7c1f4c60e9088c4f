// The module the driver lives in, found from the address of this very code.
#include "platform/platform.h"

namespace platform {

HINSTANCE ModuleHandle() {
  HMODULE module = nullptr;
  const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  if (!::GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&ModuleHandle), &module)) return nullptr;
  return module;
}

std::string ModuleFileName() {
  char path[MAX_PATH] = {};
  return ::GetModuleFileNameA(ModuleHandle(), path, sizeof path) != 0 ? std::string(path) : std::string();
}

}  // namespace platform
