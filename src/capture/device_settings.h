// The current device's transfer settings: stream mode (with the camera's
// readiness poll), transfer control with temporal difference and automatic
// threshold, and image quality with the compression thresholds it gives.
#pragma once

#include <cstdint>

#include "platform/types.h"

BOOL SetStreamMode(DWORD mode);
BOOL SetTransferControl(DWORD transferControl, DWORD temporalDifference, DWORD autoThreshold);
BOOL SetImageQuality(int quality);
// The compression thresholds a quality gives: k and k / 2.
void QualityThresholds(std::int16_t quality, std::int16_t* threshold1, std::int16_t* threshold2);
