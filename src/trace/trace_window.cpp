// The trace window. Senders on any thread only allocate, format and post a
// line block; the list box is touched solely by the window procedure, on the
// window's own thread. Every block this module posts is on the `issued` list
// until the window takes it back, so a block is freed exactly once: by the
// window, by a sender whose post failed, by the drain when the window is
// destroyed, or by a reset. A line message carrying any other value is not ours
// and is left alone.
#include "trace/trace_window.h"

#include <algorithm>
#include <cstdarg>
#include <mutex>
#include <vector>

#include "core/driver_context.h"
#include "platform/platform.h"
#include "trace/trace.h"

namespace {

// Asks the window to destroy itself: only its own thread may.
constexpr UINT WM_TRACE_CLOSE = WM_USER + 201;

struct TraceWindowState {
  static constexpr int kResetRank = 10;  // by layer, highest first (see core/README.md)
  void Reset();

  std::mutex mutex;  // guards the fields below; never held while a window procedure runs
  HWND window = nullptr;
  bool running = true;  // survives closing and reopening the window
  std::vector<HGLOBAL> issued;
  int created = 0;
  bool echo = true;
};

TraceWindowState& State() { return Context().Module<TraceWindowState>(); }

// Takes a block back from the issued list; false when it was not (or no longer) ours.
bool TakeBack(HGLOBAL block) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  auto it = std::find(s.issued.begin(), s.issued.end(), block);
  if (it == s.issued.end()) return false;
  s.issued.erase(it);
  return true;
}

void AppendLine(HWND window, const char* text) {
  const LRESULT index = platform::SendDlgItemMessage(window, kTraceListBoxId, LB_ADDSTRING, 0,
                                                     reinterpret_cast<LPARAM>(text));
  platform::SendDlgItemMessage(window, kTraceListBoxId, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  if (platform::SendDlgItemMessage(window, kTraceListBoxId, LB_GETCOUNT, 0, 0) > static_cast<LRESULT>(kTraceMaxLines)) {
    platform::SendDlgItemMessage(window, kTraceListBoxId, LB_DELETESTRING, 0, 0);
  }
}

void ShowLine(HWND window, HGLOBAL block) {
  if (!TakeBack(block)) return;
  if (TraceWindowRunning()) {
    if (const char* text = static_cast<const char*>(platform::GlobalLock(block))) {
      AppendLine(window, text);
      platform::GlobalUnlock(block);
    }
  }
  platform::GlobalFree(block);
}

// Lines still queued when the window goes would never be delivered: free them.
void DrainLines(HWND window) {
  MSG msg;
  while (platform::PeekMessage(&msg, window, WM_TRACE_LINE, WM_TRACE_LINE, PM_REMOVE)) {
    HGLOBAL block = reinterpret_cast<HGLOBAL>(msg.lParam);
    if (TakeBack(block)) platform::GlobalFree(block);
  }
}

void ShowPauseMark(HWND window, bool running) {
  platform::CheckMenuItem(platform::GetSystemMenu(window, FALSE), IDM_PAUSE,
                          MF_BYCOMMAND | (running ? MF_UNCHECKED : MF_CHECKED));
}

void InitWindow(HWND window) {
  HMENU menu = platform::GetSystemMenu(window, FALSE);
  platform::AppendMenu(menu, MF_MENUBREAK, 0, nullptr);
  platform::AppendMenu(menu, MF_STRING, IDM_PAUSE, "&Pause");
  platform::EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  // A pause outlives the window; the new menu shows it.
  ShowPauseMark(window, TraceWindowRunning());
  platform::DrawMenuBar(window);
  platform::ShowWindow(window, SW_SHOW);
}

void TogglePause(HWND window) {
  bool running;
  {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    running = s.running = !s.running;
  }
  ShowPauseMark(window, running);
}

INT_PTR CALLBACK TraceDialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      InitWindow(window);
      return FALSE;
    case WM_SIZE:
      platform::MoveWindow(platform::GetDlgItem(window, kTraceListBoxId), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return TRUE;
    case WM_SYSCOMMAND:
      if (wParam != IDM_PAUSE) return FALSE;
      TogglePause(window);
      return TRUE;
    case WM_TRACE_LINE:
      ShowLine(window, reinterpret_cast<HGLOBAL>(lParam));
      return TRUE;
    case WM_TRACE_CLOSE:
      platform::DestroyWindow(window);
      return TRUE;
    case WM_DESTROY:
      DrainLines(window);
      return FALSE;
    default:
      return FALSE;
  }
}

