// Driver libraries as shared objects: dlopen, and DriverProc by name.
#include <dlfcn.h>

#include "platform/portable/driver_library.h"

namespace platform {

void* LoadDriverLibrary(const std::string& path, DRIVERPROC* proc, std::string* error) {
  *proc = nullptr;
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = ::dlerror();
    *error = "cannot load " + path + (why ? std::string(": ") + why : "");
    return nullptr;
  }
  *proc = reinterpret_cast<DRIVERPROC>(::dlsym(library, "DriverProc"));
  if (*proc == nullptr) {
    *error = path + " has no DriverProc";
    ::dlclose(library);
    return nullptr;
  }
  return library;
}

void UnloadDriverLibrary(void* library) { ::dlclose(library); }

}  // namespace platform
