#include "driver/driver_reset.h"

#include "capture/nubo_device.h"
#include "core/driver_state.h"
#include "driver/channel.h"
#include "driver/channel_ops.h"
#include "ui/trace_window.h"

void ResetDriverForTesting() {
  // A port device a test left open goes back to the platform first.
  if (Driver().portDevice != INVALID_HANDLE_VALUE && ChannelOpsTable().closePortDevice != nullptr) {
    ChannelOpsTable().closePortDevice(Driver().portDevice);
  }
  ResetCaptureState();
  ResetChannels();
  ResetChannelOps();
  ResetTraceForTesting();
  ResetDriverState();
}
