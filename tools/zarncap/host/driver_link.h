// zarncap's connection to the capture driver: one open video channel reached
// through the portable driver manager, and the messages a capture application
// sends on it. Nothing here knows the driver's insides: only DriverProc's
// messages and the platform's records.
#pragma once

#include <string>
#include <vector>

#include "platform/portable/driver_manager.h"
#include "platform/types.h"
#include "zarncap/messages.h"

namespace zarncap {

struct OpenRequest {
  std::string library;                  // the driver library (when proc is null)
  platform::DRIVERPROC proc = nullptr;  // an in-process DriverProc instead
  std::string openString;               // DRV_OPEN's text: "vcap LPT2 /path/x.ini"
  DWORD channel = VIDEO_IN;  // 0: a configuration handle, no channel
  std::string cameraSpec;  // for messages only: what ZARNCAP_CAMERA names
};

class DriverLink {
 public:
  // Opens the channel; throws ToolError saying why not (library missing, no
  // camera found, ...).
  explicit DriverLink(const OpenRequest& request);
  DriverLink(const DriverLink&) = delete;
  DriverLink& operator=(const DriverLink&) = delete;
  ~DriverLink();

  // DRV_CLOSE (and the module's disable, free and unload with the last handle).
  void Close();
  bool IsOpen() const { return driver_ != nullptr; }
  HDRVR Handle() const { return driver_; }

  LRESULT Send(UINT msg, LPARAM lParam1, LPARAM lParam2);

  // DVM_FORMAT with VIDEO_CONFIGURE_SET: the driver's answer (0 accepted).
  DWORD SetFormat(const BITMAPINFOHEADER& header);
  // DVM_FORMAT with VIDEO_CONFIGURE_GET | VIDEO_CONFIGURE_CURRENT.
  bool GetFormat(BITMAPINFOHEADER* header);
  // DVM_PALETTE: size query, then GET; empty when the driver has none.
  std::vector<RGBQUAD> GetPalette();
  // DVM_FRAME into the header's buffer: the driver's answer.
  DWORD CaptureFrame(VIDEOHDR* header);
  // A private message with the { value; result; } record: the driver's answer;
  // *result gets the record's result word.
  DWORD SendPrivate(UINT msg, DWORD_PTR value, DWORD* result);

 private:
  HDRVR driver_ = nullptr;
};

// The text of a video error number: "DV_ERR_NOTSUPPORTED (17)".
std::string VideoErrorText(DWORD code);

}  // namespace zarncap
