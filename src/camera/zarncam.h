// The camera layer (camera/zarncam): the capture device of the opened port, its
// lifecycle and the sensor-kind probe. Including this header brings in the whole
// layer: blocks and bus, modes, sensor tables, EEPROM, defect map, raw frames.
#pragma once

#include "camera/camera_bus.h"
#include "camera/camera_state.h"
#include "camera/capture_device.h"
#include "camera/capture_modes.h"
#include "camera/defect_map.h"
#include "camera/eeprom.h"
#include "camera/eeprom_segments.h"
#include "camera/raw_frame.h"
#include "camera/sensor_ops.h"
#include "camera/wait.h"

// The source path the camera layer names itself by in its messages.
inline constexpr char kZarncamCaption[] = "camera/zarncam";

// Forgets the current capture device without releasing it. TRUE.
BOOL ResetCaptureDevices();
// Opens the camera on an LPT port and makes a capture device for it; nullptr on
// failure (the port is then left open: releasing it is the caller's step).
HCAPTUREDEVICE InitCaptureDevice(std::int16_t port, std::int16_t option);
// The capture defaults: mode 2, 160 x 120, no options, thresholds 0.
void SetCaptureDefaults(CaptureDevice* device);
// Makes the device current and selects its port. On failure no device is current.
BOOL SelectCaptureDevice(HCAPTUREDEVICE handle);
void FreeCaptureDevice(HCAPTUREDEVICE handle);
// Frees the current device if there is one.
void CloseCaptureDevices();

// Reads the sensor's 4-byte identification at the given bus write address. TRUE
// for a sensor of kind 0 (third byte's low nibble 0). A failed second pass shows
// "DetectZarncam error #2" and gives FALSE.
BOOL DetectZarncam(BYTE busAddress);
