// The capture engine's device record (NUBODevice: the raw frame buffer, the
// camera layer's capture device, the colour layer's converter, the sensor
// operations of the detected sensor kind and the capture state) and the
// capture layer's process-wide state: the selected device, currentFormat and
// the frame time base. Selecting a device makes its camera and colour objects
// current too.
#pragma once

#include <memory>

#include "camera/camera_bus.h"
#include "camera/capture_device.h"
#include "colspace/colspace.h"
#include "core/driver_context.h"
#include "core/frame_limits.h"
#include "platform/types.h"

struct SensorOps;

struct NUBODevice {
  // Which set-up made this record: a record freed and another made at the same
  // address are told apart by it.
  DWORD generation = 0;
  DWORD port = 0;
  DWORD deviceArgument = 0;
  std::unique_ptr<BYTE[]> hRawBuffer;  // allocated once per device
  BYTE* rawData = nullptr;             // hRawBuffer while the device is current
  DWORD rawSize = 0;
  DWORD rawCount = 0;  // bytes of the last raw read; 0 = no frame was ready
  HCAPTUREDEVICE captureDevice = nullptr;
  HCOLSPACE converter = nullptr;
  SensorOps* sensorOps = nullptr;
  DWORD CameraKind = 0;  // the number of the sensor kind found (camera/sensor_kinds.h)
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
  static constexpr int kResetRank = 50;  // by layer, highest first (see core/README.md)
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
  // Counts device set-ups; each new device takes the next number.
  DWORD generations = 0;
};
CaptureState& Capture();
// Frame times count from now.
void RestartFrameTime();

BOOL SelectNUBODevice(NUBODevice* device);
NUBODevice* CurrentNUBODevice();
// The capture device the camera layer acts on for this device; nullptr for no
// device, or one whose capture device is gone.
inline CaptureDevice* CameraOf(const NUBODevice* device) {
  return device != nullptr ? device->captureDevice : nullptr;
}
// Forgets the current device without releasing it (a re-enabled driver).
void ForgetNUBODevice();
// Frees what the device owns, in the reverse order of set-up, and the record.
// The converter is freed with the given settings path (none: nothing is
// saved). The port is the caller's to release.
void FreeNUBODevice(NUBODevice* device, const char* iniPath);

