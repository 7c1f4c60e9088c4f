#include "capture/device_settings.h"

#include "camera/zarncam.h"
#include "capture/capture_state.h"
#include "capture/device_lock.h"

BOOL SetStreamMode(DWORD mode) {
  DeviceGuard lock(DeviceLock());
  if (Capture().current != nullptr) Capture().current->streamMode = mode;
  // Only a streaming camera is polled for readiness before each read.
  SetSkipReadyPoll(CameraOf(Capture().current), mode != 1 ? 1 : 0);
  return TRUE;
}

BOOL SetTransferControl(DWORD transferControl, DWORD temporalDifference, DWORD autoThreshold) {
  DeviceGuard lock(DeviceLock());
  NUBODevice* device = Capture().current;
  if (device == nullptr) return FALSE;
  device->resync = 1;
  device->transferControl = transferControl;
  device->temporalDifference = temporalDifference;
  device->autoThreshold = autoThreshold;
  return SetCaptureOptions(device->captureDevice, 0, 0, temporalDifference);
}

void QualityThresholds(std::int16_t quality, std::int16_t* threshold1, std::int16_t* threshold2) {
  const int k = ((100 - quality) * 14) / 100 + 2;
  *threshold1 = static_cast<std::int16_t>(k);
  *threshold2 = static_cast<std::int16_t>(k / 2);
}

BOOL SetImageQuality(int quality) {
  DeviceGuard lock(DeviceLock());
  auto q = static_cast<std::int16_t>(static_cast<WORD>(quality & 0xFFFF));
  if (q < 0) q = 0;
  if (q > 100) q = 100;
  if (Capture().current != nullptr) Capture().current->imageQuality = q;
  std::int16_t k1;
  std::int16_t k2;
  QualityThresholds(q, &k1, &k2);
  SetThresholds(CameraOf(Capture().current), k1, k2);
  return TRUE;
}
