#include "driver/channel.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "core/driver_state.h"
#include "driver/channel_ops.h"
#include "driver/driver_settings.h"
#include "driver/open_string.h"
#include "platform/platform.h"
#include "ui/trace.h"

namespace {

struct ChannelState {
  std::mutex mutex;  // hosts may open and close channels from several threads
  std::vector<std::unique_ptr<DriverInstance>> live;
};

ChannelState& Channels() {
  static ChannelState state;
  return state;
}

constexpr char kNoCameraCaption[] = "DBG_NOCAMERA";
constexpr char kNoCameraText[] = "No camera attached to pc";

// ReleasePort's effect on the driver's counter holds even before a port layer is bound.
void ReleasePortNow() {
  if (ChannelOpsTable().releasePort != nullptr) ChannelOpsTable().releasePort();
  else Driver().openCount = 0;
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

// Step 2 of the open: settings, language, port and device. Returns false when
// the open must fail; *cameraNotFound tells whether a configured port and the
// scan both found nothing.
bool SetUpDevice(const char* openString, bool* cameraNotFound) {
  DriverState& d = Driver();
  const ChannelOps& ops = ChannelOpsTable();
  std::strcpy(d.iniPath, "zarncap.ini");
  IniPathFromOpenString(openString, d.iniPath);

  d.debugFlags = static_cast<WORD>(ReadDriverSetting(kDebugLevelSetting, d.iniPath));
  DriverTrace(TRACE_OPEN, "");
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

  d.device = ops.openNUBODevice ? ops.openNUBODevice(d.lptPort, 0, d.iniPath, &d.sensorPeriod) : nullptr;
  if (d.device == nullptr) return false;
  bool selected = ops.selectNUBODevice != nullptr && ops.selectNUBODevice(d.device);
  if (!selected || ops.setStreamMode == nullptr || !ops.setStreamMode(0)) {
    // A device that cannot be made current is of no use to the next open
    // either: give it and the port back rather than leak them.
    if (ops.closeNUBODevice != nullptr) ops.closeNUBODevice(d.device, nullptr);
    else ReleasePortNow();
    d.device = nullptr;
    return false;
  }
  d.deviceReady = 1;
  d.timeBase = platform::TimeGetTime();
  if (ops.resetDialogControls != nullptr) ops.resetDialogControls();
  return true;
}

LRESULT FailOpen(VIDEO_OPEN_PARMS* openParms, bool cameraNotFound) {
  if (cameraNotFound && (Driver().debugFlags & DEBUG_NOCAMERA_BOXES) != 0) {
    platform::MessageBox(nullptr, kNoCameraText, kNoCameraCaption, MB_ICONWARNING);
  }
  openParms->dwError = DV_ERR_NOTDETECTED;
  return 0;
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

  auto instance = std::unique_ptr<DriverInstance>(new (std::nothrow) DriverInstance{});
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
  ++d.channelCount;
  std::lock_guard lock(Channels().mutex);
  Channels().live.push_back(std::move(instance));
  return Channels().live.back().get();
}

LRESULT CloseChannel(DriverInstance* instance) {
  DriverState& d = Driver();
  if (instance == nullptr) return 0;
  // Counters never wrap: after a DRV_ENABLE zeroed them, closing an instance
  // from before must not turn them into 65535.
  if (WORD* counter = KindCounter(instance->channelKind); counter != nullptr && *counter > 0) --*counter;
  if (d.channelCount > 0 && --d.channelCount == 0) {
    WriteDriverSetting(kLptPortSetting, d.lptPort, d.iniPath);
    if (ChannelOpsTable().closeNUBODevice != nullptr) ChannelOpsTable().closeNUBODevice(d.device, d.iniPath);
    else ReleasePortNow();
    d.device = nullptr;
    d.deviceReady = 0;
  }
  {
    std::lock_guard lock(Channels().mutex);
    auto& live = Channels().live;
    live.erase(std::remove_if(live.begin(), live.end(), [instance](const auto& p) { return p.get() == instance; }),
               live.end());
  }
  DriverTrace(TRACE_CLOSE, "");
  return 0;
}

DriverInstance* FindInstance(DWORD_PTR driverId) {
  if (driverId == 0 || driverId == 1) return nullptr;
  std::lock_guard lock(Channels().mutex);
  for (const auto& instance : Channels().live) {
    if (reinterpret_cast<DWORD_PTR>(instance.get()) == driverId) return instance.get();
  }
  return nullptr;
}

void ResetChannels() {
  std::lock_guard lock(Channels().mutex);
  Channels().live.clear();
}
