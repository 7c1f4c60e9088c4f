// The camera details dialog (resource 120), DRV_CONFIGURE's box: the driver's
// version and build date, the port in use with its transfer mode, the dialog
// language and the camera's sensor model. When no device is set up the driver
// searches for the camera itself; the dialog shows its wait text meanwhile.
#pragma once

#include "platform/types.h"
#include "zarncap/dialogs.h"

enum class SensorFinding { kNone, kFound, kInitError, kSelectError };

// What the driver found, from memory or by its own search.
struct CameraDetails {
  bool portFound = false;
  DWORD port = 0;
  int portMode = 0;         // 4 ECP, 2 bidirectional, 1 four-bit
  bool forcedMode = false;  // "DebugLevel" or "Force4Bit" forced the mode
  SensorFinding sensor = SensorFinding::kNone;
  DWORD cameraKind = 0;  // the kind found (CameraKind)
};
using CameraDetailsFinder = CameraDetails (*)();

constexpr UINT WM_DETAILS_FILL = WM_USER + 42;

// Runs the dialog modally over owner; find gives the details when they are
// asked for. Returns the dialog's result, -1 when it cannot be made.
INT_PTR ShowDetailsDialog(HINSTANCE module, HWND owner, CameraDetailsFinder find);
INT_PTR CALLBACK DetailsDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
// Shows the details (and OK) and hides the wait text, or the other way round. Returns 1.
BOOL ShowDetails(HWND dialog, BOOL show);
// Fills the five values. Returns 1.
BOOL FillDetails(HWND dialog);
// The module's version text into buffer (cut to fit); 1 when there is one. A
// null buffer or a size of 0 writes nothing.
BOOL GetDriverVersion(char* buffer, DWORD size);
// The description of a 16-bit module file whose description starts with
// prefix (then blanks, ':' and blanks); 1 when found, else 0 and "".
BOOL GetDriverDescription(HINSTANCE module, const char* prefix, char* buffer, DWORD size);
