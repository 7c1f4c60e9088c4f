// How the capture host reaches a driver: through the platform's driver manager
// (winmm's OpenDriver on Windows, the portable manager elsewhere), by library
// path and open text, as a capture application does.
#pragma once

#include <string>

#include "platform/types.h"

namespace host {

// Opens a driver handle on the library with the open text; nullptr when refused.
HDRVR Open(const std::string& library, const std::string& text, LPARAM openParms);
LRESULT Send(HDRVR driver, UINT msg, LPARAM lParam1 = 0, LPARAM lParam2 = 0);
LRESULT Close(HDRVR driver);
// A value of the settings file, through the platform's profile functions.
std::string ReadSetting(const char* section, const char* key, const std::string& file);

}  // namespace host
