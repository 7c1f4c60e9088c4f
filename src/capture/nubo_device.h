// Device set-up and teardown: OpenNUBODevice builds the device in a fixed
// order of named steps, CloseNUBODevice saves its settings and releases it,
// DRV_DISABLE closes its capture device; also the defaults a new device starts
// from and the measure of the sensor's frame period.
#pragma once

#include "capture/capture_state.h"
#include "capture/device_settings.h"
#include "platform/types.h"

constexpr WORD kDefaultImageQuality = 75;
// The format a new device starts with: 160 x 120 RGB24.
constexpr LONG kNewDeviceWidth = 160;
constexpr LONG kNewDeviceHeight = 120;
constexpr int kSensorStartupMode = 10;

// Builds and selects a device on the given port; nullptr after any failure,
// when the port has been released. Fills *sensorPeriod (ms). When the port only
// works in 4-bit mode, *debugFlags (the caller's "DebugLevel" word, which the
// port layer reads for its mode) is switched to forced 4-bit before the retry.
NUBODevice* OpenNUBODevice(DWORD port, DWORD deviceArgument, const char* iniPath, WORD* sensorPeriod,
                           WORD* debugFlags);
// Saves section "NUBO" (and the colour layer saves "COLSPACE") when iniPath is
// given, frees everything the device owns and releases the port.
void CloseNUBODevice(NUBODevice* device, const char* iniPath);
// DRV_DISABLE: ends any stream and frees the camera layer's capture device. The
// device record keeps no pointer to it: its frames fail until it is torn down.
void DisableNUBODevice();

BOOL SetNUBODefaults();
BOOL TimeSensorPeriod(CaptureDevice* camera, WORD* period);
