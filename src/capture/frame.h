// Single-frame capture: DVM_FRAME's handler and the grab that reads one raw
// frame, sets up the next one, repairs defects and converts into the client's
// buffer; also the adaptive compression threshold of the mode-2 transfer. The
// stream timer fills its buffers through the same CaptureFrame.
#pragma once

#include "platform/types.h"

struct CaptureDevice;

struct NUBODevice;

// GrabFrame results.
constexpr int GRAB_FAILED = 0;
constexpr int GRAB_DONE = 1;
constexpr int GRAB_NOT_READY = 2;

// Where the 176 x 144 frame expanded from the 160 x 132 window goes in the raw buffer.
constexpr DWORD kQcifStretchOffset = 31680;  // 0x7BC0

// Adaptive threshold: percentages of a full frame and the step, and the range.
constexpr int kThresholdLowPercent = 5;
constexpr int kThresholdHighPercent = 15;
constexpr int kThresholdStep = 2;
constexpr std::int16_t kThresholdMin = 2;
constexpr std::int16_t kThresholdMax = 10;

// DVM_FRAME: 0, 1 (DV_ERR_NONSPECIFIC), 5 (DV_ERR_SYNC: no frame was ready) or
// 11 (no header). A captured frame is marked done and a key frame.
DWORD CaptureFrame(VIDEOHDR* header);
// The same capture without touching the header's flags: the stream marks its
// buffer done only once it has left the queue.
DWORD CaptureFrameData(VIDEOHDR* header);
// One frame of the device into buffer: GRAB_DONE, GRAB_NOT_READY or
// GRAB_FAILED (also for a null device); *written (when given) is the number
// of bytes converted into buffer.
int GrabFrame(NUBODevice* device, BYTE* buffer, DWORD length, DWORD* written = nullptr);
// Moves the camera's two thresholds by the share of a full frame the last
// transfer took; returns the new first threshold.
WORD AdjustThreshold(CaptureDevice* camera, DWORD rawCount, DWORD expectedCount, int lowPercent, int highPercent,
                     int step);
