// The stream messages DVM_STREAM_* (0x412C..0x418F): the gate by channel kind,
// the trace line and the streaming engine's handler for each.
#pragma once

#include "driver/channel.h"
#include "platform/types.h"

DWORD StreamMessage(DriverInstance* instance, UINT msg, LPARAM lParam1, LPARAM lParam2);
