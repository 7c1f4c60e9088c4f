#include "driver/dialogs.h"

#include "capture/nubo_device.h"
#include "core/driver_context.h"
#include "core/driver_state.h"
#include "driver/channel.h"
#include "driver/channel_ops.h"
#include "driver/driver_settings.h"
#include "port/port.h"

namespace {

constexpr char kDetailsSettings[] = "zarncap.ini";

bool ModeForced(WORD debugFlags) { return (debugFlags & (DEBUG_FORCE_BIDIR | DEBUG_FORCE_4BIT)) != 0; }

void NoteSensor(const NUBODevice* device, CameraDetails* found) {
  found->sensor = SensorFinding::kFound;
  found->cameraKind = device->CameraKind;
}

// Sets a device up on the port just found, reads its sensor kind and tears it
// down again, saving its settings; a device that cannot be selected is closed
// too rather than left holding the port.
void ProbeSensor(DWORD port, CameraDetails* found) {
  DriverState& d = Driver();
  const ChannelOps& ops = ChannelOpsTable();
  WORD period = 0;
  NUBODevice* device =
      ops.openNUBODevice != nullptr ? ops.openNUBODevice(port, 0, kDetailsSettings, &period, &d.debugFlags) : nullptr;
  if (device == nullptr) {
    found->sensor = SensorFinding::kInitError;
    return;
  }
  const bool selected = ops.selectNUBODevice != nullptr && ops.selectNUBODevice(device);
  if (selected) NoteSensor(device, found);
  else found->sensor = SensorFinding::kSelectError;
  if (ops.closeNUBODevice != nullptr) ops.closeNUBODevice(device, selected ? kDetailsSettings : nullptr);
}

}  // namespace

CameraDetails FindCameraDetails() {
  DriverLockHold lock;  // the search works on the driver's record
  DriverState& d = Driver();
  CameraDetails found;
  if (ChannelDevice() != nullptr) {
    found.portFound = true;
    found.port = d.lptPort;
    found.portMode = GetPortMode();
    found.forcedMode = ModeForced(d.debugFlags);
    NoteSensor(ChannelDevice(), &found);
    return found;
  }
  d.debugFlags = static_cast<WORD>(ReadDriverSetting(kDebugLevelSetting, kDetailsSettings));
  if (ReadDriverSetting(kForce4BitSetting, kDetailsSettings) != 0) {
    d.debugFlags = static_cast<WORD>((d.debugFlags & ~DEBUG_FORCE_BIDIR) | DEBUG_FORCE_4BIT);
  }
  const LONG openCount = d.openCount;
  d.detailsSearch = true;
  // The port the settings name first, as a channel open tries it.
  DWORD port = ReadDriverSetting(kLptPortSetting, kDetailsSettings);
  if ((port != kNoPortChosen && ProbePort(port)) || ScanPorts(&port)) {
    found.portFound = true;
    found.port = port;
    ProbeSensor(port, &found);
    // The mode and its forced mark at one moment, after the probe: a device
    // that only worked once retried in 4-bit mode has changed both.
    found.portMode = GetPortMode();
    found.forcedMode = ModeForced(d.debugFlags);
  }
  d.detailsSearch = false;
  d.openCount = openCount;  // releasing the port must not end the host's own opens
  return found;
}

void ConfigureDriver(HWND owner) {
  // The user has the dialog as long as they like: the host's other threads carry on.
  DriverLockRelease release;
  ShowDetailsDialog(Driver().moduleInstance, owner, &FindCameraDetails);
}
