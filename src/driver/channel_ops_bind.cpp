// Binds the channel operations to the layers that implement them: the port
// layer, the capture device set-up and the camera and colour layers' forget
// and close operations. Tests swap in doubles through ChannelOpsTable().
#include "camera/zarncam.h"
#include "capture/nubo_device.h"
#include "capture/stream.h"
#include "colspace/colspace.h"
#include "driver/channel_ops.h"
#include "port/port.h"
#include "port/port_device.h"
#include "ui/dialog_controls.h"

ChannelOps DefaultChannelOps() {
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
  ops.restartFrameTime = RestartFrameTime;
  ops.closeStreamOf = InStreamClose;
  ops.forgetNUBODevice = ForgetNUBODevice;
  ops.resetCaptureDevices = ResetCaptureDevices;
  ops.disableDevice = DisableNUBODevice;
  ops.forgetColSpace = ForgetColSpace;
  ops.resetDialogControls = ResetSliderRanges;
  return ops;
}
