// Device set-up and teardown: OpenNUBODevice builds the device in a fixed order
// of named steps, each of which can fail with its own message; CloseNUBODevice
// saves the capture settings and releases everything.
#include "capture/nubo_device.h"

#include <new>

#include "camera/sensor_kinds.h"
#include "camera/zarncam.h"
#include "capture/device_lock.h"
#include "capture/format.h"
#include "capture/nubo_settings.h"
#include "capture/stream.h"
#include "colspace/format_header.h"
#include "core/driver_state.h"
#include "platform/platform.h"
#include "port/port.h"

namespace {

// A set-up step failed: say which, when the user asked to see set-up failures.
void ShowInitFailure(const char* text) {
  if ((Driver().debugFlags & DEBUG_INITNUBO_BOXES) != 0) {
    platform::MessageBox(nullptr, text, "DBG_INITNUBO", MB_ICONWARNING);
  }
}

NUBODevice* FailOpen(NUBODevice* device, const char* text) {
  ShowInitFailure(text);
  FreeNUBODevice(device, nullptr);
  ReleasePort();
  return nullptr;
}

}  // namespace

NUBODevice* OpenNUBODevice(DWORD port, DWORD deviceArgument, const char* iniPath, WORD* sensorPeriod,
                           WORD* debugFlags) {
  DeviceGuard lock(DeviceLock());
  // 1. The record.
  NUBODevice* device = new (std::nothrow) NUBODevice;
  if (device == nullptr) return nullptr;
  device->generation = ++Capture().generations;
  device->port = port;
  device->deviceArgument = deviceArgument;

  // 2. The raw frame buffer, once for the device's whole life.
  device->hRawBuffer.reset(new (std::nothrow) BYTE[kRawBufferSize]());
  if (!device->hRawBuffer) return FailOpen(device, "Failed to alloc hRawBuffer");
  device->rawSize = kRawBufferSize;

  // 3. The capture device; a port that only works in 4-bit mode gets a second try.
  const auto cameraPort = static_cast<std::int16_t>(port);
  const auto option = static_cast<std::int16_t>(deviceArgument);
  device->captureDevice = InitCaptureDevice(cameraPort, option);
  if (device->captureDevice == nullptr) {
    // The caller's flags are the ones the port layer reads for its mode.
    if (debugFlags != nullptr) *debugFlags = static_cast<WORD>((*debugFlags & ~DEBUG_FORCE_BIDIR) | DEBUG_FORCE_4BIT);
    device->captureDevice = InitCaptureDevice(cameraPort, option);
    if (device->captureDevice == nullptr) return FailOpen(device, "InitCaptureDevice Failed");
    // Later opens start in 4-bit mode straight away.
    if (iniPath != nullptr) platform::WritePrivateProfileString("ZARNCAP", "Force4Bit", "1", iniPath);
  }

  // 4..6. Camera and colour layers' current objects.
  if (!SelectCaptureDevice(device->captureDevice)) return FailOpen(device, "SelectCaptureDevice failed");
  device->converter = InitColSpace(iniPath);
  if (device->converter == nullptr) return FailOpen(device, "InitColSpace failed");
  if (!SelectColSpace(device->converter)) return FailOpen(device, "SelectColSpace failed");

  // 7. The sensor kind decides the sensor operation table: the first kind
  // found on the bus.
  for (const SensorKind& kind : SensorKinds()) {
    if (!kind.found(kSensorBusAddress)) continue;
    device->sensorOps = kind.create(0, kSensorBusAddress);
    device->CameraKind = kind.number;
    break;
  }
  if (device->sensorOps == nullptr) return FailOpen(device, "Unable to detect camera type");

  // 8. Sensor start-up.
  if (device->sensorOps->SetCameraMode(device->sensorOps, kSensorStartupMode) != SENSOR_OK) {
    return FailOpen(device, "Failed to set camera mode");
  }

  // 9. The device becomes current.
  if (!SelectNUBODevice(device)) return FailOpen(device, "SelectNUBODevice failed");

  // 10. The defect map from the camera memory; a camera without one still works.
  LoadDefectMap(device->sensorOps, Camera().defectTable.Bytes(), kDefectMapEntries);

  // 11..14. Defaults and the 160 x 120 RGB24 format, the sensor period, the
  // largest transfer the port can make, and the saved capture settings.
  if (!SetNUBODefaults()) return FailOpen(device, "SetNUBODefaults failed");
  if (!TimeSensorPeriod(device->captureDevice, sensorPeriod)) return FailOpen(device, "TimeSensorPeriod failed");
  ProbeTransferSize(device->captureDevice, device->rawData, device->rawSize);
  if (!ReadNUBOInit(device, iniPath)) return FailOpen(device, "ReadNUBOInit failed");

  // A new device runs the defaults, whatever currentFormat still says.
  Capture().currentFormatOnDevice = false;
  return device;
}

void CloseNUBODevice(NUBODevice* device, const char* iniPath) {
  // A stream still running (DRV_ENABLE takes the device from under its
  // channels) ends as a channel close would end it, before the device goes.
  InStreamEnd();
  InStreamShutdown();
  DeviceGuard lock(DeviceLock());
  if (device != nullptr) {
    WriteNUBOInit(device, iniPath);
    FreeNUBODevice(device, iniPath);
  }
  Capture().currentFormatOnDevice = false;
  ReleasePort();
}

void DisableNUBODevice() {
  // A stream on the device ends first, as a channel close would end it: no
  // tick may reach a freed capture device.
  InStreamEnd();
  InStreamShutdown();
  DeviceGuard lock(DeviceLock());
  if (NUBODevice* device = Capture().current; device != nullptr && device->captureDevice != nullptr) {
    FreeCaptureDevice(device->captureDevice);
    device->captureDevice = nullptr;
  }
  CloseCaptureDevices();
}

BOOL SetNUBODefaults() {
  DeviceGuard lock(DeviceLock());
  NUBODevice* device = Capture().current;
  if (device == nullptr) return FALSE;
  device->resync = 1;
  device->formatInvalid = 0;
  if (!SetStreamMode(0) || !SetTransferControl(1, 1, 0) || !SetImageQuality(kDefaultImageQuality)) return FALSE;

  BITMAPINFOHEADER header = MakeFormatHeader(kNewDeviceWidth, kNewDeviceHeight, 24, BI_RGB);
  if (!AcceptFormat(device, &header)) return FALSE;
  if (device->cameraMode == CAPTURE_MODE_YUV) {
    const double* matrix = GetColourMatrix(device->converter);
    if (matrix != nullptr) SetConversionMatrix(device->captureDevice, matrix);
  }
  return TRUE;
}

BOOL TimeSensorPeriod(CaptureDevice* camera, WORD* period) {
  if (!ApplyCaptureSettings(camera) || !ApplyCaptureSettings(camera)) return FALSE;
  const DWORD start = platform::TimeGetTime();
  ApplyCaptureSettings(camera);
  const DWORD elapsed = platform::TimeGetTime() - start;
  if (period != nullptr) *period = static_cast<WORD>(elapsed);
  return TRUE;
}

