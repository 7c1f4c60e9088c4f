// What a DRV_OPEN open string may say: a port ("LPT1".."LPT3") and a settings
// file (a name ending in ".INI"), in any letter case, e.g. "vcap LPT2 C:\MY.INI".
#pragma once

#include "core/driver_state.h"
#include "platform/types.h"

// The longest open string looked at; a longer one is ignored as a whole.
constexpr size_t kMaxOpenStringLength = 259;

static_assert(kMaxOpenStringLength + 2 == kOpenStringBufferSize);

// The open string in 8 bits, whichever way the host sent it: 8-bit text, or
// UTF-16 (a host that opens in two steps sends the session's text so; its first
// character's high byte is 0, which no 8-bit text of one or more characters
// has). Characters past 0xFF become '?'. A text longer than
// kMaxOpenStringLength is cut one character past it, which the readers below
// still refuse as too long. A null string gives "".
void NarrowOpenString(const void* openString, char (&out)[kOpenStringBufferSize]);
// Stores 1, 2 or 3 in *port when the first "LPT" is followed by that digit.
void PortFromOpenString(const char* openString, DWORD* port);
// Copies the file name ending in ".INI" (from just after the last space before
// it, in its own letter case) into path (kIniPathSize bytes). Unchanged otherwise.
void IniPathFromOpenString(const char* openString, char* path);
