#include "capture/capture_state.h"

#include "camera/sensor_ops.h"
#include "camera/zarncam.h"
#include "capture/device_lock.h"
#include "colspace/colspace.h"
#include "platform/platform.h"

void FreeNUBODevice(NUBODevice* device, const char* iniPath) {
  if (Capture().current == device) Capture().current = nullptr;
  device->rawData = nullptr;
  if (device->converter != nullptr) FreeColSpace(device->converter, iniPath);
  if (device->captureDevice != nullptr) FreeCaptureDevice(device->captureDevice);
  if (device->sensorOps != nullptr) {
    if (CurrentSensorOps() == device->sensorOps) SelectSensorOps(nullptr);
    FreeSensorOps(device->sensorOps);
  }
  delete device;
}

CaptureState& Capture() { return Context().Module<CaptureState>(); }

void CaptureState::Reset() {
  DeviceGuard lock(DeviceLock());
  // A device a test left open goes, without saving anything.
  if (current != nullptr) FreeNUBODevice(current, nullptr);
  const DWORD madeSoFar = generations;  // a device made after a reset is still a new one
  *this = CaptureState{};
  generations = madeSoFar;
}

void RestartFrameTime() {
  DeviceGuard lock(DeviceLock());
  Capture().timeBase = platform::TimeGetTime();
}

NUBODevice* CurrentNUBODevice() { return Capture().current; }

void ForgetNUBODevice() {
  DeviceGuard lock(DeviceLock());
  if (Capture().current != nullptr) Capture().current->rawData = nullptr;
  Capture().current = nullptr;
}

BOOL SelectNUBODevice(NUBODevice* device) {
  DeviceGuard lock(DeviceLock());
  if (device == nullptr) return FALSE;
  if (Capture().current == device) return TRUE;
  if (Capture().current != nullptr) {
    Capture().current->rawData = nullptr;
    Capture().current = nullptr;
  }
  if (!device->hRawBuffer) return FALSE;
  device->rawData = device->hRawBuffer.get();
  Capture().current = device;
  if (SelectCaptureDevice(device->captureDevice) && SelectColSpace(device->converter)) {
    if (device->sensorOps != nullptr) SelectSensorOps(device->sensorOps);
    return TRUE;
  }
  device->rawData = nullptr;
  Capture().current = nullptr;
  return FALSE;
}
