// Reading and writing section "NUBO" (see nubo_settings.h).
#include "capture/nubo_settings.h"

#include <cstdio>

#include "camera/sensor_ops.h"
#include "capture/device_lock.h"
#include "capture/capture_state.h"
#include "capture/device_settings.h"
#include "platform/platform.h"

BOOL ReadNUBOInit(NUBODevice* device, const char* iniPath) {
  DeviceGuard lock(DeviceLock());
  if (!SelectNUBODevice(device) || iniPath == nullptr) return FALSE;
  int values[kNUBOKeyCount];
  for (int i = 0; i < kNUBOKeyCount; ++i) {
    values[i] = static_cast<int>(
        platform::GetPrivateProfileInt(kNUBOSection, kNUBOKeys[i].name, kNUBOKeys[i].defaultValue, iniPath));
  }
  // All three are applied even when an earlier one fails.
  const BOOL transfer = SetTransferControl(1, static_cast<DWORD>(values[kTemporalDifference]),
                                           static_cast<DWORD>(values[kAutoThreshold]));
  const BOOL quality = SetImageQuality(values[kImageQuality]);
  SensorOps* ops = device->sensorOps;
  const bool gain = ops != nullptr && ops->SetGainLevel(ops, values[kCameraGain]) == SENSOR_OK;
  device->fastStream = static_cast<DWORD>(values[kFastStream]);
  return transfer && quality && gain ? TRUE : FALSE;
}

BOOL WriteNUBOInit(NUBODevice* device, const char* iniPath) {
  DeviceGuard lock(DeviceLock());
  if (!SelectNUBODevice(device)) return FALSE;
  SensorOps* ops = device->sensorOps;
  int values[kNUBOKeyCount];
  values[kTemporalDifference] = static_cast<int>(device->temporalDifference);
  values[kAutoThreshold] = static_cast<int>(device->autoThreshold);
  values[kImageQuality] = device->imageQuality;
  values[kCameraGain] = ops != nullptr ? ops->GetGainLevel(ops) : 0;
  values[kFastStream] = static_cast<int>(device->fastStream);
  if (iniPath == nullptr) return TRUE;
  for (int i = 0; i < kNUBOKeyCount; ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", values[i]);
    platform::WritePrivateProfileString(kNUBOSection, kNUBOKeys[i].name, text, iniPath);
  }
  return TRUE;
}
