#include "ui/device_dialog.h"

#include "core/driver_state.h"
#include "platform/platform.h"

namespace {
bool DeviceIsOurs(const DeviceDialogSession* s) {
  // The current device is alive, so its generation can be read; a dialog's
  // device that was freed is never current again.
  return s != nullptr && s->device != nullptr && CurrentNUBODevice() == s->device &&
         s->device->generation == s->generation && Driver().deviceReady != 0;
}
}  // namespace

bool BindDialogToDevice(HWND dialog, DeviceDialogSession* session) {
  platform::SetDialogData(dialog, reinterpret_cast<LONG_PTR>(session));
  session->device = CurrentNUBODevice();
  session->generation = session->device != nullptr ? session->device->generation : 0;
  if (DeviceIsOurs(session)) return true;
  platform::EndDialog(dialog, 0);
  return false;
}

bool ReadDialogNumber(HWND dialog, int id, std::uint64_t* value) {
  // The whole text: leading zeros may come before the digits that matter. A
  // text that fills the buffer may have been cut, and is no number.
  char text[kDialogNumberTextSize] = "";
  if (platform::GetDlgItemText(dialog, id, text, static_cast<int>(sizeof text)) >= sizeof text - 1) return false;
  const char* p = text;
  while (*p == ' ') ++p;
  if (*p < '0' || *p > '9') return false;
  std::uint64_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + static_cast<std::uint64_t>(*p - '0');
    if (v > 0xFFFFFFFFull) return false;
  }
  while (*p == ' ') ++p;
  if (*p != '\0') return false;
  *value = v;
  return true;
}

DeviceDialogSession* SessionOnDevice(HWND dialog, bool* ended) {
  auto* session = reinterpret_cast<DeviceDialogSession*>(platform::GetDialogData(dialog));
  *ended = false;
  if (session == nullptr) return nullptr;
  if (DeviceIsOurs(session)) return session;
  platform::EndDialog(dialog, 1);  // the device went while the dialog was up: as cancelled
  *ended = true;
  return nullptr;
}
