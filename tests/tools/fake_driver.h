// A stand-in capture driver for zarncap's tests: a DriverProc that answers the
// messages a capture application sends the way the zarncap driver does
// (format rules by size class, DVM_FRAME, the stream messages with a timer
// thread and MM_DRVM_* callbacks, the palette, the defect-map message), and
// fills frames with a known pattern.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/portable/driver_manager.h"
#include "platform/types.h"

namespace faketest {

struct FakeConfig {
  DWORD openError = 0;          // non-zero: DRV_OPEN fails with this dwError
  int syncAnswers = 0;          // DVM_FRAME answers DV_ERR_SYNC this often before each frame
  bool framesFail = false;      // DVM_FRAME answers DV_ERR_NONSPECIFIC
  int emptyTicksAtStart = 0;    // stream ticks that report MM_DRVM_ERROR before delivering
  bool streamStalls = false;    // stream ticks never deliver
  DWORD defectAnswer = 0;       // answer of the defect-map message
  int tickMs = 2;               // stream timer period
};

struct FakeRecord {
  std::string openString;
  bool openStringSeen = false;
  DWORD openFlags = 0;
  std::vector<UINT> messages;  // every message after DRV_OPEN, in order
  int addBuffers = 0;
  int addBufferRefusals = 0;
  int framesDelivered = 0;     // DVM_FRAME successes and stream deliveries
  std::vector<BYTE> defectMap;
  bool closed = false;
  bool finiWithQueue = false;  // FINI arrived while buffers were queued
};

// Resets the fake to a clean state with this configuration.
void ResetFake(const FakeConfig& config = {});
FakeRecord Record();
// The fake's DriverProc for platform::OpenDriverProc / Host::proc.
LRESULT FakeDriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2);

// The byte pattern of frame n (1 = first delivered) at offset i.
inline uint8_t PatternByte(int n, size_t i) { return static_cast<uint8_t>((n * 7 + i * 13 + (i >> 9)) & 0xFF); }

// The palette the fake reports: entry k = (k, 255 - k, k / 2).
RGBQUAD FakePaletteEntry(int k);

}  // namespace faketest
