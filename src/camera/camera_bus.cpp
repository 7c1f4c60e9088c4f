// Bus primitives: w0 = 'S', the step in w2; only the word a step names changes.
#include "camera/camera_bus.h"

#include "camera/capture_device.h"

namespace {

constexpr WORD kBusStepStart = 0x53;  // 'S'
constexpr WORD kBusStepStop = 0x50;   // 'P'
constexpr WORD kBusStepWrite = 0x57;  // 'W'
constexpr WORD kBusStepRead = 0x52;   // 'R'

// Fills in one bus step and sends it; FALSE without a device.
BOOL SendBusStep(CaptureDevice* device, WORD step, int word, WORD value) {
  if (device == nullptr) return FALSE;
  device->command.w[0] = CAMERA_CMD_BUS;
  device->command.w[2] = step;
  if (word >= 0) device->command.w[word] = value;
  return SendCommandBlock(device);
}

}  // namespace

BOOL BusStart(CaptureDevice* device) { return SendBusStep(device, kBusStepStart, -1, 0); }

BOOL BusStop(CaptureDevice* device) { return SendBusStep(device, kBusStepStop, -1, 0); }

UINT BusWriteByte(CaptureDevice* device, BYTE value) {
  if (!SendBusStep(device, kBusStepWrite, 3, value)) return 0;
  if (!ReadStatusBlock(device)) return 0;
  return device->status.s[0];
}

BOOL BusReadByte(CaptureDevice* device, BYTE* value, BYTE acknowledge) {
  if (!SendBusStep(device, kBusStepRead, 4, acknowledge)) return FALSE;
  if (!ReadStatusBlock(device)) return FALSE;
  if (value != nullptr) *value = static_cast<BYTE>(device->status.s[1] & 0xFF);
  return TRUE;
}
