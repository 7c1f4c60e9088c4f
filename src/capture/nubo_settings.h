// Section "NUBO" of the settings file: the capture settings of the device, read
// at device set-up and written back at teardown so that changes made through
// the dialogs and private messages persist.
#pragma once

#include "platform/types.h"

struct NUBODevice;

inline constexpr char kNUBOSection[] = "NUBO";

// The keys in the order they are read and written, with their defaults.
struct NUBOKey {
  const char* name;
  int defaultValue;
};
inline constexpr NUBOKey kNUBOKeys[] = {
    {"TemporalDifference", 1},  // given to the camera's frame transfer
    {"AutoThreshold", 0},       // non-zero: adaptive thresholds after each mode-2 frame
    {"ImageQuality", 75},       // 0..100; values outside are limited
    {"CameraGain", 0},          // sensor gain step
    {"FastStream", 1},          // non-zero: small RGB formats stream from a half-size camera window
};
enum NUBOKeyIndex { kTemporalDifference, kAutoThreshold, kImageQuality, kCameraGain, kFastStream, kNUBOKeyCount };
static_assert(sizeof kNUBOKeys / sizeof kNUBOKeys[0] == kNUBOKeyCount);

// Selects the device, reads the five keys and applies them. TRUE only when the
// transfer settings, the quality and the gain were all applied.
BOOL ReadNUBOInit(NUBODevice* device, const char* iniPath);
// Selects the device and writes the five keys (nothing without a path).
BOOL WriteNUBOInit(NUBODevice* device, const char* iniPath);
