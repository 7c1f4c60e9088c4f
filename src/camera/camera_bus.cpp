// Bus primitives: w0 = 'S', the step in w2; only the word a step names changes.
#include "camera/camera_bus.h"

#include "camera/camera_state.h"

namespace {

constexpr WORD kBusStepStart = 0x53;  // 'S'
constexpr WORD kBusStepStop = 0x50;   // 'P'
constexpr WORD kBusStepWrite = 0x57;  // 'W'
constexpr WORD kBusStepRead = 0x52;   // 'R'

// Fills in one bus step and sends it; FALSE without a current device.
BOOL SendBusStep(WORD step, int word, WORD value) {
  CaptureDevice* device = CurrentCaptureDevice();
  if (device == nullptr) return FALSE;
  device->command.w[0] = CAMERA_CMD_BUS;
  device->command.w[2] = step;
  if (word >= 0) device->command.w[word] = value;
  return SendCommandBlock();
}

}  // namespace

BOOL BusStart() { return SendBusStep(kBusStepStart, -1, 0); }

BOOL BusStop() { return SendBusStep(kBusStepStop, -1, 0); }

UINT BusWriteByte(BYTE value) {
  if (!SendBusStep(kBusStepWrite, 3, value)) return 0;
  if (!ReadStatusBlock()) return 0;
  return CurrentCaptureDevice()->status.s[0];
}

BOOL BusReadByte(BYTE* value, BYTE acknowledge) {
  if (!SendBusStep(kBusStepRead, 4, acknowledge)) return FALSE;
  if (!ReadStatusBlock()) return FALSE;
  if (value != nullptr) *value = static_cast<BYTE>(CurrentCaptureDevice()->status.s[1] & 0xFF);
  return TRUE;
}
