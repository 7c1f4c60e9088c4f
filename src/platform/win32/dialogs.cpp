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
BOOL SendMessageTimeout(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT timeoutMs) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutA(window, msg, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}
bool TraceEchoByDefault() { return false; }
void SetDialogData(HWND dialog, LONG_PTR data) { ::SetWindowLongPtrA(dialog, DWLP_USER, data); }
LONG_PTR GetDialogData(HWND dialog) { return ::GetWindowLongPtrA(dialog, DWLP_USER); }
HWND CreateDialogParam(HINSTANCE module, int resourceId, HWND owner, DLGPROC proc, LPARAM param) {
  return ::CreateDialogParamA(module, MAKEINTRESOURCEA(resourceId), owner, proc, param);
}
BOOL DestroyWindow(HWND window) { return ::DestroyWindow(window); }
BOOL IsWindow(HWND window) { return ::IsWindow(window); }
bool IsOwnWindow(HWND window) {
  return ::IsWindow(window) && ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId();
}
void PumpMessages() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}
BOOL PeekMessage(MSG* out, HWND window, UINT first, UINT last, UINT remove) {
  return ::PeekMessageA(out, window, first, last, remove);
}
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(window, msg, wParam, lParam);
}
LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::SendDlgItemMessageA(dialog, id, msg, wParam, lParam);
}
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return ::MoveWindow(window, x, y, width, height, repaint);
}
BOOL GetClientRect(HWND window, RECT* out) { return ::GetClientRect(window, out); }
HMENU GetSystemMenu(HWND window, BOOL revert) { return ::GetSystemMenu(window, revert); }
BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* text) { return ::AppendMenuA(menu, flags, id, text); }
UINT EnableMenuItem(HMENU menu, UINT item, UINT flags) { return ::EnableMenuItem(menu, item, flags); }
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags) { return ::CheckMenuItem(menu, item, flags); }
UINT GetMenuState(HMENU menu, UINT item, UINT flags) { return ::GetMenuState(menu, item, flags); }
BOOL DrawMenuBar(HWND window) { return ::DrawMenuBar(window); }
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) { return ::GlobalAlloc(flags, bytes); }
void* GlobalLock(HGLOBAL block) { return ::GlobalLock(block); }
BOOL GlobalUnlock(HGLOBAL block) { return ::GlobalUnlock(block); }
HGLOBAL GlobalFree(HGLOBAL block) { return ::GlobalFree(block); }
DWORD GetProfileString(const char* section, const char* key, const char* defaultValue, char* out, DWORD size) {
  return ::GetProfileStringA(section, key, defaultValue, out, size);
}

}  // namespace platform
