// The driver messages of a capture application, sent through the driver manager.
#include "tools/zarncap/host/driver_link.h"

#include <algorithm>
#include <cstring>

#include "tools/zarncap/common/tool_error.h"

namespace zarncap {
namespace {

// dwError before DRV_OPEN: the driver overwrites it whenever the open reaches
// the channel, so an unchanged value means the driver never got that far.
constexpr DWORD kErrorNotTouched = 0xFFFFFFFFu;

std::string CameraHint(const std::string& camera) {
  if (camera == "none") return "--camera none means no port device at all; use --camera sim for the virtual camera";
  if (camera.empty()) return "choose a camera with --camera (e.g. --camera sim)";
  if (camera.rfind("sim", 0) == 0) return "--camera is '" + camera + "'";
  if (camera.rfind("parport", 0) == 0) return "--camera is '" + camera + "'; 'zarncap ports' shows what each port answers";
  return "--camera is '" + camera + "'; use --camera sim for the virtual camera";
}

}  // namespace

std::string VideoErrorText(DWORD code) {
  struct Name {
    DWORD code;
    const char* text;
  };
  static constexpr Name kNames[] = {
      {DV_ERR_OK, "DV_ERR_OK"},
      {DV_ERR_NONSPECIFIC, "DV_ERR_NONSPECIFIC"},
      {DV_ERR_STILLPLAYING, "DV_ERR_STILLPLAYING"},
      {DV_ERR_UNPREPARED, "DV_ERR_UNPREPARED"},
      {DV_ERR_SYNC, "DV_ERR_SYNC"},
      {DV_ERR_NOTDETECTED, "DV_ERR_NOTDETECTED"},
      {DV_ERR_SIZEFIELD, "DV_ERR_SIZEFIELD"},
      {DV_ERR_PARAM1, "DV_ERR_PARAM1"},
      {DV_ERR_NOTSUPPORTED, "DV_ERR_NOTSUPPORTED"},
  };
  for (const auto& name : kNames) {
    if (name.code == code) return std::string(name.text) + " (" + std::to_string(code) + ")";
  }
  return std::to_string(code);
}

DriverLink::DriverLink(const OpenRequest& request) {
  VIDEO_OPEN_PARMS parms{};
  parms.dwSize = sizeof parms;
  parms.fccType = FOURCC_VCAP;
  parms.dwVersion = 0;
  parms.dwFlags = request.channel;
  parms.dwError = kErrorNotTouched;
  std::string error;
  const char* text = request.openString.empty() ? nullptr : request.openString.c_str();
  const LPARAM lParam2 = request.channel != 0 ? reinterpret_cast<LPARAM>(&parms) : 0;
  driver_ = request.proc != nullptr ? platform::OpenDriverProc(request.proc, text, lParam2, &error)
                                    : platform::OpenDriver(request.library.c_str(), text, lParam2, &error);
  if (driver_ != nullptr) return;

  // A host that opens in two steps sends the session open first; the driver
  // refuses it when its port device cannot be opened, before the open that
  // would report that in dwError.
  if (parms.dwError == kErrorNotTouched && error == platform::kOpenRefused) parms.dwError = DV_ERR_NONSPECIFIC;
  if (parms.dwError == kErrorNotTouched) {
    std::string where = request.proc != nullptr ? std::string("the in-process driver") : request.library;
    throw ToolError("cannot load the capture driver " + where + (error.empty() ? "" : ": " + error) +
                    " (set ZARNCAP_DRIVER to the path of libzarncap.so)");
  }
  if (parms.dwError == DV_ERR_NONSPECIFIC) {
    throw ToolError("no camera found: the driver could not open its port device (" + CameraHint(request.cameraSpec) +
                    ")");
  }
  if (parms.dwError == DV_ERR_NOTDETECTED) {
    throw ToolError("no camera found: the driver detected no camera on LPT1-LPT3 (answer " +
                    VideoErrorText(parms.dwError) + "; " + CameraHint(request.cameraSpec) + ")");
  }
  throw ToolError("no camera found: the driver refused to open a channel (answer " + VideoErrorText(parms.dwError) +
                  "; " + CameraHint(request.cameraSpec) + ")");
}

DriverLink::~DriverLink() { Close(); }

void DriverLink::Close() {
  if (driver_ == nullptr) return;
  HDRVR driver = driver_;
  driver_ = nullptr;
  platform::CloseDriver(driver, 0, 0);
}

LRESULT DriverLink::Send(UINT msg, LPARAM lParam1, LPARAM lParam2) {
  if (driver_ == nullptr) return DV_ERR_NONSPECIFIC;
  return platform::SendDriverMessage(driver_, msg, lParam1, lParam2);
}

DWORD DriverLink::SetFormat(const BITMAPINFOHEADER& header) {
  BITMAPINFOHEADER copy = header;
  DWORD returned = 0;
  VIDEOCONFIGPARMS parms{&returned, &copy, sizeof copy, nullptr, 0};
  return static_cast<DWORD>(Send(DVM_FORMAT, VIDEO_CONFIGURE_SET, reinterpret_cast<LPARAM>(&parms)));
}

bool DriverLink::GetFormat(BITMAPINFOHEADER* header) {
  BITMAPINFOHEADER got{};
  DWORD returned = 0;
  VIDEOCONFIGPARMS parms{&returned, &got, sizeof got, nullptr, 0};
  const LRESULT result = Send(DVM_FORMAT, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT, reinterpret_cast<LPARAM>(&parms));
  if (result != DV_ERR_OK) return false;
  *header = got;
  return true;
}

std::vector<RGBQUAD> DriverLink::GetPalette() {
  DWORD size = 0;
  VIDEOCONFIGPARMS query{&size, nullptr, 0, nullptr, 0};
  if (Send(DVM_PALETTE, VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_QUERYSIZE, reinterpret_cast<LPARAM>(&query)) !=
          DV_ERR_OK ||
      size < 4 || size > 4 + 4 * 256) {
    return {};
  }
  // LOGPALETTE: version word, entry-count word, then R, G, B, flags per entry.
  std::vector<BYTE> bytes(size);
  DWORD returned = 0;
  VIDEOCONFIGPARMS get{&returned, bytes.data(), size, nullptr, 0};
  if (Send(DVM_PALETTE, VIDEO_CONFIGURE_GET, reinterpret_cast<LPARAM>(&get)) != DV_ERR_OK) return {};
  const size_t count = std::min<size_t>(bytes[2] | (bytes[3] << 8), (size - 4) / 4);
  std::vector<RGBQUAD> palette(count);
  for (size_t i = 0; i < count; ++i) {
    const BYTE* entry = bytes.data() + 4 + 4 * i;
    palette[i] = RGBQUAD{entry[2], entry[1], entry[0], 0};
  }
  return palette;
}

DWORD DriverLink::CaptureFrame(VIDEOHDR* header) {
  return static_cast<DWORD>(Send(DVM_FRAME, reinterpret_cast<LPARAM>(header), sizeof(VIDEOHDR)));
}

DWORD DriverLink::SendPrivate(UINT msg, DWORD_PTR value, DWORD* result) {
  PrivateValueRecord record{value, 0xFFFFFFFFu};
  const DWORD answer = static_cast<DWORD>(Send(msg, reinterpret_cast<LPARAM>(&record), 0));
  if (result != nullptr) *result = record.result;
  return answer;
}

}  // namespace zarncap
