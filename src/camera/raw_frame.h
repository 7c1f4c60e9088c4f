// Raw frame transfer: the commands that fix what the next frames hold ('F'
// window, 'Y' mode-2 set-up, colour matrix), the frame read itself in one
// transfer, in bands of rows or counted, dark-level removal, and the probe of
// the largest transfer the port can make. Each takes the capture device it acts
// on and fails (FALSE, or does nothing) without one.
#pragma once

#include "core/frame_limits.h"
#include "platform/types.h"

struct CaptureDevice;

// The transfer-size probe reads this much and compares the first 64 bytes
// with those 32 KB on.
constexpr DWORD kTransferProbeBytes = 0x8400;
constexpr DWORD kTransferProbeCompare = 64;

// Checks the camera is ready and sends the set-up of the current mode.
BOOL ApplyCaptureSettings(CaptureDevice* device);
BOOL SendWindowCommand(CaptureDevice* device, WORD firstRow, WORD endRow, WORD x0, WORD x1);
// Reads one frame into buffer (size bytes). TRUE with *length 0 when polling
// found no frame ready.
BOOL ReadRawFrame(CaptureDevice* device, BYTE* buffer, DWORD size, DWORD* length);
// Mode 1 in bands of whole rows plus a remainder. Refuses (before any transfer)
// a frame larger than bufferSize.
BOOL ReadFrameStrips(CaptureDevice* device, BYTE* buffer, DWORD* length, DWORD bufferSize = kRawBufferSize);
// Every byte less level, negative results clamped to 0.
void SubtractDarkLevel(BYTE* buffer, DWORD count, WORD level);
// Finds out whether the port wraps transfers at 32 KB; sets maxTransfer.
void ProbeTransferSize(CaptureDevice* device, BYTE* buffer, DWORD size);
// Loads nine matrix values as Q15 into the device's matrix block.
BOOL SetConversionMatrix(CaptureDevice* device, const double* values);
