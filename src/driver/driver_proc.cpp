// The driver's entry point: the ten standard driver messages, the first open
// of the kernel port device, and the hand-off of everything else to the video
// message dispatcher (instances) or the host's DefDriverProc (no instance).
// Every message runs under the driver lock, except those the client sends from
// inside a stream callback on the timer's thread: a stop on the client's
// thread may be waiting for that very tick while holding the lock.
#include <cstddef>
#include <cstring>
#include <mutex>

#include "capture/stream.h"
#include "core/driver_context.h"
#include "driver/channel.h"
#include "driver/channel_ops.h"
#include "driver/dialogs.h"
#include "driver/driver_proc.h"
#include "driver/open_string.h"
#include "driver/video_message.h"
#include "platform/platform.h"
#include "trace/trace_window.h"

namespace {

constexpr int kPortDeviceIndex = 0;
constexpr char kNoDeviceCaption[] = "DBG_NOCAMERA";
constexpr char kNoDeviceText[] = "Unable to open device driver";
// The open parameters must reach dwError: fccType, dwFlags and dwError are the
// fields an open reads or writes.
constexpr DWORD kOpenParmsNeeded = offsetof(VIDEO_OPEN_PARMS, dwError) + sizeof(DWORD);

LRESULT Enable() {
  const ChannelOps& ops = ChannelOpsTable();
  StartDriverSession();
  if (ops.forgetNUBODevice != nullptr) ops.forgetNUBODevice();
  const BOOL cameraForgot = ops.resetCaptureDevices != nullptr ? ops.resetCaptureDevices() : TRUE;
  if (ops.forgetColSpace != nullptr) ops.forgetColSpace();
  return cameraForgot ? 0 : 1;
}

LRESULT Disable() {
  DisableDevice();
  return 0;
}

// The text a channel open goes by. A host that opens in two steps (winmm, and
// the portable driver manager after it) sends the text with a session open
// (no open parameters) and then opens the channel without text; the session's
// port and settings file then apply to that channel.
void ChooseOpenString(LPARAM lParam1, const VIDEO_OPEN_PARMS* openParms, char (&text)[kOpenStringBufferSize]) {
  DriverState& d = Driver();
  NarrowOpenString(reinterpret_cast<const void*>(lParam1), openParms == nullptr, text);
  if (openParms == nullptr) {
    std::memcpy(d.sessionOpenString, text, sizeof text);
    return;
  }
  if (lParam1 == 0) std::memcpy(text, d.sessionOpenString, sizeof text);
  d.sessionOpenString[0] = '\0';  // the session's text serves one channel open
}

LRESULT Open(LPARAM lParam1, VIDEO_OPEN_PARMS* openParms) {
  DriverState& d = Driver();
  // The camera details dialog's search holds the driver lock while it has the
  // port: an open from another thread waits for it and then opens as usual.
  // Only an open sent from inside the search (a host answering a message the
  // search caused, on the same thread) gets here meanwhile: it is refused.
  if (d.detailsSearch) {
    if (openParms != nullptr && openParms->dwSize >= kOpenParmsNeeded) openParms->dwError = DV_ERR_NOTDETECTED;
    return 0;
  }
  char openString[kOpenStringBufferSize];
  ChooseOpenString(lParam1, openParms, openString);
  // Nothing is read from or written to open parameters too short to hold the
  // fields an open uses.
  const bool parmsUsable = openParms == nullptr || openParms->dwSize >= kOpenParmsNeeded;
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
      if (openParms != nullptr && parmsUsable) openParms->dwError = DV_ERR_NONSPECIFIC;
      return 0;
    }
  }
  if (openParms == nullptr) return 1;
  if (!parmsUsable || openParms->fccType != FOURCC_VCAP) return 0;
  return reinterpret_cast<LRESULT>(OpenChannel(openString, openParms));
}

LRESULT Close(DWORD_PTR driverId, DriverInstance* instance) {
  LRESULT result = 1;
  // A session's close: its text no longer waits for a channel open.
  if (instance == nullptr && driverId == 1) Driver().sessionOpenString[0] = '\0';
  if (instance != nullptr) result = CloseChannel(instance) == 0 ? 1 : 0;
  ClosePortDeviceIfUnused();
  return result;
}

LRESULT Free() {
  // The module is going away: every channel the host left open closes with the
  // device, and the port device goes even when a configuration open never
  // brought the counter back to 0.
  CloseAllChannels();
  TraceWindowDestroyNow();  // no window may outlive the module with its procedure
  DriverState& d = Driver();
  d.openCount = 0;
  ClosePortDeviceIfUnused();
  return 1;
}

// Messages in the video range (the configure messages from 0x1000, and
// DRV_USER and up) sent to an id that is no live instance: the id is dead or
// was never given out.
bool IsVideoRange(UINT msg) { return msg >= DVM_CONFIGURE_START; }

LRESULT Dispatch(DWORD_PTR dwDriverID, HDRVR hDriver, UINT uMsg, LPARAM lParam1, LPARAM lParam2) {
  switch (uMsg) {
    case DRV_LOAD:
      Driver().moduleInstance = platform::ModuleHandle();
      return 1;
    case DRV_ENABLE: return Enable();
    case DRV_OPEN:
      return Open(lParam1, reinterpret_cast<VIDEO_OPEN_PARMS*>(lParam2));
    case DRV_CLOSE: return Close(dwDriverID, FindInstance(dwDriverID).get());
    case DRV_DISABLE: return Disable();
    case DRV_FREE: return Free();
    case DRV_CONFIGURE: ConfigureDriver(reinterpret_cast<HWND>(lParam1)); return 1;
    case DRV_QUERYCONFIGURE: return 1;
    case DRV_INSTALL: return 1;
    case DRV_REMOVE: return 1;
    default: break;
  }
  // The reference keeps the instance alive until the message returns.
  if (InstanceRef instance = FindInstance(dwDriverID)) return VideoMessage(instance.get(), uMsg, lParam1, lParam2);
  if (dwDriverID > 1 && IsVideoRange(uMsg)) return DV_ERR_INVALHANDLE;
  return platform::DefDriverProc(dwDriverID, hDriver, uMsg, lParam1, lParam2);
}

}  // namespace

// Exported by name alone: the version script (shared library) or the module
// definition file (DLL) keeps every other symbol inside.
extern "C" LRESULT WINAPI DriverProc(DWORD_PTR dwDriverID, HDRVR hDriver, UINT uMsg, LPARAM lParam1,
                                     LPARAM lParam2) {
  if (InStreamTickThread()) return Dispatch(dwDriverID, hDriver, uMsg, lParam1, lParam2);
  DriverLockHold lock;
  return Dispatch(dwDriverID, hDriver, uMsg, lParam1, lParam2);
}
