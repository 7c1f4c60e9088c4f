// What a DRV_OPEN open string may say: a port ("LPT1".."LPT3") and a settings
// file (a name ending in ".INI"), in any letter case, e.g. "vcap LPT2 C:\MY.INI".
#pragma once

#include "platform/types.h"

// The longest open string looked at; a longer one is ignored as a whole.
constexpr size_t kMaxOpenStringLength = 259;

// Stores 1, 2 or 3 in *port when the first "LPT" is followed by that digit.
void PortFromOpenString(const char* openString, DWORD* port);
// Copies the file name ending in ".INI" (from just after the last space before
// it, in its own letter case) into path (kIniPathSize bytes). Unchanged otherwise.
void IniPathFromOpenString(const char* openString, char* path);