// Forgets the window and has it destroyed on its own thread.
void DestroyOnItsThread(HWND window) {
  if (window == nullptr) return;
  if (platform::IsOwnWindow(window)) {
    platform::DestroyWindow(window);
  } else {
    platform::PostMessage(window, WM_TRACE_CLOSE, 0, 0);
  }
}

}  // namespace

bool TraceWindowCreate() {
  auto& s = State();
  {
    std::lock_guard lock(s.mutex);
    if (s.window != nullptr && platform::IsWindow(s.window)) return false;
  }
  // The dialog's WM_INITDIALOG reads the state: make it outside the lock.
  HWND window = platform::CreateDialogParam(platform::ModuleHandle(), kTraceDialogId, nullptr, TraceDialogProc, 0);
  platform::OnModuleUnload(TraceWindowDestroy);
  std::lock_guard lock(s.mutex);
  s.window = window;
  if (window != nullptr) ++s.created;
  return window != nullptr;
}

void TraceWindowDestroy() {
  auto& s = State();
  HWND window;
  {
    std::lock_guard lock(s.mutex);
    window = s.window;
    s.window = nullptr;
  }
  DestroyOnItsThread(window);
}

bool TraceWindowExists() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.window != nullptr && platform::IsWindow(s.window);
}

bool TraceWindowPostLine(const char* format, va_list args) {
  auto& s = State();
  HWND window = TraceWindowHandle();
  if (window == nullptr || !platform::IsWindow(window)) return false;
  HGLOBAL block = platform::GlobalAlloc(GHND, kTraceLineBlockSize);
  if (block == nullptr) return false;
  char* text = static_cast<char*>(platform::GlobalLock(block));
  if (text == nullptr) {
    platform::GlobalFree(block);
    return false;
  }
  FormatTraceLineV(text, kTraceLineBlockSize, format, args);
  bool echo;
  {
    std::lock_guard lock(s.mutex);
    echo = s.echo;
    s.issued.push_back(block);  // before the post: the window may take it at once
  }
  if (echo) platform::DebugOutput(text);
  platform::GlobalUnlock(block);
  if (platform::PostMessage(window, WM_TRACE_LINE, 0, reinterpret_cast<LPARAM>(block))) return true;
  if (TakeBack(block)) platform::GlobalFree(block);
  return false;
}

void SetTraceEcho(bool echo) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.echo = echo;
}

HWND TraceWindowHandle() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.window;
}

namespace {

HWND PumpedWindow() {
  platform::PumpMessages();
  HWND window = TraceWindowHandle();
  return window != nullptr && platform::IsWindow(window) ? window : nullptr;
}

LRESULT ListBox(HWND window, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
  return platform::SendDlgItemMessage(window, kTraceListBoxId, msg, wParam, lParam);
}

bool MenuItemHas(UINT item, UINT flag) {
  HWND window = PumpedWindow();
  if (window == nullptr) return false;
  const UINT state = platform::GetMenuState(platform::GetSystemMenu(window, FALSE), item, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & flag) != 0;
}

}  // namespace

std::vector<std::string> TraceWindowLines() {
  std::vector<std::string> lines;
  HWND window = PumpedWindow();
  if (window == nullptr) return lines;
  const LRESULT count = ListBox(window, LB_GETCOUNT);
  for (LRESULT i = 0; i < count; ++i) {
    char text[kTraceLineBlockSize] = {};
    if (ListBox(window, LB_GETTEXTLEN, static_cast<WPARAM>(i)) < static_cast<LRESULT>(sizeof text)) {
      ListBox(window, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    }
    lines.emplace_back(text);
  }
  return lines;
}

int TraceWindowSelection() {
  HWND window = PumpedWindow();
  return window != nullptr ? static_cast<int>(ListBox(window, LB_GETCURSEL)) : -1;
}

bool TraceWindowRunning() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.running;
}

void TraceWindowTogglePause() {
  if (HWND window = PumpedWindow()) platform::SendMessage(window, WM_SYSCOMMAND, IDM_PAUSE, 0);
}

bool TraceWindowPauseChecked() { return MenuItemHas(IDM_PAUSE, MF_CHECKED); }

bool TraceWindowCloseGreyed() { return MenuItemHas(SC_CLOSE, MF_GRAYED); }

int TraceWindowsCreated() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.created;
}

void TraceWindowState::Reset() {
  HWND old;
  std::vector<HGLOBAL> blocks;
  {
    std::lock_guard lock(mutex);
    old = window;
    window = nullptr;
    blocks.swap(issued);  // messages still carrying these are foreign from now on
    running = true;
    created = 0;
    echo = true;
  }
  DestroyOnItsThread(old);
  for (HGLOBAL block : blocks) platform::GlobalFree(block);
}
