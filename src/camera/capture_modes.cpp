#include "camera/capture_modes.h"

#include "camera/capture_device.h"

namespace {

// Sizes the record's 16-bit fields cannot hold are refused outright.
constexpr WORD kMaxStoredDimension = 0x7FFF;

}  // namespace

BOOL SetCaptureMode(CaptureDevice* device, DWORD mode) {
  if (device == nullptr) return FALSE;
  device->mode = mode;
  device->settingsChanged = 1;
  return TRUE;
}

void ComputeCaptureWindow(CaptureDevice* device) {
  if (device == nullptr) return;
  const int width = device->width;
  const int height = device->height;
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  switch (device->mode) {
    case CAPTURE_MODE_RAW:
      x0 = (320 - width) / 4 + 8;
      y0 = (240 - height) / 2 + 10;
      x1 = x0 + width;
      y1 = y0 + height;
      device->frameBytes = static_cast<DWORD>(width) * static_cast<DWORD>(height);
      device->singleRead = device->frameBytes <= device->maxTransfer ? 1 : 0;
      break;
    case CAPTURE_MODE_YUV:
      x0 = (160 - width) / 2 + 8;
      x1 = x0 + width;
      // Each frame row spans two sensor rows; small frames sit centred on row 129.
      if (width <= 160 && height <= 122) {
        y0 = 129 - height;
        y1 = 129 + height;
      } else {
        y0 = 9;
        y1 = 2 * height + 9;
      }
      device->frameBytes = static_cast<DWORD>(width) * static_cast<DWORD>(height) * 3 / 2;
      break;
    default:
      return;
  }
  device->x0 = static_cast<std::int16_t>(x0);
  device->y0 = static_cast<std::int16_t>(y0);
  device->x1 = static_cast<std::int16_t>(x1);
  device->y1 = static_cast<std::int16_t>(y1);
}

BOOL SetFrameSize(CaptureDevice* device, WORD width, WORD height) {
  if (device == nullptr) return FALSE;
  if (width < kMinFrameWidth || height < kMinFrameHeight) return FALSE;
  if (device->mode == CAPTURE_MODE_YUV && (width > kMaxYuvFrameWidth || height > kMaxYuvFrameHeight)) return FALSE;
  if (width > kMaxStoredDimension || height > kMaxStoredDimension) return FALSE;
  device->width = static_cast<std::int16_t>(width);
  device->height = static_cast<std::int16_t>(height);
  device->settingsChanged = 1;
  ComputeCaptureWindow(device);
  if (device->mode == CAPTURE_MODE_RAW && device->maxTransfer < device->frameBytes / 2) return FALSE;
  return TRUE;
}

void GetCaptureWindow(const CaptureDevice* device, std::int16_t* x0, std::int16_t* y0, std::int16_t* x1,
                      std::int16_t* y1) {
  if (device == nullptr) return;
  if (x0 != nullptr) *x0 = device->x0;
  if (y0 != nullptr) *y0 = device->y0;
  if (x1 != nullptr) *x1 = device->x1;
  if (y1 != nullptr) *y1 = device->y1;
}

BOOL SetCaptureOptions(CaptureDevice* device, DWORD option80, DWORD optionSpare, DWORD temporalDifference) {
  if (device == nullptr) return FALSE;
  device->option80 = option80;
  device->optionSpare = optionSpare;
  device->temporalDifference = temporalDifference;
  device->settingsChanged = 1;
  return TRUE;
}

BOOL SetThresholds(CaptureDevice* device, std::int16_t threshold1, std::int16_t threshold2) {
  if (device == nullptr) return FALSE;
  device->threshold1 = threshold1;
  device->threshold2 = threshold2;
  return TRUE;
}

BOOL GetThresholds(const CaptureDevice* device, std::int16_t* threshold1, std::int16_t* threshold2) {
  if (device == nullptr) return FALSE;
  if (threshold1 != nullptr) *threshold1 = device->threshold1;
  if (threshold2 != nullptr) *threshold2 = device->threshold2;
  return TRUE;
}

BOOL SetSkipReadyPoll(CaptureDevice* device, DWORD flag) {
  if (device == nullptr) return FALSE;
  device->skipReadyPoll = flag;
  return TRUE;
}
