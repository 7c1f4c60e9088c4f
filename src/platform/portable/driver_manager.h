// A portable stand-in for the platform's installable-driver manager, for hosts
// and tests: it loads a driver library, finds its DriverProc and sends the
// driver messages in the order the Windows driver manager sends them.
//   open:  DRV_LOAD and DRV_ENABLE when the module is first loaded, then DRV_OPEN
//          with the open text in UTF-16; with open parameters, that first
//          DRV_OPEN is a session open (lParam2 0) and a second DRV_OPEN (no
//          text, the parameters) gives the handle's driver id
//   close: DRV_CLOSE, then DRV_CLOSE to the session if there is one, then
//          DRV_DISABLE and DRV_FREE when the module's last driver handle goes,
//          and the library is unloaded.
#pragma once

#include <string>

#include "platform/types.h"

namespace platform {

// The error text of an open the driver refused (as opposed to a library that
// could not be loaded).
constexpr char kOpenRefused[] = "DRV_OPEN refused";

using DRIVERPROC = LRESULT(WINAPI*)(DWORD_PTR driverId, HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2);

// Loads the library (a path to a shared library, e.g. libzarncap.so) and opens
// a driver handle on it. openString is the open text (nullptr allowed); lParam2
// is the open parameters (VIDEO_OPEN_PARMS* or 0). Returns nullptr when
// the library cannot be loaded, DRV_LOAD does not answer 1, or DRV_OPEN answers 0;
// *error (when given) then says which.
HDRVR OpenDriver(const char* library, const char* openString, LPARAM lParam2, std::string* error = nullptr);
// Opens a driver handle on a DriverProc that is already in this process (tests).
HDRVR OpenDriverProc(DRIVERPROC proc, const char* openString, LPARAM lParam2, std::string* error = nullptr);
// Sends a message to the driver id DRV_OPEN returned for this handle.
LRESULT SendDriverMessage(HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2);
// DRV_CLOSE with lParam1/lParam2; the last handle on a module also disables,
// frees and unloads it. Returns DRV_CLOSE's answer.
LRESULT CloseDriver(HDRVR driver, LPARAM lParam1, LPARAM lParam2);
// The driver id DRV_OPEN returned for the handle.
DWORD_PTR DriverId(HDRVR driver);

}  // namespace platform
