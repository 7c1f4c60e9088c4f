// The driver's one exported entry point, with C linkage and the platform's signature.
#pragma once

#include "platform/types.h"

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR dwDriverID, HDRVR hDriver, UINT uMsg, LPARAM lParam1, LPARAM lParam2);
