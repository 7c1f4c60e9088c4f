// Format negotiation (see format.h). Every change of the camera set-up runs
// under the device lock, so a frame being captured on the stream timer's
// thread never sees half a format change.
#include "capture/format.h"

#include <cstring>

#include "camera/zarncam.h"
#include "capture/device_lock.h"
#include "capture/capture_state.h"
#include "capture/device_settings.h"
#include "colspace/colspace.h"
#include "colspace/format_header.h"
#include "colspace/convert.h"
#include "trace/trace.h"

namespace {

constexpr DWORD kFormatBytes = sizeof(BITMAPINFOHEADER);

void MakeCameraFormat(BITMAPINFOHEADER* format, LONG width, LONG height, bool yuv) {
  *format = MakeFormatHeader(width, height, yuv ? 16 : 8, yuv ? FOURCC_PYUV : FOURCC_PSHU);
}

// Hands the capture window of the new set-up to the defect repair.
void PrepareDefects(const CaptureDevice* camera, DWORD mode) {
  std::int16_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  GetCaptureWindow(camera, &x0, &y0, &x1, &y1);
  PrepareDefectCorrection(mode, x0, y0, x1, y1);
}

void TraceFormat(const BITMAPINFOHEADER& h) {
  DriverTrace(TRACE_LINE, "bitcnt = %u comp = %lx X size = %lu Y size = %lu", static_cast<unsigned>(h.biBitCount),
              h.biCompression, static_cast<DWORD>(h.biWidth), static_cast<DWORD>(h.biHeight));
}

DWORD SetFormat(const VIDEOCONFIGPARMS* parms) {
  DriverTrace(TRACE_LINE, "DVM_FORMAT : VIDEO_CONFIGURE_SET");
  if (parms->lpData1 == nullptr) return DV_ERR_PARAM1;
  if (parms->dwSize1 < kFormatBytes) return DV_ERR_SIZEFIELD;
  BITMAPINFOHEADER client;
  std::memcpy(&client, parms->lpData1, kFormatBytes);

  DeviceGuard lock(DeviceLock());
  CaptureState& state = Capture();
  // "No change" holds only for a format in force: a header the device refused
  // is refused again every time it is sent.
  if (state.currentFormatOnDevice && FormatInForce() &&
      std::memcmp(&client, &state.currentFormat, kFormatBytes) == 0) {
    return DV_ERR_OK;
  }
  NUBODevice* device = CurrentNUBODevice();
  const BOOL accepted = AcceptFormat(device, &client);
  state.currentFormat = client;
  state.currentFormatOnDevice = device != nullptr;
  if (!accepted) {
    DriverTrace(TRACE_LINE, "DVM_FORMAT - unsupported image type");
    TraceFormat(client);
    return DV_ERR_NOTSUPPORTED;
  }
  DriverTrace(TRACE_LINE, "DVM_FORMAT - new image type");
  TraceFormat(state.currentFormat);
  return DV_ERR_OK;
}

}  // namespace

BOOL AcceptFormatOrKeep(const BITMAPINFOHEADER& header, const BITMAPINFOHEADER& fallback) {
  DeviceGuard lock(DeviceLock());
  CaptureState& state = Capture();
  NUBODevice* device = CurrentNUBODevice();
  const BOOL accepted = AcceptFormat(device, &header);
  if (accepted) {
    state.currentFormat = header;
  } else if (AcceptFormat(device, &fallback)) {
    state.currentFormat = fallback;
  }
  state.currentFormatOnDevice = device != nullptr;
  TraceFormat(state.currentFormat);
  return accepted;
}

namespace {

DWORD GetCurrentFormat(const VIDEOCONFIGPARMS* parms) {
  if (parms->dwSize1 < kFormatBytes) return DV_ERR_SIZEFIELD;
  if (parms->lpData1 == nullptr) return DV_ERR_PARAM1;
  DeviceGuard lock(DeviceLock());
  CaptureState& state = Capture();
  if (FillFormat(&state.currentFormat)) state.currentFormatOnDevice = true;
  std::memcpy(parms->lpData1, &state.currentFormat, kFormatBytes);
  return DV_ERR_OK;
}

// The mode-1 window for a client size above 160 x 120 (w, h already halved
// when both were above 320 x 240). FALSE when the camera cannot take it.
BOOL SetRawWindow(CaptureDevice* camera, LONG w, LONG h, WORD* windowWidth, WORD* windowHeight) {
  *windowWidth = static_cast<WORD>(w + kRawWindowBorder);
  *windowHeight = static_cast<WORD>(h + kRawWindowBorder);
  if (SetFrameSize(camera, *windowWidth, *windowHeight)) return TRUE;
  // A port that cannot move a 324 x 244 frame half at a time still serves
  // 320 x 240 from the smaller window, enlarged by 10/9 in the conversion.
  if (w != kMaxRawClientWidth || h != kMaxRawClientHeight) return FALSE;
  *windowWidth = kFallbackWindowWidth;
  *windowHeight = kFallbackWindowHeight;
  return SetFrameSize(camera, *windowWidth, *windowHeight);
}

}  // namespace

DWORD ConfigureFormat(DWORD flags, VIDEOCONFIGPARMS* parms) {
  switch (flags) {
    case VIDEO_CONFIGURE_SET:
      if (parms == nullptr) return DV_ERR_PARAM1;
      return SetFormat(parms);
    case VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_QUERYSIZE:
      if (parms == nullptr || parms->lpdwReturn == nullptr) return DV_ERR_PARAM1;
      *parms->lpdwReturn = kFormatBytes;
      return DV_ERR_OK;
    case VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT:
      if (parms == nullptr) return DV_ERR_PARAM1;
      return GetCurrentFormat(parms);
    case VIDEO_CONFIGURE_QUERY | VIDEO_CONFIGURE_GET:
      return DV_ERR_OK;
    default:  // QUERY + SET included
      return DV_ERR_NOTSUPPORTED;
  }
}

