// The real bindings of the channel operations table (see channel_ops_default.h).
#include "driver/channel_ops_default.h"

#include "camera/zarncam.h"
#include "capture/nubo_device.h"
#include "colspace/colspace.h"
#include "port/port.h"
#include "port/port_device.h"

ChannelOps RealChannelOps() {
  ChannelOps ops{};
  ops.openPortDevice = OpenPortDevice;
  ops.closePortDevice = ClosePortDevice;
  ops.selectPort = SelectPort;
  ops.openPort = OpenPort;
  ops.releasePort = ReleasePort;
  ops.openNUBODevice = OpenNUBODevice;
  ops.selectNUBODevice = SelectNUBODevice;
  ops.setStreamMode = SetStreamMode;
  ops.closeNUBODevice = CloseNUBODevice;
  ops.forgetNUBODevice = ForgetNUBODevice;
  ops.resetCaptureDevices = ResetCaptureDevices;
  ops.closeCaptureDevices = CloseCaptureDevices;
  ops.forgetColSpace = ForgetColSpace;
  ops.resetDialogControls = nullptr;
  return ops;
}
