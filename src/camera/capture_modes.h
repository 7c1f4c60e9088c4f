// Capture mode, frame size and the sensor window they give, and the capture
// options and compression thresholds of the current capture device.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct CaptureDevice;

// Frame size limits: every mode needs at least 80 x 60; mode 2 at most 160 x 136.
constexpr WORD kMinFrameWidth = 80;
constexpr WORD kMinFrameHeight = 60;
constexpr WORD kMaxYuvFrameWidth = 160;
constexpr WORD kMaxYuvFrameHeight = 136;

BOOL SetCaptureMode(DWORD mode);
// Stores the size and recomputes the window. In mode 1 the result is FALSE when
// the port cannot move half a frame in one transfer (the size stays stored).
BOOL SetFrameSize(WORD width, WORD height);
// Window and frameBytes of the device's mode and size.
void ComputeCaptureWindow(CaptureDevice* device);
void GetCaptureWindow(std::int16_t* x0, std::int16_t* y0, std::int16_t* x1, std::int16_t* y1);
BOOL SetCaptureOptions(DWORD option80, DWORD optionSpare, DWORD temporalDifference);
BOOL SetThresholds(std::int16_t threshold1, std::int16_t threshold2);
BOOL GetThresholds(std::int16_t* threshold1, std::int16_t* threshold2);
BOOL SetSkipReadyPoll(DWORD flag);
