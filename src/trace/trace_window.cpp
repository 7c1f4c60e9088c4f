// The trace window. Senders on any thread only allocate, format and post a
// line block; the list box is touched solely by the window procedure, on the
// window's own thread. Every block this module posts is in the `issued` set
// until the window takes it back, so a block is freed exactly once: by the
// window, by a sender whose post failed (a full queue among the reasons), by
// the drain when the window is destroyed, or by a reset. A line message
// carrying any other value is not ours and is left alone. A window asked to
// close from another thread is remembered until its own thread has destroyed
// it, so the module's last moments can make sure it is gone.
#include "trace/trace_window.h"

#include <cstdarg>
#include <mutex>
#include <unordered_set>
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
  HWND window = nullptr;   // the window lines go to
  HWND closing = nullptr;  // asked to close by another thread, not destroyed yet
  bool running = true;  // survives closing and reopening the window
  std::unordered_set<HGLOBAL> issued;
  int created = 0;
  bool echo = platform::TraceEchoByDefault();
};

TraceWindowState& State() { return Context().Module<TraceWindowState>(); }

// Takes a block back from the issued list; false when it was not (or no longer) ours.
bool TakeBack(HGLOBAL block) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.issued.erase(block) != 0;
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

// The window is being destroyed: nothing refers to it any more.
void Forget(HWND window) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  if (s.window == window) s.window = nullptr;
  if (s.closing == window) s.closing = nullptr;
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
      Forget(window);
      return FALSE;
    default:
      return FALSE;
  }
}

// Has the window destroyed on its own thread: at once on it, otherwise by
// asking that thread, remembering the window until it is gone.
void DestroyOnItsThread(HWND window) {
  if (window == nullptr) return;
  if (platform::IsOwnWindow(window)) {
    platform::DestroyWindow(window);
    return;
  }
  {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    s.closing = window;
  }
  platform::PostMessage(window, WM_TRACE_CLOSE, 0, 0);
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
  platform::OnModuleUnload(TraceWindowDestroyNow);
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

void TraceWindowDestroyNow() {
  TraceWindowDestroy();
  HWND closing;
  {
    auto& s = State();
    std::lock_guard lock(s.mutex);
    closing = s.closing;
  }
  // Its thread is asked and waited for, a second at most; a thread that has
  // ended took its windows with it.
  if (closing != nullptr && platform::IsWindow(closing)) {
    platform::SendMessageTimeout(closing, WM_TRACE_CLOSE, 0, 0, kTraceCloseWaitMs);
  }
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
    s.issued.insert(block);  // before the post: the window may take it at once
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
  std::unordered_set<HGLOBAL> blocks;
  {
    std::lock_guard lock(mutex);
    old = window;
    window = nullptr;
    blocks.swap(issued);  // messages still carrying these are foreign from now on
    running = true;
    created = 0;
    echo = platform::TraceEchoByDefault();
  }
  DestroyOnItsThread(old);
  for (HGLOBAL block : blocks) platform::GlobalFree(block);
}
