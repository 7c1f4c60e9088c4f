// The driver's entry point: the ten standard driver messages, the first open
// of the kernel port device, and the hand-off of everything else to the video
// message dispatcher (instances) or the host's DefDriverProc (no instance).
#include <dlfcn.h>

#include "core/driver_state.h"
#include "driver/channel.h"
#include "driver/channel_ops.h"
#include "driver/dialogs.h"
#include "driver/driver_proc.h"
#include "driver/video_message.h"
#include "platform/platform.h"

namespace {

constexpr int kPortDeviceIndex = 0;
constexpr char kNoDeviceCaption[] = "DBG_NOCAMERA";
constexpr char kNoDeviceText[] = "Unable to open device driver";

// Closes the kernel port device and forgets the handle, so no later close can
// reach a handle that is already gone.
void ClosePortDeviceNow() {
  DriverState& d = Driver();
  if (d.portDevice == INVALID_HANDLE_VALUE) return;
  if (ChannelOpsTable().closePortDevice != nullptr) ChannelOpsTable().closePortDevice(d.portDevice);
  d.portDevice = INVALID_HANDLE_VALUE;
}

LRESULT Enable() {
  DriverState& d = Driver();
  const ChannelOps& ops = ChannelOpsTable();
  d.deviceReady = 0;
  d.channelCount = 0;
  d.externalInCount = d.externalOutCount = d.videoInCount = d.videoOutCount = 0;
  d.device = nullptr;
  if (ops.forgetNUBODevice != nullptr) ops.forgetNUBODevice();
  const BOOL cameraForgot = ops.resetCaptureDevices != nullptr ? ops.resetCaptureDevices() : TRUE;
  if (ops.forgetColSpace != nullptr) ops.forgetColSpace();
  return cameraForgot ? 0 : 1;
}

LRESULT Disable() {
  if (ChannelOpsTable().closeCaptureDevices != nullptr) ChannelOpsTable().closeCaptureDevices();
  Driver().deviceReady = 0;
  return 0;
}

LRESULT Open(const char* openString, VIDEO_OPEN_PARMS* openParms) {
  DriverState& d = Driver();
  LONG oldCount = d.openCount++;
  // A handle still held when the counter is back at 0 (a failed port probe
  // releases the port, and the scan that follows may find the camera, all
  // without a DRV_CLOSE) stays in use: opening a second one would leak the
  // first, and closing it would pull the port from under a device set up on it.
  if (oldCount == 0 && d.portDevice == INVALID_HANDLE_VALUE) {
    const ChannelOps& ops = ChannelOpsTable();
    d.portDevice = ops.openPortDevice ? ops.openPortDevice(kPortDeviceIndex) : INVALID_HANDLE_VALUE;
    if (d.portDevice == INVALID_HANDLE_VALUE) {
      if ((d.debugFlags & DEBUG_NOCAMERA_BOXES) != 0) {
        platform::MessageBox(nullptr, kNoDeviceText, kNoDeviceCaption, MB_ICONWARNING);
      }
      if (openParms != nullptr) openParms->dwError = DV_ERR_NONSPECIFIC;
      return 0;
    }
  }
  if (openParms == nullptr) return 1;
  if (openParms->fccType != FOURCC_VCAP) return 0;
  return reinterpret_cast<LRESULT>(OpenChannel(openString, openParms));
}

LRESULT Close(DriverInstance* instance) {
  LRESULT result = 1;
  if (instance != nullptr) result = CloseChannel(instance) == 0 ? 1 : 0;
  if (Driver().openCount == 0) ClosePortDeviceNow();
  return result;
}

// The module entry: the loader calls it when the library is mapped.
__attribute__((constructor)) void ModuleEntry() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ModuleEntry), &info) != 0) {
    Driver().moduleInstance = static_cast<HINSTANCE>(info.dli_fbase);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) LRESULT DriverProc(DWORD_PTR dwDriverID, HDRVR hDriver,
                                                                     UINT uMsg, LPARAM lParam1,
                                                                     LPARAM lParam2) {
  switch (uMsg) {
    case DRV_LOAD: return 1;
    case DRV_ENABLE: return Enable();
    case DRV_OPEN:
      return Open(reinterpret_cast<const char*>(lParam1), reinterpret_cast<VIDEO_OPEN_PARMS*>(lParam2));
    case DRV_CLOSE: return Close(FindInstance(dwDriverID));
    case DRV_DISABLE: return Disable();
    case DRV_FREE:
      // The module is going away: a port device still open (a configuration
      // open never brings the counter back to 0) would otherwise leak.
      ClosePortDeviceNow();
      Driver().openCount = 0;
      return 1;
    case DRV_CONFIGURE: ShowDetailsDialog(reinterpret_cast<HWND>(lParam1)); return 1;
    case DRV_QUERYCONFIGURE: return 1;
    case DRV_INSTALL: return 1;
    case DRV_REMOVE: return 1;
    default: break;
  }
  if (DriverInstance* instance = FindInstance(dwDriverID)) return VideoMessage(instance, uMsg, lParam1, lParam2);
  return platform::DefDriverProc(dwDriverID, hDriver, uMsg, lParam1, lParam2);
}
