// The video messages of an open channel: everything DriverProc receives with
// an instance id that is not one of the ten standard driver messages.
#pragma once

#include "driver/channel.h"
#include "platform/types.h"

// A video error number (0 = success).
LRESULT VideoMessage(DriverInstance* instance, UINT msg, LPARAM lParam1, LPARAM lParam2);
