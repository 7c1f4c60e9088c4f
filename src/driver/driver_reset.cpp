#include "driver/driver_reset.h"

#include "camera/camera_state.h"
#include "capture/nubo_device.h"
#include "colspace/colspace_state.h"
#include "core/driver_state.h"
#include "driver/channel.h"
#include "driver/channel_ops.h"
#include "port/port.h"
#include "ui/trace_window.h"

void ResetDriverForTesting() {
  // A port device a test left open goes back to the platform first.
  if (Driver().portDevice != INVALID_HANDLE_VALUE && ChannelOpsTable().closePortDevice != nullptr) {
    ChannelOpsTable().closePortDevice(Driver().portDevice);
  }
  ResetCaptureState();
  ResetCameraState();
  ResetColSpaceState();
  ResetPortState();
  ResetChannels();
  ResetChannelOps();
  ResetTraceForTesting();
  ResetDriverState();
}
