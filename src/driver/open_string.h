// What a DRV_OPEN open string may say: a port ("LPT1".."LPT3") and a settings
// file (a name ending in ".INI"), in any letter case, e.g. "vcap LPT2 C:\MY.INI".
#pragma once

#include "core/driver_state.h"
#include "platform/types.h"

// The longest open string looked at; a longer one is ignored as a whole.
constexpr size_t kMaxOpenStringLength = 259;

static_assert(kMaxOpenStringLength + 2 == kOpenStringBufferSize);

// The open string in 8 bits. A channel open's text is 8-bit. A session open's
// (no open parameters, sessionText) is what the host hands over: UTF-16 from
// winmm on the NT family and from the portable driver manager, 8-bit from the
// Windows 9x driver manager (platform::SessionOpenTextIsUtf16). Characters
// past 0xFF become '?'. A text longer than
// kMaxOpenStringLength is cut one character past it, which the readers below
// still refuse as too long. A null string gives "".
void NarrowOpenString(const void* openString, bool sessionText, char (&out)[kOpenStringBufferSize]);
// Stores 1, 2 or 3 in *port when the first "LPT" is followed by that digit.
void PortFromOpenString(const char* openString, DWORD* port);
// Copies the file name ending in ".INI" (from just after the last space before
// it, in its own letter case) into path (kIniPathSize bytes). Unchanged otherwise.
void IniPathFromOpenString(const char* openString, char* path);
