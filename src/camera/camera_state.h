// The camera layer's process-wide state in one place: the current capture
// device, the sensor tables' gain levels, the EEPROM image, the defect table
// and the correction lists, kept in the driver context.
#pragma once

#include "camera/capture_device.h"
#include "camera/defect_types.h"
#include "core/driver_context.h"

struct SensorOps;

constexpr std::size_t kEepromImageSize = 512;

struct CameraState {
  static constexpr int kResetRank = 30;  // by layer, highest first (see core/README.md)
  // Back to a freshly loaded layer. The current capture device and sensor
  // table are forgotten, not freed: they belong to whoever made them (the
  // capture engine's device record, or a test), which frees them in any order.
  void Reset() { *this = CameraState{}; }

  // The current capture device: set by SelectCaptureDevice, forgotten by
  // ResetCaptureDevices, freed by FreeCaptureDevice / CloseCaptureDevices.
  CaptureDevice* current = nullptr;
  // The sensor table of the current camera (the one the defect-map store
  // brackets its EEPROM reads with); set when a table is made, cleared when it is freed.
  SensorOps* sensorOps = nullptr;
  // Gain level per sensor kind, as GetGainLevel reports it.
  int gainLevelKind0 = 0;
  int gainLevelKind1 = 0;
  // EEPROM size found by the last ProbeEEPROMSize (bits).
  DWORD eepromBits = 0;
  // Memory image of the camera EEPROM (second page at offset 248).
  BYTE eepromImage[kEepromImageSize] = {};
  DefectTable defectTable = {};
  DefectList defectList = {};
  CorrectionWindow correctionWindow = {};
  CorrectionList correctionList = {};
  // Bytes of the frame the correction list was prepared for; repairs never
  // touch a byte at or beyond it.
  DWORD correctionFrameBytes = 0;
};

CameraState& Camera();
// The current capture device, nullptr when none is selected.
CaptureDevice* CurrentCaptureDevice();
