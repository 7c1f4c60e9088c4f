// Frame set-up commands and raw frame reads.
#include "camera/raw_frame.h"

#include <cmath>
#include <cstring>

#include "camera/capture_device.h"
#include "port/port.h"

namespace {

constexpr WORD kOption80 = 0x80;
constexpr WORD kTemporalDifferenceOn = 0x40;

WORD AsWord(std::int16_t value) { return static_cast<WORD>(value); }

BOOL SendSetupCommand(CaptureDevice* device) {
  if (!SendMatrixBlock(device)) return FALSE;
  WORD* w = device->command.w;
  w[0] = CAMERA_CMD_SETUP;
  w[1] = 0;
  w[2] = 0;
  if (device->option80) w[2] |= kOption80;
  if (device->temporalDifference) {
    w[2] |= kTemporalDifferenceOn;
    w[3] = AsWord(device->threshold1);
    w[4] = AsWord(device->threshold2);
  }
  // After a change the camera starts over with an uncompressed frame.
  if (device->settingsChanged) {
    w[2] &= static_cast<WORD>(~kTemporalDifferenceOn);
    device->fullFrameNext = 1;
    device->settingsChanged = 0;
  }
  w[5] = AsWord(device->y0);
  w[6] = AsWord(device->y1);
  w[7] = AsWord(device->x0);
  w[8] = AsWord(device->x1);
  return SendCommandBlock(device);
}

// Q15 of one matrix value, truncated toward zero and held to the 16-bit range.
std::int16_t ToQ15(double value) {
  const double scaled = std::trunc(value * 32767.0);
  if (std::isnan(scaled)) return 0;
  if (scaled > 32767.0) return 32767;
  if (scaled < -32768.0) return -32768;
  return static_cast<std::int16_t>(scaled);
}

}  // namespace

BOOL ApplyCaptureSettings(CaptureDevice* device) {
  if (device == nullptr) return FALSE;
  if (!ReadStatusBlock(device)) return FALSE;
  if (device->status.s[8] != CAMERA_STATE_READY) return FALSE;
  switch (device->mode) {
    case CAPTURE_MODE_NONE:
      return TRUE;
    case CAPTURE_MODE_RAW:
      if (!device->singleRead) return TRUE;  // each band sends its own window
      return SendWindowCommand(device, AsWord(device->y0), AsWord(device->y1), AsWord(device->x0), AsWord(device->x1));
    case CAPTURE_MODE_YUV:
      return SendSetupCommand(device);
    default:
      return FALSE;
  }
}

BOOL SendWindowCommand(CaptureDevice* device, WORD firstRow, WORD endRow, WORD x0, WORD x1) {
  if (device == nullptr) return FALSE;
  WORD* w = device->command.w;
  w[0] = CAMERA_CMD_WINDOW;
  w[1] = 0;
  w[2] = device->option80 ? kOption80 : 0;
  w[3] = firstRow;
  w[4] = endRow;
  w[5] = x0;
  w[6] = static_cast<WORD>(x1 - x0);
  return SendCommandBlock(device);
}

BOOL ReadFrameStrips(CaptureDevice* device, BYTE* buffer, DWORD* length, DWORD bufferSize) {
  if (device == nullptr || buffer == nullptr) return FALSE;
  const DWORD width = AsWord(device->width);
  const int y0 = device->y0;
  const int y1 = device->y1;
  if (width == 0 || y1 < y0) return FALSE;
  const DWORD rows = device->maxTransfer / width;
  if (rows == 0) return FALSE;
  // The bands and the remainder together are the window's rows; all of them
  // must fit before the first byte is asked for.
  if (static_cast<unsigned long long>(y1 - y0) * width > bufferSize) return FALSE;
  const DWORD bands = AsWord(device->height) / rows;
  const DWORD bandBytes = rows * width;

  DWORD total = 0;
  int y = y0;
  for (DWORD band = 0; band < bands && y + static_cast<int>(rows) <= y1; ++band) {
    if (!SendWindowCommand(device, static_cast<WORD>(y), static_cast<WORD>(y + rows), AsWord(device->x0),
                           AsWord(device->x1)))
      return FALSE;
    if (!ReadPortFrame(buffer + total, bandBytes)) return FALSE;
    total += bandBytes;
    y += static_cast<int>(rows);
  }
  if (y != y1) {
    if (!SendWindowCommand(device, static_cast<WORD>(y), static_cast<WORD>(y1), AsWord(device->x0), AsWord(device->x1)))
      return FALSE;
    const DWORD remainder = static_cast<DWORD>(y1 - y) * width;
    if (!ReadPortFrame(buffer + total, remainder)) return FALSE;
    total += remainder;
  }
  if (length != nullptr) *length = total;
  return TRUE;
}