BOOL AcceptFormat(NUBODevice* device, const BITMAPINFOHEADER* header) {
  DeviceGuard lock(DeviceLock());
  if (device == nullptr || header == nullptr) return FALSE;
  CaptureDevice* camera = device->captureDevice;
  auto refuse = [device] {
    device->formatInvalid = 1;
    return FALSE;
  };

  device->resync = 1;
  device->quarterFrame = 0;
  device->clientFormat = *header;
  LONG w = header->biWidth;
  LONG h = header->biHeight;
  // Sizes the camera can make: whole groups of 8 columns and 4 rows. A negative
  // (top-down) size is never one of them.
  if (w <= 0 || h <= 0 || w % 8 != 0 || h % 4 != 0) return refuse();

  if (w == kQcifWidth && h == kQcifHeight) {
    device->cameraMode = CAPTURE_MODE_YUV;
    SetCaptureMode(camera, CAPTURE_MODE_YUV);
    if (!SetFrameSize(camera, kQcifWindowWidth, kQcifWindowHeight)) return refuse();
    device->quarterFrame = 1;
    MakeCameraFormat(&device->cameraFormat, kQcifWidth, kQcifHeight, true);
  } else if (w <= kMaxYuvClientWidth && h <= kMaxYuvClientHeight) {
    device->cameraMode = CAPTURE_MODE_YUV;
    SetCaptureMode(camera, CAPTURE_MODE_YUV);
    if (!SetFrameSize(camera, static_cast<WORD>(w), static_cast<WORD>(h))) return refuse();
    MakeCameraFormat(&device->cameraFormat, w, h, true);
  } else {
    if (w > kMaxClientWidth || h > kMaxClientHeight) return refuse();
    if (w > kMaxRawClientWidth && h > kMaxRawClientHeight) {
      w /= 2;  // served from a half-size window, doubled in the conversion
      h /= 2;
    }
    if (w > kMaxRawClientWidth || h > kMaxRawClientHeight) return refuse();
    device->cameraMode = CAPTURE_MODE_RAW;
    SetCaptureMode(camera, CAPTURE_MODE_RAW);
    WORD windowWidth;
    WORD windowHeight;
    if (!SetRawWindow(camera, w, h, &windowWidth, &windowHeight)) return refuse();
    MakeCameraFormat(&device->cameraFormat, windowWidth, windowHeight, false);
  }

  // The colour layer judges bit count and compression, and may adjust the
  // client format (IYUV is kept as I420).
  if (!SetColSpaceFormat(device->converter, &device->cameraFormat, &device->clientFormat)) return refuse();
  device->formatInvalid = 0;
  PrepareDefects(camera, device->cameraMode);
  return TRUE;
}

BOOL FormatInForce() {
  DeviceGuard lock(DeviceLock());
  NUBODevice* device = CurrentNUBODevice();
  return device != nullptr && device->formatInvalid == 0;
}

BOOL FillFormat(BITMAPINFOHEADER* destination) {
  DeviceGuard lock(DeviceLock());
  NUBODevice* device = CurrentNUBODevice();
  if (device == nullptr || destination == nullptr || device->formatInvalid) return FALSE;
  *destination = device->clientFormat;
  return TRUE;
}

BOOL SetStreamFormat(int on) {
  DeviceGuard lock(DeviceLock());
  NUBODevice* device = CurrentNUBODevice();
  if (device == nullptr) return FALSE;
  if (device->fastStream == 0) return TRUE;
  CaptureDevice* camera = device->captureDevice;
  LONG w = device->clientFormat.biWidth;
  LONG h = device->clientFormat.biHeight;

  if (on && !device->fastStreamActive) {
    if (device->cameraFormat.biCompression != FOURCC_PSHU || device->clientFormat.biCompression != BI_RGB ||
        w > kMaxRawClientWidth || h > kMaxRawClientHeight) {
      return TRUE;  // nothing to gain: the format streams as it is
    }
    w /= 2;
    h /= 2;
    device->cameraMode = CAPTURE_MODE_YUV;
    SetCaptureMode(camera, CAPTURE_MODE_YUV);
    BITMAPINFOHEADER cameraFormat;
    MakeCameraFormat(&cameraFormat, w, h, true);
    if (!SetFrameSize(camera, static_cast<WORD>(w), static_cast<WORD>(h)) ||
        !SetColSpaceFormat(device->converter, &cameraFormat, &device->clientFormat)) {
      // A halved window the camera cannot make (below its smallest): the
      // stream runs at full size, with the camera as the client's format had it.
      BITMAPINFOHEADER client = device->clientFormat;
      return AcceptFormat(device, &client);
    }
    device->cameraFormat = cameraFormat;
    PrepareDefects(camera, CAPTURE_MODE_YUV);
    device->resync = 1;
    device->formatInvalid = 0;
    device->fastStreamActive = 1;
    return TRUE;
  }
  if (!on && device->fastStreamActive) {
    // The half-size set-up ends whatever the camera answers, so the next
    // stream starts clean.
    device->fastStreamActive = 0;
    BITMAPINFOHEADER client = device->clientFormat;
    return AcceptFormat(device, &client);
  }
  return TRUE;
}
