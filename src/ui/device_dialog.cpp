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

DeviceDialogSession* SessionOnDevice(HWND dialog, bool* ended) {
  auto* session = reinterpret_cast<DeviceDialogSession*>(platform::GetDialogData(dialog));
  *ended = false;
  if (session == nullptr) return nullptr;
  if (DeviceIsOurs(session)) return session;
  platform::EndDialog(dialog, 0);  // the device went while the dialog was up
  *ended = true;
  return nullptr;
}