// The frame bytes of the current mode; FALSE when a transfer failed.
namespace {
BOOL ReadFrameData(CaptureDevice* device, BYTE* buffer, DWORD size, DWORD* length) {
  DWORD read = 0;
  switch (device->mode) {
    case CAPTURE_MODE_YUV:
      if (device->temporalDifference && !device->fullFrameNext) {
        if (!ReadPortFrameCounted(buffer, device->frameBytes, &read)) return FALSE;
        // The count comes from the far end: never believe more than was asked for.
        if (read > device->frameBytes) read = device->frameBytes;
      } else {
        if (!ReadPortFrame(buffer, device->frameBytes)) return FALSE;
        read = device->frameBytes;
      }
      device->fullFrameNext = 0;
      break;
    case CAPTURE_MODE_RAW:
      if (device->singleRead) {
        if (!ReadPortFrame(buffer, device->frameBytes)) return FALSE;
        read = device->frameBytes;
      } else if (!ReadFrameStrips(device, buffer, &read, size)) {
        return FALSE;
      }
      SubtractDarkLevel(buffer, device->frameBytes, device->status.s[6]);
      break;
    default:
      break;
  }
  *length = read;
  return TRUE;
}
}  // namespace

BOOL ReadRawFrame(CaptureDevice* device, BYTE* buffer, DWORD size, DWORD* length) {
  if (device == nullptr || buffer == nullptr) return FALSE;
  if (device->frameBytes > size) return FALSE;
  if (!device->skipReadyPoll && PollPortReady() == PORT_NOT_READY) {
    if (length != nullptr) *length = 0;
    return TRUE;
  }
  if (device->mode != CAPTURE_MODE_YUV && device->mode != CAPTURE_MODE_RAW) return TRUE;  // mode 0: nothing is read
  DWORD read = 0;
  if (!ReadFrameData(device, buffer, size, &read)) {
    // A transfer that broke off leaves the camera's frame and the host's copy
    // of it (the base of temporal differences) out of step: the next set-up
    // starts over with a full, uncompressed frame.
    device->settingsChanged = 1;
    device->fullFrameNext = 1;
    return FALSE;
  }
  if (length != nullptr) *length = read;
  return TRUE;
}


void SubtractDarkLevel(BYTE* buffer, DWORD count, WORD level) {
  if (buffer == nullptr) return;
  for (DWORD i = 0; i < count; ++i) {
    const auto d = static_cast<WORD>(buffer[i] - level);
    buffer[i] = (d & 0x8000) ? 0 : static_cast<BYTE>(d & 0xFF);
  }
}

void ProbeTransferSize(CaptureDevice* device, BYTE* buffer, DWORD size) {
  if (device == nullptr || buffer == nullptr || size < kTransferProbeBytes) return;
  ApplyCaptureSettings(device);
  device->fullFrameNext = 1;
  const DWORD savedFrameBytes = device->frameBytes;
  device->frameBytes = kTransferProbeBytes;
  DWORD length = 0;
  const BOOL read = ReadRawFrame(device, buffer, kTransferProbeBytes, &length);
  device->frameBytes = savedFrameBytes;
  // No frame (the ready poll said "not yet") tells nothing about the port.
  if (!read || length == 0) return;
  // A port that wraps at 32 KB delivers the frame's start again at 32768.
  const bool wrapped = std::memcmp(buffer, buffer + kTransferSmall, kTransferProbeCompare) == 0;
  device->maxTransfer = wrapped ? kTransferSmall : kTransferLarge;
}

BOOL SetConversionMatrix(CaptureDevice* device, const double* values) {
  if (device == nullptr || values == nullptr) return FALSE;
  for (std::size_t i = 0; i < kCameraBlockWords; ++i) device->matrix.m[i] = ToQ15(values[i]);
  return TRUE;
}
