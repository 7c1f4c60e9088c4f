// The one place the driver meets its host operating system. Every call here is
// one the driver really makes; on Windows each is a thin wrapper over the real
// API (win32/), elsewhere a portable stand-in (portable/).
#pragma once

#include <cstddef>
#include <string>

#include "platform/dialog_template.h"
#include "platform/types.h"

namespace platform {

// ---- settings file (profile-function semantics)
// A file name without a directory resolves to the settings folder.
UINT GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file);
// Copies the value (or the default) into out, at most size-1 characters plus the
// terminator; returns the number of characters copied.
DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* out,
                              DWORD size, const char* file);
BOOL WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file);
// The system's three-letter language code ("enu", "eng", "fra", ...).
std::string SystemLanguageCode();

// ---- clock and multimedia timer
DWORD TimeGetTime();  // monotonic milliseconds, modulo 2^32
// Called by every busy-wait loop between two clock reads. On a virtual clock it
// moves time on, so waits cost nothing in tests.
void SpinWait();
// Returns once TimeGetTime() - start (unsigned, so a clock wrap is harmless)
// has reached ms: never earlier, by the same clock every caller reads. It
// sleeps towards the deadline and spins only where the system's sleep is too
// coarse, so a wait of half a second costs the processor next to nothing. On a
// test's virtual clock it spins with SpinWait, so the clock moves exactly as a
// busy-wait would move it.
void WaitElapsed(DWORD start, DWORD ms);
MMRESULT TimeGetDevCaps(TIMECAPS* caps, UINT size);
MMRESULT TimeBeginPeriod(UINT period);
MMRESULT TimeEndPeriod(UINT period);
// One-shot or periodic timer; the callback runs on the platform's timer thread.
// Returns the timer id, 0 when refused.
UINT TimeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK proc, DWORD_PTR user, UINT flags);
// Cancels a pending timer. Returns once a callback of that timer that is already
// running has finished, unless called from that callback itself.
MMRESULT TimeKillEvent(UINT id);

// ---- kernel port device
HANDLE CreatePortDevice(const WCHAR* name);  // INVALID_HANDLE_VALUE when absent
BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                     DWORD* bytesReturned);
BOOL CloseHandle(HANDLE device);

// ---- user interface
int MessageBox(HWND owner, const char* text, const char* caption, UINT type);

// ---- dialogs
// The module's dialog resources, for a platform without a resource loader
// (Windows reads them from the DLL and ignores this).
void RegisterDialogTemplates(const DialogTemplate* templates, std::size_t count);
// Runs dialog resource `resourceId` modally; its procedure gets `param` with
// WM_INITDIALOG. The result EndDialog gave, or -1 when the dialog cannot be made.
INT_PTR DialogBoxParam(HINSTANCE module, int resourceId, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
BOOL SetDlgItemText(HWND dialog, int id, const char* text);
// Copies at most size-1 characters and the terminator; returns the count copied.
UINT GetDlgItemText(HWND dialog, int id, char* out, int size);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
BOOL CheckRadioButton(HWND dialog, int first, int last, int check);
UINT IsDlgButtonChecked(HWND dialog, int id);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL ShowWindow(HWND window, int show);
BOOL SetWindowText(HWND window, const char* text);
// A scroll-bar control's range and position (SB_CTL).
BOOL SetScrollRange(HWND control, int min, int max, BOOL redraw);
int SetScrollPos(HWND control, int pos, BOOL redraw);
HWND SetFocus(HWND window);
// Queues a message for the window's thread. FALSE when the window is gone or
// its queue is full (10,000 messages, as on Windows): the sender keeps what
// the message carried.
BOOL PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
// Has the window's own thread handle the message and waits for it, at most
// timeoutMs: TRUE when the window procedure ran it in time (or ran it here, on
// the window's own thread). FALSE when the window is gone or its thread did
// not get to it.
BOOL SendMessageTimeout(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT timeoutMs);
// Whether the driver copies each trace line to the developer's output besides
// the trace window: on Windows the window is the trace; on Linux, with no
// window to look at, the copy on stderr is.
bool TraceEchoByDefault();
// A value a dialog procedure keeps with its window (the dialog's user slot).
void SetDialogData(HWND dialog, LONG_PTR data);
LONG_PTR GetDialogData(HWND dialog);

// ---- modeless windows
// A modeless dialog owned by the calling thread. Messages posted to it reach its
// procedure through that thread's message loop (PumpMessages); null when the
// dialog cannot be made. When its thread ends, the system destroys it.
HWND CreateDialogParam(HINSTANCE module, int resourceId, HWND owner, DLGPROC proc, LPARAM param);
// Sends WM_DESTROY, then removes the window; messages still queued for it are
// discarded. Fails unless called on the thread that owns the window.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// True when the calling thread owns the (live) window.
bool IsOwnWindow(HWND window);
// Runs the calling thread's message loop until no posted message is left.
void PumpMessages();
// Takes (PM_REMOVE) or reads the first message posted to the window with a
// number from first to last; FALSE when there is none.
BOOL PeekMessage(MSG* out, HWND window, UINT first, UINT last, UINT remove);
LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam);
// A dialog told of a new size gets WM_SIZE with the new client width and height.
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL GetClientRect(HWND window, RECT* out);
HMENU GetSystemMenu(HWND window, BOOL revert);
BOOL AppendMenu(HMENU menu, UINT flags, UINT_PTR id, const char* text);
UINT EnableMenuItem(HMENU menu, UINT item, UINT flags);  // the earlier state, or -1 without such item
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
UINT GetMenuState(HMENU menu, UINT item, UINT flags);   // MF_* bits, or -1 without such item
BOOL DrawMenuBar(HWND window);

// ---- global memory blocks (moveable, locked to be read or written)
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);  // null when freed

// The system's own settings ("Intl" and the like), as GetProfileStringA reads them.
DWORD GetProfileString(const char* section, const char* key, const char* defaultValue, char* out, DWORD size);

// ---- host services
LRESULT DefDriverProc(DWORD_PTR driverId, HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2);
BOOL DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD msg, DWORD_PTR user, DWORD_PTR param1,
                    DWORD_PTR param2);
// Index of the palette entry closest to (r, g, b).
UINT GetNearestPaletteIndex(const PALETTEENTRY* entries, UINT count, BYTE r, BYTE g, BYTE b);
// The module (shared library or DLL) the driver is loaded from.
HINSTANCE ModuleHandle();
// A line for the developer watching the driver: stderr on a console system,
// the debugger's output on Windows.
void DebugOutput(const char* line);
// A function to run when the module is unloaded from a process that goes on
// (a window whose procedure lives in the module must not outlive it).
void OnModuleUnload(void (*handler)());
// The path of the module's own file; empty when unknown.
std::string ModuleFileName();
// The module's "\StringFileInfo\040904e4\FileVersion" value; empty when there is none.
std::string ModuleVersionText();
// Whether the host's session open (DRV_OPEN without open parameters) hands its
// text over in UTF-16: winmm on the NT family and the portable driver manager
// do; the Windows 9x driver manager hands over 8-bit text.
bool SessionOpenTextIsUtf16();

}  // namespace platform
