// The "Video Capture Settings" dialog (resources 101, 104, 106, 108, 110):
// brightness, contrast, colour, capture compression with its quality and the
// lighting level, each applied the moment it changes; Cancel puts back what
// was in force when the dialog opened.
#pragma once

#include "platform/types.h"
#include "zarncap/dialogs.h"

// Runs the dialog modally over owner; the dialog's result, or -1 when it
// cannot be made.
INT_PTR ShowSourceDialog(HINSTANCE module, int resourceId, HWND owner);
INT_PTR CALLBACK SourceDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

