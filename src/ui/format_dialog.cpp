// The format dialog. Its saved and working formats are its own (two dialogs
// never share a snapshot); OK applies under the device lock, never while a
// stream is initialised (the stream's buffers were sized for the format in
// force), and never a size beyond what any format of the driver can take.
#include "ui/format_dialog.h"

#include <cstdint>
#include <cstring>

#include "capture/device_lock.h"
#include "capture/format.h"
#include "capture/nubo_device.h"
#include "capture/stream.h"
#include "colspace/format_header.h"
#include "core/driver_state.h"
#include "platform/platform.h"
#include "ui/device_dialog.h"
#include "ui/dialog_resources.h"

namespace {

struct FormatSession : DeviceDialogSession {
  BITMAPINFOHEADER saved{};
  BITMAPINFOHEADER working{};
};

int FormatButtonFor(const BITMAPINFOHEADER& h) {
  if (h.biCompression == FOURCC_I420) return kI420Button;
  if (h.biCompression != BI_RGB) return 0;
  for (const ZarncapFormatButton& f : kFormatDialogFormats) {
    if (f.compression == BI_RGB && f.bitCount == h.biBitCount) return f.id;
  }
  return 0;
}

// The format the dialog starts from: the device's; else the format in force
// as the host last saw it; else the format a new device starts with, 160 x 120
// RGB24 (OK then applies a format the device has had, not one nobody chose).
BITMAPINFOHEADER StartingFormat() {
  BITMAPINFOHEADER h{};
  if (FillFormat(&h)) return h;
  const BITMAPINFOHEADER& current = Capture().currentFormat;
  if (current.biSize == sizeof(BITMAPINFOHEADER) && current.biWidth > 0 && current.biHeight > 0) return current;
  return MakeFormatHeader(kNewDeviceWidth, kNewDeviceHeight, 24, BI_RGB);
}

void ShowSize(HWND dialog, LONG width, LONG height) {
  platform::SetDlgItemInt(dialog, kWidthEdit, static_cast<UINT>(width), TRUE);
  platform::SetDlgItemInt(dialog, kHeightEdit, static_cast<UINT>(height), TRUE);
}

INT_PTR Open(HWND dialog, FormatSession* s) {
  DeviceGuard lock(DeviceLock());
  if (!BindDialogToDevice(dialog, s)) return FALSE;
  s->saved = StartingFormat();
  s->working = s->saved;
  const int format = FormatButtonFor(s->working);
  platform::CheckRadioButton(dialog, kRgb24Button, kI420Button, format);
  ShowSize(dialog, s->working.biWidth, s->working.biHeight);
  int size = 0;
  for (const ZarncapSizeButton& b : kFormatDialogSizes) {
    if (b.width == s->working.biWidth && b.height == s->working.biHeight) size = b.id;
  }
  platform::CheckRadioButton(dialog, kSize176x144Button, kSize200x152Button, size);
  platform::SetFocus(platform::GetDlgItem(dialog, IDOK));
  return FALSE;
}

// A size edit box; text that is no number reads 0.
std::uint64_t ReadSize(HWND dialog, int id) {
  std::uint64_t value = 0;
  return ReadDialogNumber(dialog, id, &value) ? value : 0;
}

// streamSetUp was read before the device lock was taken (the stream lock
// comes first).
void Accept(HWND dialog, FormatSession* s, bool streamSetUp) {
  const std::uint64_t height = ReadSize(dialog, kHeightEdit);
  const std::uint64_t width = ReadSize(dialog, kWidthEdit);
  // No format of the driver goes past 640 x 480: a larger size is refused
  // before the camera hears of it, and so is one while a stream is set up.
  if (width < 1 || width > 640 || height < 1 || height > 480) return;
  if (streamSetUp) return;
  SetFormatSize(&s->working, static_cast<LONG>(width), static_cast<LONG>(height));
  AcceptFormatOrKeep(s->working, s->saved);
}

INT_PTR Command(HWND dialog, FormatSession* s, WPARAM wParam, bool streamSetUp) {
  if (HIWORD(wParam) != BN_CLICKED) return FALSE;
  const int id = LOWORD(wParam);
  if (id == IDOK || id == IDCANCEL) {
    if (id == IDOK) Accept(dialog, s, streamSetUp);
    platform::EndDialog(dialog, 1);
    return TRUE;
  }
  for (const ZarncapSizeButton& b : kFormatDialogSizes) {
    if (b.id == id) ShowSize(dialog, b.width, b.height);
  }
  for (const ZarncapFormatButton& f : kFormatDialogFormats) {
    if (f.id == id) SetFormatType(&s->working, static_cast<std::int16_t>(f.bitCount), f.compression);
  }
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK FormatDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) return Open(dialog, reinterpret_cast<FormatSession*>(lParam));
  if (msg != WM_COMMAND) return FALSE;
  // The stream lock before the device lock, as everywhere: whether a stream
  // is set up is read before the device is locked.
  const bool streamSetUp = InStreamStatus().initialised;
  DeviceGuard lock(DeviceLock());
  bool ended = false;
  auto* s = static_cast<FormatSession*>(SessionOnDevice(dialog, &ended));
  if (s == nullptr) return ended ? TRUE : FALSE;
  return Command(dialog, s, wParam, streamSetUp);
}

INT_PTR ShowFormatDialog(HINSTANCE module, int resourceId, HWND owner) {
  RegisterDriverDialogs();
  FormatSession session;
  return platform::DialogBoxParam(module, resourceId, owner, &FormatDialogProc, reinterpret_cast<LPARAM>(&session));
}
