// Single-frame capture (see frame.h). The whole grab runs under the device
// lock; it allocates nothing.
#include "capture/frame.h"

#include "camera/zarncam.h"
#include "capture/device_lock.h"
#include "capture/capture_state.h"
#include "capture/device_settings.h"
#include "colspace/colspace.h"
#include "colspace/convert.h"
#include "colspace/format_header.h"
#include "colspace/yuv_prepare.h"
#include "core/driver_state.h"
#include "platform/platform.h"

DWORD CaptureFrameData(VIDEOHDR* header) {
  if (header == nullptr) return DV_ERR_PARAM1;
  DeviceGuard lock(DeviceLock());
  DWORD written = 0;
  const int r = GrabFrame(CurrentNUBODevice(), header->lpData, header->dwBufferLength, &written);
  if (r == GRAB_FAILED) return DV_ERR_NONSPECIFIC;
  if (r == GRAB_NOT_READY) return DV_ERR_SYNC;
  header->dwTimeCaptured = platform::TimeGetTime() - Capture().timeBase;
  // What the conversion wrote, whatever the client's own header claimed.
  header->dwBytesUsed = written;
  return DV_ERR_OK;
}

DWORD CaptureFrame(VIDEOHDR* header) {
  const DWORD r = CaptureFrameData(header);
  if (r == DV_ERR_OK) header->dwFlags |= VHDR_DONE | VHDR_KEYFRAME;
  return r;
}

int GrabFrame(NUBODevice* device, BYTE* buffer, DWORD length, DWORD* written) {
  DeviceGuard lock(DeviceLock());
  if (device == nullptr || device->rawData == nullptr || device->captureDevice == nullptr || buffer == nullptr) {
    return GRAB_FAILED;
  }
  // 1, 2. A valid format and a buffer that holds it.
  if (device->formatInvalid) return GRAB_FAILED;
  const DWORD imageSize = GetFormatImageSize(&device->clientFormat);
  if (length < imageSize) return GRAB_FAILED;
  // 3. After a settings change the camera first sets up a fresh frame.
  if (device->resync) {
    if (!ApplyCaptureSettings(device->captureDevice)) return GRAB_FAILED;
    device->resync = 0;
  }
  // 4, 5. The raw frame; a streaming camera may not have one ready yet.
  if (!ReadRawFrame(device->captureDevice, device->rawData, device->rawSize, &device->rawCount)) {
    // Only this frame is lost: the next grab sets the camera up afresh.
    device->resync = 1;
    return GRAB_FAILED;
  }
  if (device->rawCount == 0) return GRAB_NOT_READY;
  // 6. Compressed mode-2 transfers steer the thresholds by their size.
  if (device->cameraMode == CAPTURE_MODE_YUV && device->autoThreshold != 0) {
    AdjustThreshold(device->captureDevice, device->rawCount, GetFormatImageSize(&device->cameraFormat),
                    kThresholdLowPercent, kThresholdHighPercent, kThresholdStep);
  }
  // 7. The camera starts on the next frame while this one is repaired and converted.
  if (!ApplyCaptureSettings(device->captureDevice)) {
    device->resync = 1;  // the next grab asks again
    return GRAB_FAILED;
  }
  if (device->streamMode == 0) device->resync = 0;
  // 8. Defect repair.
  if ((Driver().debugFlags & DEBUG_SKIP_DEFECTS) == 0) CorrectDefects(device->rawData);
  // 9, 10. Conversion into the client's format, from the 176 x 144 expansion
  // when the quarter-frame set-up is in force.
  BYTE* source = device->rawData;
  if (device->quarterFrame) {
    if (!StretchToQCIF(device->rawData, device->rawData + kQcifStretchOffset)) return GRAB_FAILED;
    source = device->rawData + kQcifStretchOffset;
  }
  if (!ConvertFrame(device->converter, source, buffer)) return GRAB_FAILED;
  if (written != nullptr) *written = imageSize;
  // 11. The camera forms the next mode-2 frame with the balanced colour matrix.
  if (device->cameraMode == CAPTURE_MODE_YUV) {
    const double* matrix = GetColourMatrix(device->converter);
    if (matrix != nullptr) SetConversionMatrix(device->captureDevice, matrix);
  }
  return GRAB_DONE;
}

WORD AdjustThreshold(CaptureDevice* camera, DWORD rawCount, DWORD expectedCount, int lowPercent, int highPercent,
                     int step) {
  std::int16_t threshold = 0;
  std::int16_t second = 0;
  GetThresholds(camera, &threshold, &second);
  if (expectedCount == 0) return static_cast<WORD>(threshold);
  const auto quotient = static_cast<DWORD>(static_cast<unsigned long long>(rawCount) * 100 / expectedCount);
  const auto percent = static_cast<std::int16_t>(static_cast<WORD>(quotient));
  int next = threshold;
  if (percent < lowPercent) {
    next = threshold - 2 * step;
    if (next < kThresholdMin) next = kThresholdMin;
  } else if (percent > highPercent) {
    next = threshold + step;
    if (next > kThresholdMax) next = kThresholdMax;
  }
  if (next != threshold) SetThresholds(camera, static_cast<std::int16_t>(next), static_cast<std::int16_t>(next));
  return static_cast<WORD>(next);
}
