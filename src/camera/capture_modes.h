// Capture mode, frame size and the sensor window they give, and the capture
// options and compression thresholds of a capture device. Each takes the
// device it acts on and does nothing (FALSE) without one.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct CaptureDevice;

// Frame size limits: every mode needs at least 80 x 60; mode 2 at most 160 x 136.
constexpr WORD kMinFrameWidth = 80;
constexpr WORD kMinFrameHeight = 60;
constexpr WORD kMaxYuvFrameWidth = 160;
constexpr WORD kMaxYuvFrameHeight = 136;

BOOL SetCaptureMode(CaptureDevice* device, DWORD mode);
// Stores the size and recomputes the window. In mode 1 the result is FALSE when
// the port cannot move half a frame in one transfer (the size stays stored).
BOOL SetFrameSize(CaptureDevice* device, WORD width, WORD height);
// Window and frameBytes of the device's mode and size.
void ComputeCaptureWindow(CaptureDevice* device);
void GetCaptureWindow(const CaptureDevice* device, std::int16_t* x0, std::int16_t* y0, std::int16_t* x1,
                      std::int16_t* y1);
BOOL SetCaptureOptions(CaptureDevice* device, DWORD option80, DWORD optionSpare, DWORD temporalDifference);
BOOL SetThresholds(CaptureDevice* device, std::int16_t threshold1, std::int16_t threshold2);
BOOL GetThresholds(const CaptureDevice* device, std::int16_t* threshold1, std::int16_t* threshold2);
BOOL SetSkipReadyPoll(CaptureDevice* device, DWORD flag);
