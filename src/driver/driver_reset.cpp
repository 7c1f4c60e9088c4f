#include "driver/driver_reset.h"

#include "core/driver_context.h"
#include "driver/channel_ops.h"

void ResetDriverForTesting() {
  // A port device a test left open goes back to the platform first.
  if (Driver().portDevice != INVALID_HANDLE_VALUE && ChannelOpsTable().closePortDevice != nullptr) {
    ChannelOpsTable().closePortDevice(Driver().portDevice);
  }
  ResetDriverContext();
}
