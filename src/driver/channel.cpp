#include "driver/channel.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "core/driver_context.h"
#include "driver/channel_ops.h"
#include "driver/driver_settings.h"
#include "driver/open_string.h"
#include "platform/platform.h"
#include "trace/trace.h"
#include "ui/dialog_resources.h"

namespace {

struct ChannelState {
  static constexpr int kResetRank = 90;  // by layer, highest first (see core/README.md)
  void Reset() {
    std::lock_guard lock(mutex);
    live.clear();
    device = nullptr;  // the capture layer's reset frees it
  }

  // Open and close run under the driver lock; this one guards the list for
  // lookups from the stream timer's thread, which never takes the driver lock.
  std::mutex mutex;
  std::vector<InstanceRef> live;
  // The device the channels share, from the first successful open to the
  // close of the last channel (or DRV_ENABLE, DRV_FREE). Written under the
  // driver lock.
  NUBODevice* device = nullptr;
};

ChannelState& Channels() { return Context().Module<ChannelState>(); }

constexpr char kNoCameraCaption[] = "DBG_NOCAMERA";
constexpr char kNoCameraText[] = "No camera attached to pc";

// The port was given back: the open counter starts again, so the next DRV_OPEN
// opens the kernel port device if it was closed meanwhile.
void ReleasePortNow() {
  if (ChannelOpsTable().releasePort != nullptr) ChannelOpsTable().releasePort();
  Driver().openCount = 0;
}

// Tears the device down: saves its settings (when iniPath is given), frees it
// and releases the port.
void CloseDevice(const char* iniPath) {
  DriverState& d = Driver();
  if (Channels().device == nullptr) return;
  if (ChannelOpsTable().closeNUBODevice != nullptr) ChannelOpsTable().closeNUBODevice(Channels().device, iniPath);
  else if (ChannelOpsTable().releasePort != nullptr) ChannelOpsTable().releasePort();
  d.openCount = 0;  // the teardown released the port
  Channels().device = nullptr;
  d.deviceReady = 0;
}

// What the close of the last channel does: the port is remembered and the
// device goes with its settings.
void CloseLastChannel() {
  DriverState& d = Driver();
  WriteDriverSetting(kLptPortSetting, d.lptPort, d.iniPath);
  CloseDevice(d.iniPath);
}

void ZeroChannelCounters() {
  DriverState& d = Driver();
  d.channelCount = 0;
  d.externalInCount = d.externalOutCount = d.videoInCount = d.videoOutCount = 0;
}

// The open counter and the limit of one channel kind; nullptr for kinds that cannot be opened.
WORD* KindCounter(DWORD kind) {
  switch (kind) {
    case VIDEO_EXTERNALIN: return &Driver().externalInCount;
    case VIDEO_EXTERNALOUT: return &Driver().externalOutCount;
    case VIDEO_IN: return &Driver().videoInCount;
    case VIDEO_OUT: return &Driver().videoOutCount;
    default: return nullptr;
  }
}

// The trace window (when the settings ask for it) lives while channels do.
void OpenTraceWindow() {
  RegisterDriverDialogs();
  DriverTrace(TRACE_OPEN, "");
}

void CloseTraceWindowWithoutChannels() {
  if (Driver().channelCount == 0) DriverTrace(TRACE_CLOSE, "");
}

// Step 2 of the open: settings, language, port and device. Returns false when
// the open must fail; *cameraNotFound tells whether a configured port and the
// scan both found nothing.
bool SetUpDevice(const char* openString, bool* cameraNotFound) {
  DriverState& d = Driver();
  const ChannelOps& ops = ChannelOpsTable();
  // A device a DRV_DISABLE left behind (its capture device closed) goes first,
  // so the new one does not leak it. Only the close of the last channel saves
  // settings: this one is released without writing anything.
  CloseDevice(nullptr);
  std::strcpy(d.iniPath, "zarncap.ini");
  IniPathFromOpenString(openString, d.iniPath);

  d.debugFlags = static_cast<WORD>(ReadDriverSetting(kDebugLevelSetting, d.iniPath));
  OpenTraceWindow();
  if (ReadDriverSetting(kForce4BitSetting, d.iniPath) != 0) {
    d.debugFlags = static_cast<WORD>((d.debugFlags & ~DEBUG_FORCE_BIDIR) | DEBUG_FORCE_4BIT);
  }
  d.lptPort = ReadDriverSetting(kLptPortSetting, d.iniPath);
  ReadDriverSetting(kLanguageSetting, d.languageName, sizeof d.languageName, d.iniPath);
  LanguageDialogs dialogs = DialogsForLanguage(d.languageName);
  d.sourceDialogId = dialogs.sourceDialogId;
  d.formatDialogId = dialogs.formatDialogId;
  PortFromOpenString(openString, &d.lptPort);

  if (d.lptPort != kNoPortChosen) {
    if (!ProbePort(d.lptPort) && !ScanPorts(&d.lptPort)) {
      *cameraNotFound = true;
      return false;
    }
  } else if (!ScanPorts(&d.lptPort)) {
    return false;
  }

  Channels().device = ops.openNUBODevice ? ops.openNUBODevice(d.lptPort, 0, d.iniPath, &d.sensorPeriod, &d.debugFlags)
                                : nullptr;
  if (Channels().device == nullptr) {
    // A failed set-up has released the port.
    d.openCount = 0;
    return false;
  }
  bool selected = ops.selectNUBODevice != nullptr && ops.selectNUBODevice(Channels().device);
  if (!selected || ops.setStreamMode == nullptr || !ops.setStreamMode(0)) {
    // A device that cannot be made current is of no use to the next open
    // either: give it and the port back rather than leak them.
    CloseDevice(nullptr);
    return false;
  }
  d.deviceReady = 1;
  if (ops.restartFrameTime != nullptr) ops.restartFrameTime();
  if (ops.resetDialogControls != nullptr) ops.resetDialogControls();
  return true;
}

LRESULT FailOpen(VIDEO_OPEN_PARMS* openParms, bool cameraNotFound) {
  CloseTraceWindowWithoutChannels();
  if (cameraNotFound && (Driver().debugFlags & DEBUG_NOCAMERA_BOXES) != 0) {
    platform::MessageBox(nullptr, kNoCameraText, kNoCameraCaption, MB_ICONWARNING);
  }
  openParms->dwError = DV_ERR_NOTDETECTED;
  return 0;
}

void Forget(DriverInstance* instance) {
  std::lock_guard lock(Channels().mutex);
  auto& live = Channels().live;
  live.erase(std::remove_if(live.begin(), live.end(), [instance](const auto& p) { return p.get() == instance; }),
             live.end());
}

}  // namespace

