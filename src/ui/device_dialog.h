// What the settings and format dialogs share: each works on the device that
// was current when it opened, and acts only while that device is still the
// current, ready one (the host may close its last channel, or disable the
// driver, with a dialog up). Both are called under the device lock.
#pragma once

#include <cstdint>

#include "capture/nubo_device.h"
#include "platform/types.h"

struct DeviceDialogSession {
  NUBODevice* device = nullptr;
};

// At WM_INITDIALOG: keeps the session with the dialog and binds it to the
// current device; false, with the dialog ended, when no device is ready.
bool BindDialogToDevice(HWND dialog, DeviceDialogSession* session);
// An edit box read as a number: digits with blanks around them. False for
// anything else, and for a number past what 32 bits hold.
bool ReadDialogNumber(HWND dialog, int id, std::uint64_t* value);
// For every later message: the dialog's session while its device is still
// ours; otherwise the dialog is ended (result 0) and the answer is null.
DeviceDialogSession* SessionOnDevice(HWND dialog, bool* ended);
