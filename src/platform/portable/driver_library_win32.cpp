// Driver libraries as DLLs: LoadLibrary, and DriverProc by its exported name.
#include "platform/portable/driver_library.h"

namespace platform {

void* LoadDriverLibrary(const std::string& path, DRIVERPROC* proc, std::string* error) {
  *proc = nullptr;
  HMODULE library = ::LoadLibraryA(path.c_str());
  if (library == nullptr) {
    *error = "cannot load " + path + ": error " + std::to_string(::GetLastError());
    return nullptr;
  }
  *proc = reinterpret_cast<DRIVERPROC>(reinterpret_cast<void*>(::GetProcAddress(library, "DriverProc")));
  if (*proc == nullptr) {
    *error = path + " has no DriverProc";
    ::FreeLibrary(library);
    return nullptr;
  }
  return library;
}

void UnloadDriverLibrary(void* library) { ::FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace platform
