// What the settings and format dialogs share: each works on the device that
// was current when it opened, and acts only while that device is still the
// current, ready one (the host may close its last channel, or disable the
// driver, with a dialog up). Both are called under the device lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/nubo_device.h"
#include "platform/types.h"

struct DeviceDialogSession {
  NUBODevice* device = nullptr;
  DWORD generation = 0;  // the device's, so a new device at the same address is not taken for it
};

// At WM_INITDIALOG: keeps the session with the dialog and binds it to the
// current device; false, with the dialog ended, when no device is ready.
bool BindDialogToDevice(HWND dialog, DeviceDialogSession* session);
// An edit box read as a number: digits with blanks around them, the whole
// text (up to kDialogNumberTextSize - 2 characters; a longer one is no
// number). False for anything else, and for a number past what 32 bits hold.
constexpr std::size_t kDialogNumberTextSize = 1024;
bool ReadDialogNumber(HWND dialog, int id, std::uint64_t* value);
// For every later message: the dialog's session while its device is still
// ours; otherwise the dialog is ended as cancelled (result 1: the user saw and
// used it; there is nothing left to put back) and the answer is null.
DeviceDialogSession* SessionOnDevice(HWND dialog, bool* ended);
