// The headless model's modeless windows: each belongs to the thread that made
// it, and what is posted to it waits in its queue until that thread runs its
// message loop (PumpMessages), as on a desktop. Also the list box, the window
// menu and the sizes a window procedure may ask for.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/portable/dialog_windows.h"

namespace platform {
using namespace model;

namespace {

// The window menu every resizable dialog starts with.
std::unique_ptr<Menu> StandardSystemMenu(Dialog* d) {
  auto menu = std::make_unique<Menu>();
  menu->dialog = d;
  menu->items = {{MF_STRING, SC_MOVE, "&Move"},
                 {MF_STRING, SC_SIZE, "&Size"},
                 {MF_SEPARATOR, 0, ""},
                 {MF_STRING, SC_CLOSE, "&Close\tAlt+F4"}};
  return menu;
}

Menu* LiveMenu(HMENU handle) {
  auto& r = Windows();
  std::lock_guard lock(r.mutex);
  return r.alive.count(handle) != 0 ? reinterpret_cast<Menu*>(handle) : nullptr;
}

MenuItem* FindMenuItem(HMENU handle, UINT id) {
  Menu* menu = LiveMenu(handle);
  if (menu == nullptr) return nullptr;
  for (auto& item : menu->items) {
    if ((item.flags & MF_SEPARATOR) == 0 && item.id == id) return &item;
  }
  return nullptr;
}

// Swaps one state bit of a menu item, returning the earlier state (-1: none).
UINT SetMenuBit(HMENU menu, UINT id, UINT bit, bool on) {
  MenuItem* item = FindMenuItem(menu, id);
  if (item == nullptr) return static_cast<UINT>(-1);
  const UINT before = item->flags & bit;
  item->flags = on ? (item->flags | bit) : (item->flags & ~bit);
  return before;
}

LRESULT ListBoxMessage(Window* box, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto& items = box->items;
  const auto count = static_cast<LRESULT>(items.size());
  const auto index = static_cast<LRESULT>(static_cast<int>(wParam));
  switch (msg) {
    case LB_ADDSTRING:
      items.emplace_back(lParam != 0 ? reinterpret_cast<const char*>(lParam) : "");
      return count;
    case LB_DELETESTRING:
      if (index < 0 || index >= count) return LB_ERR;
      items.erase(items.begin() + index);
      if (box->selection == index) box->selection = LB_ERR;
      else if (box->selection > index) --box->selection;
      return count - 1;
    case LB_SETCURSEL:
      box->selection = index >= 0 && index < count ? static_cast<int>(index) : LB_ERR;
      return box->selection;
    case LB_GETCURSEL: return box->selection;
    case LB_GETCOUNT: return count;
    case LB_GETTEXTLEN: return index >= 0 && index < count ? static_cast<LRESULT>(items[index].size()) : LB_ERR;
    case LB_GETTEXT:
      if (index < 0 || index >= count || lParam == 0) return LB_ERR;
      std::memcpy(reinterpret_cast<char*>(lParam), items[index].c_str(), items[index].size() + 1);
      return static_cast<LRESULT>(items[index].size());
    default: return 0;
  }
}

// The oldest live modeless dialog of the calling thread with a message waiting.
bool NextPostedOfThisThread(Dialog** to, MSG* out) {
  auto& r = Windows();
  std::lock_guard lock(r.mutex);
  for (auto& d : r.modeless) {
    if (d->thread != std::this_thread::get_id() || d->posted.empty()) continue;
    *to = d.get();
    *out = d->posted.front();
    d->posted.pop_front();
    return true;
  }
  return false;
}

// As on a desktop, a thread's windows go when the thread ends: their
// procedures get WM_DESTROY on that thread, on its way out.
struct ThreadWindows {
  bool made = false;
  ~ThreadWindows() {
    if (!made) return;
    std::vector<HWND> own;
    {
      auto& r = Windows();
      std::lock_guard lock(r.mutex);
      for (auto& d : r.modeless) {
        if (d->thread == std::this_thread::get_id()) own.push_back(Handle(d.get()));
      }
    }
    for (HWND window : own) platform::DestroyWindow(window);
  }
};

}  // namespace

HWND CreateDialogParam(HINSTANCE, int resourceId, HWND, DLGPROC proc, LPARAM param) {
  std::unique_ptr<Dialog> made = MakeDialog(resourceId, proc);
  if (made == nullptr) return nullptr;
  Dialog* d = made.get();
  d->modeless = true;
  d->thread = std::this_thread::get_id();
  static thread_local ThreadWindows threadWindows;
  threadWindows.made = true;
  d->systemMenu = StandardSystemMenu(d);
  {
    auto& r = Windows();
    std::lock_guard lock(r.mutex);
    r.modeless.push_back(std::move(made));
  }
  Remember(d, true);
  Send(d, WM_INITDIALOG, 0, param);
  return Live(Handle(d)) != nullptr ? Handle(d) : nullptr;  // it may have destroyed itself
}

BOOL DestroyWindow(HWND window) {
  Dialog* d = LiveDialog(window);
  if (d == nullptr || !d->modeless || d->thread != std::this_thread::get_id()) return FALSE;
  Send(d, WM_DESTROY, 0, 0);
  Remember(d, false);
  std::unique_ptr<Dialog> gone;
  {
    auto& r = Windows();
    std::lock_guard lock(r.mutex);
    auto it = std::find_if(r.modeless.begin(), r.modeless.end(), [d](auto& m) { return m.get() == d; });
    if (it != r.modeless.end()) {
      gone = std::move(*it);
      r.modeless.erase(it);
    }
  }
  return TRUE;  // what was still queued goes with it
}

BOOL IsWindow(HWND window) { return Live(window) != nullptr ? TRUE : FALSE; }

bool IsOwnWindow(HWND window) {
  Window* w = Live(window);
  return w != nullptr && w->dialog->modeless && w->dialog->thread == std::this_thread::get_id();
}

void PumpMessages() {
  Dialog* d = nullptr;
  MSG msg;
  while (NextPostedOfThisThread(&d, &msg)) {
    d->proc(Handle(d), msg.message, msg.wParam, msg.lParam);
    auto& r = Windows();
    std::lock_guard lock(r.mutex);
    if (r.awaited.erase(msg.time) != 0) r.handled.insert(msg.time);
  }
}

BOOL SendMessageTimeout(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT timeoutMs) {
  if (!platform::IsWindow(window)) return FALSE;
  if (platform::IsOwnWindow(window)) {
    platform::SendMessage(window, msg, wParam, lParam);
    return TRUE;
  }
  DWORD number = 0;
  if (!PostNumbered(window, msg, wParam, lParam, &number)) return FALSE;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto& r = Windows();
  for (;;) {
    {
      std::lock_guard lock(r.mutex);
      if (r.handled.erase(number) != 0) return TRUE;
      // Gone without handling it (its queue went with it), or out of time.
      if (r.alive.count(window) == 0 || std::chrono::steady_clock::now() >= deadline) {
        r.awaited.erase(number);
        return FALSE;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool TraceEchoByDefault() { return true; }

BOOL PeekMessage(MSG* out, HWND window, UINT first, UINT last, UINT remove) {
  Dialog* d = LiveDialog(window);
  if (d == nullptr || out == nullptr) return FALSE;
  return TakePosted(d, first, last, out, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

LRESULT SendMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  Window* w = Live(window);
  if (w == nullptr) return 0;
  if (w->kind == ControlKind::kListBox && w->dialog != w) return ListBoxMessage(w, msg, wParam, lParam);
  if (w->dialog != w) return 0;
  return Send(static_cast<Dialog*>(w), msg, wParam, lParam);
}

LRESULT SendDlgItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
  return platform::SendMessage(platform::GetDlgItem(dialog, id), msg, wParam, lParam);
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  Window* w = Live(window);
  if (w == nullptr) return FALSE;
  w->rect = RECT{x, y, x + width, y + height};
  if (w->dialog == w) {
    Send(static_cast<Dialog*>(w), WM_SIZE, 0, MAKELPARAM(static_cast<WORD>(width), static_cast<WORD>(height)));
  }
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* out) {
  Window* w = Live(window);
  if (w == nullptr || out == nullptr) return FALSE;
  *out = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

HMENU GetSystemMenu(HWND window, BOOL) {
  Dialog* d = LiveDialog(window);
  return d != nullptr && d->systemMenu ? reinterpret_cast<HMENU>(d->systemMenu.get()) : nullptr;
}

BOOL AppendMenu(HMENU handle, UINT flags, UINT_PTR id, const char* text) {
  Menu* menu = LiveMenu(handle);
  if (menu == nullptr) return FALSE;
  menu->items.push_back(MenuItem{flags, id, text != nullptr ? text : ""});
  return TRUE;
}

UINT EnableMenuItem(HMENU menu, UINT item, UINT flags) {
  return SetMenuBit(menu, item, MF_GRAYED, (flags & MF_GRAYED) != 0);
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags) {
  return SetMenuBit(menu, item, MF_CHECKED, (flags & MF_CHECKED) != 0);
}

UINT GetMenuState(HMENU menu, UINT item, UINT) {
  MenuItem* found = FindMenuItem(menu, item);
  return found != nullptr ? found->flags : static_cast<UINT>(-1);
}

BOOL DrawMenuBar(HWND window) { return platform::IsWindow(window); }

}  // namespace platform
