// The capture engine's device record (NUBODevice): the raw frame buffer, the
// camera layer's capture device, the colour layer's converter, the sensor
// operations of the detected sensor kind and the capture state. Owns the
// device's set-up and teardown, its selection and its transfer settings, and
// the capture layer's process-wide state (the current device, currentFormat).
#pragma once

#include <memory>

#include "camera/camera_bus.h"
#include "camera/capture_device.h"
#include "colspace/colspace.h"
#include "core/driver_context.h"
#include "platform/types.h"

struct SensorOps;

constexpr DWORD kRawBufferSize = 79056;  // 0x134D0: the largest mode-1 frame, 324 x 244
constexpr WORD kDefaultImageQuality = 75;
constexpr int kSensorStartupMode = 10;

struct NUBODevice {
  DWORD port = 0;
  DWORD deviceArgument = 0;
  std::unique_ptr<BYTE[]> hRawBuffer;  // allocated once per device
  BYTE* rawData = nullptr;             // hRawBuffer while the device is current
  DWORD rawSize = 0;
  DWORD rawCount = 0;  // bytes of the last raw read; 0 = no frame was ready
  HCAPTUREDEVICE captureDevice = nullptr;
  HCOLSPACE converter = nullptr;
  SensorOps* sensorOps = nullptr;
  DWORD CameraKind = 0;  // 0: the sensor probe succeeded (kind 0); 1 otherwise
  DWORD resync = 0;         // the next grab first asks for a fresh sensor frame
  DWORD formatInvalid = 0;  // the last format was refused: grabs fail
  DWORD streamMode = 0;     // 0 single frame, 1 streaming
  DWORD transferControl = 0;
  DWORD autoThreshold = 0;
  std::int16_t imageQuality = 0;
  BITMAPINFOHEADER clientFormat{};
  DWORD fastStream = 0;
  DWORD fastStreamActive = 0;
  DWORD quarterFrame = 0;  // the 176 x 144 set-up is in force
  DWORD cameraMode = 0;
  DWORD temporalDifference = 0;
  BITMAPINFOHEADER cameraFormat{};
};

// The capture layer's process-wide state.
struct CaptureState {
  static constexpr ModuleSlot kSlot = ModuleSlot::Capture;
  // Ends any stream, frees the current device (saving nothing) and forgets
  // currentFormat.
  void Reset();

  NUBODevice* current = nullptr;  // the selected device
  // The format DVM_FORMAT reports and DVM_FRAME counts its bytes from; all zero
  // at load, kept across device teardown.
  BITMAPINFOHEADER currentFormat{};
  // Whether currentFormat describes what the current device was last asked
  // for. A device made afresh starts at the defaults, so a SET of the old
  // currentFormat must then be applied rather than answered as "no change".
  bool currentFormatOnDevice = false;
  // The millisecond clock value frame times count from: set when the device
  // becomes ready and again at each stream start.
  DWORD timeBase = 0;
};
CaptureState& Capture();
// Frame times count from now.
void RestartFrameTime();

// ---- lifecycle
// Builds and selects a device on the given port; nullptr after any failure,
// when the port has been released. Fills *sensorPeriod (ms). When the port only
// works in 4-bit mode, *debugFlags (the caller's "DebugLevel" word, which the
// port layer reads for its mode) is switched to forced 4-bit before the retry.
NUBODevice* OpenNUBODevice(DWORD port, DWORD deviceArgument, const char* iniPath, WORD* sensorPeriod,
                           WORD* debugFlags);
// Saves section "NUBO" (and the colour layer saves "COLSPACE") when iniPath is
// given, frees everything the device owns and releases the port.
void CloseNUBODevice(NUBODevice* device, const char* iniPath);
BOOL SelectNUBODevice(NUBODevice* device);
// DRV_DISABLE: ends any stream and frees the camera layer's capture device. The
// device record keeps no pointer to it: its frames fail until it is torn down.
void DisableNUBODevice();
// Forgets the current device without releasing it (a re-enabled driver).
void ForgetNUBODevice();
NUBODevice* CurrentNUBODevice();

// ---- settings of the current device
BOOL SetNUBODefaults();
BOOL TimeSensorPeriod(WORD* period);
BOOL SetStreamMode(DWORD mode);
BOOL SetTransferControl(DWORD transferControl, DWORD temporalDifference, DWORD autoThreshold);
BOOL SetImageQuality(int quality);
// The compression thresholds a quality gives: k and k / 2.
void QualityThresholds(std::int16_t quality, std::int16_t* threshold1, std::int16_t* threshold2);
