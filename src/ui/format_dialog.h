// The "Video Format" dialog (resources 102, 105, 107, 109, 111): a capture
// size and an image format, applied only on OK; a format the device refuses
// leaves the one in force.
#pragma once

#include "platform/types.h"
#include "zarncap/dialogs.h"

INT_PTR ShowFormatDialog(HINSTANCE module, int resourceId, HWND owner);
INT_PTR CALLBACK FormatDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

