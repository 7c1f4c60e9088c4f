#include "ui/device_dialog.h"

#include "core/driver_state.h"
#include "platform/platform.h"

namespace {
bool DeviceIsOurs(const DeviceDialogSession* s) {
  return s != nullptr && s->device != nullptr && CurrentNUBODevice() == s->device && Driver().deviceReady != 0;
}
}  // namespace

bool BindDialogToDevice(HWND dialog, DeviceDialogSession* session) {
  platform::SetDialogData(dialog, reinterpret_cast<LONG_PTR>(session));
  session->device = CurrentNUBODevice();
  if (DeviceIsOurs(session)) return true;
  platform::EndDialog(dialog, 0);
  return false;
}

bool ReadDialogNumber(HWND dialog, int id, std::uint64_t* value) {
  char text[32] = "";
  platform::GetDlgItemText(dialog, id, text, sizeof text);
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
  platform::EndDialog(dialog, 0);  // the device went while the dialog was up
  *ended = true;
  return nullptr;
}