BOOL ProbePort(DWORD port) {
  if (port < 1 || port > 3) return FALSE;
  const ChannelOps& ops = ChannelOpsTable();
  bool selected = ops.selectPort != nullptr && ops.selectPort(static_cast<int>(port));
  if (selected && ops.openPort != nullptr && ops.openPort() == 0) return TRUE;
  ReleasePortNow();
  return FALSE;
}

BOOL ScanPorts(DWORD* port) {
  for (DWORD n = 1; n <= 3; ++n) {
    if (ProbePort(n)) {
      *port = n;
      return TRUE;
    }
  }
  return FALSE;
}

DriverInstance* OpenChannel(const char* openString, VIDEO_OPEN_PARMS* openParms) {
  if (openParms == nullptr) return nullptr;
  openParms->dwError = DV_ERR_OK;
  DriverState& d = Driver();

  if (d.deviceReady == 0) {
    bool cameraNotFound = false;
    if (!SetUpDevice(openString, &cameraNotFound)) {
      FailOpen(openParms, cameraNotFound);
      return nullptr;
    }
  }

  OpenTraceWindow();  // it went with the last channel; the device stayed up
  auto instance = InstanceRef(new (std::nothrow) DriverInstance{});
  if (!instance) {
    FailOpen(openParms, false);
    return nullptr;
  }

  const DWORD kind = openParms->dwFlags & 0x0F;
  bool opened = false;
  switch (kind) {
    case VIDEO_EXTERNALIN:
      opened = d.externalInCount < kMaxChannelsPerKind;
      DriverTrace(TRACE_LINE, "Video Open : VIDEO_EXTERNALIN %s", opened ? "ok" : "Fail");
      break;
    case VIDEO_EXTERNALOUT:
      DriverTrace(TRACE_LINE, "Video Open : VIDEO_EXTERNALOUT %s", "Fail");
      break;
    case VIDEO_IN:
      opened = d.videoInCount < kMaxChannelsPerKind;
      DriverTrace(TRACE_LINE, "Video Open : VIDEO_IN %s", opened ? "ok" : "Fail");
      break;
    case VIDEO_OUT:
      DriverTrace(TRACE_LINE, "Video Open : VIDEO_OUT");
      break;
    default:
      DriverTrace(TRACE_LINE, "Video Open : error - unknown channel");
      break;
  }
  if (!opened) {
    FailOpen(openParms, false);
    return nullptr;
  }

  ++*KindCounter(kind);
  instance->fccType = FOURCC_VCAP;
  instance->channelKind = kind;
  instance->openFlags = openParms->dwFlags;
  instance->session = d.session;
  ++d.channelCount;
  std::lock_guard lock(Channels().mutex);
  Channels().live.push_back(instance);
  return instance.get();
}

