// Dialogs through the system's own window manager: the resources are in the
// DLL, so registering templates has nothing to do.
#include "platform/platform.h"

namespace platform {

void RegisterDialogTemplates(const DialogTemplate*, std::size_t) {}

INT_PTR DialogBoxParam(HINSTANCE module, int resourceId, HWND owner, DLGPROC proc, LPARAM param) {
  return ::DialogBoxParamA(module, MAKEINTRESOURCEA(resourceId), owner, proc, param);
}

BOOL EndDialog(HWND dialog, INT_PTR result) { return ::EndDialog(dialog, result); }
HWND GetDlgItem(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }
BOOL SetDlgItemText(HWND dialog, int id, const char* text) { return ::SetDlgItemTextA(dialog, id, text); }
UINT GetDlgItemText(HWND dialog, int id, char* out, int size) { return ::GetDlgItemTextA(dialog, id, out, size); }
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  return ::SetDlgItemInt(dialog, id, value, isSigned);
}
BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
  return ::CheckRadioButton(dialog, first, last, check);
}
UINT IsDlgButtonChecked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id); }
BOOL EnableWindow(HWND window, BOOL enable) { return ::EnableWindow(window, enable); }
BOOL ShowWindow(HWND window, int show) { return ::ShowWindow(window, show); }
BOOL SetWindowText(HWND window, const char* text) { return ::SetWindowTextA(window, text); }
BOOL SetScrollRange(HWND control, int min, int max, BOOL redraw) {
  return ::SetScrollRange(control, SB_CTL, min, max, redraw);
}
int SetScrollPos(HWND control, int pos, BOOL redraw) { return ::SetScrollPos(control, SB_CTL, pos, redraw); }
HWND SetFocus(HWND window) { return ::SetFocus(window); }
BOOL PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(window, msg, wParam, lParam);
}
void SetDialogData(HWND dialog, LONG_PTR data) { ::SetWindowLongPtrA(dialog, DWLP_USER, data); }
LONG_PTR GetDialogData(HWND dialog) { return ::GetWindowLongPtrA(dialog, DWLP_USER); }
DWORD GetProfileString(const char* section, const char* key, const char* defaultValue, char* out, DWORD size) {
  return ::GetProfileStringA(section, key, defaultValue, out, size);
}

}  // namespace platform
