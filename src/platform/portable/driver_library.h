// Loading a driver library by path and finding its DriverProc: the one part of
// the portable driver manager that differs between systems.
#pragma once

#include <string>

#include "platform/portable/driver_manager.h"

namespace platform {

// The loaded library, or nullptr with *error saying why (*proc is then null).
void* LoadDriverLibrary(const std::string& path, DRIVERPROC* proc, std::string* error);
void UnloadDriverLibrary(void* library);

}  // namespace platform