LRESULT CloseChannel(DriverInstance* instance) {
  DriverState& d = Driver();
  if (instance == nullptr) return 0;
  const ChannelOps& ops = ChannelOpsTable();
  // A streaming channel's stream ends before the channel does: every buffer
  // comes back and no callback follows the close.
  if (ops.closeStreamOf != nullptr) ops.closeStreamOf(instance);
  // A channel of an earlier session counts towards nothing any more.
  if (instance->session == d.session) {
    if (WORD* counter = KindCounter(instance->channelKind); counter != nullptr && *counter > 0) --*counter;
    if (d.channelCount > 0 && --d.channelCount == 0) CloseLastChannel();
  }
  Forget(instance);
  CloseTraceWindowWithoutChannels();
  return 0;
}

NUBODevice* ChannelDevice() { return Channels().device; }

InstanceRef FindInstance(DWORD_PTR driverId) {
  if (driverId == 0 || driverId == 1) return nullptr;
  std::lock_guard lock(Channels().mutex);
  for (const auto& instance : Channels().live) {
    if (reinterpret_cast<DWORD_PTR>(instance.get()) == driverId) return instance;
  }
  return nullptr;
}

void StartDriverSession() {
  DriverState& d = Driver();
  // The device goes without writing the settings file: DRV_ENABLE saves nothing.
  CloseDevice(nullptr);
  ++d.session;
  d.deviceReady = 0;
  ZeroChannelCounters();
}

void DisableDevice() {
  if (ChannelOpsTable().disableDevice != nullptr) ChannelOpsTable().disableDevice();
  Driver().deviceReady = 0;
  DriverTrace(TRACE_CLOSE, "");
}

void CloseAllChannels() {
  std::vector<InstanceRef> live;
  {
    std::lock_guard lock(Channels().mutex);
    live.swap(Channels().live);
  }
  for (const InstanceRef& instance : live) {
    if (ChannelOpsTable().closeStreamOf != nullptr) ChannelOpsTable().closeStreamOf(instance.get());
  }
  // Channels still open close as the last of them would (saving); a device
  // no channel holds any more is released without writing anything.
  if (Channels().device != nullptr && Driver().channelCount != 0) CloseLastChannel();
  else CloseDevice(nullptr);
  ZeroChannelCounters();
  DriverTrace(TRACE_CLOSE, "");
}

void ClosePortDeviceIfUnused() {
  DriverState& d = Driver();
  if (d.openCount != 0 || d.channelCount != 0 || Channels().device != nullptr) return;
  if (d.portDevice == INVALID_HANDLE_VALUE) return;
  if (ChannelOpsTable().closePortDevice != nullptr) ChannelOpsTable().closePortDevice(d.portDevice);
  d.portDevice = INVALID_HANDLE_VALUE;
}
