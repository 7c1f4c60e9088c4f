// The channel operations bound to the real layers: the port device and port
// (port layer), the device set-up and teardown (capture layer) and the
// forget / close operations of the camera and colour layers.
#pragma once

#include "driver/channel_ops.h"

// Every entry filled except resetDialogControls, which the settings dialogs
// provide when they are built.
ChannelOps RealChannelOps();
