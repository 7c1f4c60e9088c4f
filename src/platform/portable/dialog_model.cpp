// The headless dialog model: dialogs made from the registered templates, whose
// controls keep their state (text, check, enabled, shown, scroll range and
// position) the way the system's controls do, run modally on the caller's
// thread. A host acting as the user reaches a dialog through DialogUser (see
// dialog_host.h). Handles are checked against the windows alive before use.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/portable/dialog_host.h"
#include "platform/portable/dialog_windows.h"

namespace platform {
namespace model {

Registry& Windows() {
  static Registry registry;
  return registry;
}

Window* Live(HWND handle) {
  auto& r = Windows();
  std::lock_guard lock(r.mutex);
  auto* w = reinterpret_cast<const Window*>(handle);
  return r.alive.count(w) != 0 ? const_cast<Window*>(w) : nullptr;
}

Dialog* LiveDialog(HWND handle) {
  Window* w = Live(handle);
  return w != nullptr && w->dialog == w ? static_cast<Dialog*>(w) : nullptr;
}

Window* Item(HWND dialog, int id) {
  Dialog* d = LiveDialog(dialog);
  if (d == nullptr) return nullptr;
  for (auto& c : d->controls) {
    if (c->id == id) return c.get();
  }
  return nullptr;
}

namespace {

const DialogTemplate* FindTemplate(int resourceId) {
  auto& r = Windows();
  std::lock_guard lock(r.mutex);
  for (auto [table, count] : r.templates) {
    for (std::size_t i = 0; i < count; ++i) {
      if (table[i].id == resourceId) return &table[i];
    }
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<Dialog> MakeDialog(int resourceId, DLGPROC proc) {
  const DialogTemplate* source = FindTemplate(resourceId);
  if (source == nullptr || proc == nullptr) return nullptr;
  auto d = std::make_unique<Dialog>();
  d->dialog = d.get();
  d->resourceId = resourceId;
  d->proc = proc;
  d->text = source->caption;
  d->modeless = source->modeless;
  d->rect = RECT{0, 0, source->cx, source->cy};
  for (std::size_t i = 0; i < source->controlCount; ++i) {
    const ControlTemplate& t = source->controls[i];
    auto c = std::make_unique<Window>();
    c->dialog = d.get();
    c->id = t.id;
    c->kind = t.kind;
    c->text = t.text;
    c->startsGroup = t.startsGroup;
    c->rect = RECT{t.rect.x, t.rect.y, t.rect.x + t.rect.cx, t.rect.y + t.rect.cy};
    d->controls.push_back(std::move(c));
  }
  return d;
}

void Remember(Dialog* d, bool alive) {
  auto& r = Windows();
  std::lock_guard lock(r.mutex);
  auto mark = [&](const void* w) {
    if (alive) r.alive.insert(w);
    else r.alive.erase(w);
  };
  mark(d);
  for (auto& c : d->controls) mark(c.get());
  if (d->systemMenu) mark(d->systemMenu.get());
}

bool TakePosted(Dialog* d, UINT first, UINT last, MSG* out, bool remove) {
  auto& r = Windows();
  std::lock_guard lock(r.mutex);
  if (r.alive.count(d) == 0) return false;
  for (auto it = d->posted.begin(); it != d->posted.end(); ++it) {
    if ((first != 0 || last != 0) && (it->message < first || it->message > last)) continue;
    *out = *it;
    if (remove) d->posted.erase(it);
    return true;
  }
  return false;
}

bool PostNumbered(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, DWORD* number) {
  auto& r = Windows();
  std::lock_guard lock(r.mutex);
  auto* w = reinterpret_cast<const Window*>(window);
  if (r.alive.count(w) == 0 || w->dialog != w) return false;
  auto* d = static_cast<Dialog*>(const_cast<Window*>(w));
  if (d->ended || d->posted.size() >= kPostedLimit) return false;
  const DWORD n = r.nextNumber++;
  if (number != nullptr) {
    *number = n;
    r.awaited.insert(n);
  }
  d->posted.push_back(MSG{window, msg, wParam, lParam, n});
  return true;
}

INT_PTR Send(Dialog* d, UINT msg, WPARAM wParam, LPARAM lParam) {
  INT_PTR answer = d->proc(Handle(d), msg, wParam, lParam);
  if (d->modeless) return answer;  // its thread's message loop delivers what it posted
  MSG p;
  while (!d->ended && TakePosted(d, 0, 0, &p, true)) d->proc(Handle(d), p.message, p.wParam, p.lParam);
  return answer;
}

UINT CopyOut(const std::string& text, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
  return static_cast<UINT>(n);
}

namespace {

bool IsButton(ControlKind kind) {
  return kind == ControlKind::kDefPushButton || kind == ControlKind::kPushButton ||
         kind == ControlKind::kAutoRadioButton;
}

// Checks one auto radio button and clears the others of its group: the
// controls from the group's first (a control that starts a group) to the next.
void CheckInGroup(Dialog* d, Window* button) {
  std::size_t at = 0;
  while (d->controls[at].get() != button) ++at;
  std::size_t first = at;
  while (first > 0 && !d->controls[first]->startsGroup) --first;
  for (std::size_t i = first; i < d->controls.size(); ++i) {
    if (i > first && d->controls[i]->startsGroup) break;
    if (d->controls[i]->kind == ControlKind::kAutoRadioButton) d->controls[i]->checked = d->controls[i].get() == button;
  }
}

// ---- the user's side
Window* Usable(HWND dialog, int id) {
  Dialog* d = LiveDialog(dialog);
  Window* c = Item(dialog, id);
  if (d == nullptr || d->ended || c == nullptr || !c->visible || !c->enabled) return nullptr;
  return c;
}

int UserResourceId(HWND dialog) {
  Dialog* d = LiveDialog(dialog);
  return d != nullptr ? d->resourceId : 0;
}

void UserCaption(HWND dialog, char* out, std::size_t size) {
  Dialog* d = LiveDialog(dialog);
  CopyOut(d != nullptr ? d->text : "", out, size);
}

std::size_t UserControlCount(HWND dialog) {
  Dialog* d = LiveDialog(dialog);
  return d != nullptr ? d->controls.size() : 0;
}

BOOL UserControl(HWND dialog, std::size_t index, ControlState* out) {
  Dialog* d = LiveDialog(dialog);
  if (d == nullptr || out == nullptr || index >= d->controls.size()) return FALSE;
  const Window& c = *d->controls[index];
  *out = ControlState{c.id, c.kind, c.visible, c.enabled, c.checked, c.scrollMin, c.scrollMax, c.scrollPos, {}};
  std::snprintf(out->text, sizeof out->text, "%s", c.text.c_str());
  return TRUE;
}

BOOL UserClick(HWND dialog, int id) {
  Window* c = Usable(dialog, id);
  if (c == nullptr || !IsButton(c->kind)) return FALSE;
  if (c->kind == ControlKind::kAutoRadioButton) CheckInGroup(c->dialog, c);
  Send(c->dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(c));
  return TRUE;
}

BOOL UserPaste(HWND dialog, int id, const char* text) {
  Window* c = Usable(dialog, id);
  if (c == nullptr || c->kind != ControlKind::kEdit) return FALSE;
  c->text = text != nullptr ? text : "";
  Send(c->dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), EN_CHANGE), reinterpret_cast<LPARAM>(c));
  return TRUE;
}

BOOL UserType(HWND dialog, int id, const char* text) {
  const std::string typed = text != nullptr ? text : "";
  if (typed.empty()) return UserPaste(dialog, id, "");
  // The first key replaces the selected text; each key after it adds one.
  for (std::size_t n = 1; n <= typed.size(); ++n) {
    if (!UserPaste(dialog, id, typed.substr(0, n).c_str())) return n > 1 ? TRUE : FALSE;
  }
  return TRUE;
}

BOOL UserScroll(HWND dialog, int id, int request, int thumb) {
  Window* c = Usable(dialog, id);
  if (c == nullptr || c->kind != ControlKind::kHorizontalScrollBar) return FALSE;
  Send(c->dialog, WM_HSCROLL, MAKEWPARAM(static_cast<WORD>(request), static_cast<WORD>(thumb)),
       reinterpret_cast<LPARAM>(c));
  return TRUE;
}

BOOL UserEnded(HWND dialog) {
  Dialog* d = LiveDialog(dialog);
  return d == nullptr || d->ended;
}

constexpr DialogUser kUser = {sizeof(DialogUser), UserResourceId, UserCaption, UserControlCount, UserControl,
                              UserClick,          UserType,       UserScroll,  UserEnded,   UserPaste};

// The owner is a host only when the environment names its address.
DialogHost* HostOf(HWND owner) {
  const char* named = std::getenv(kDialogHostVariable);
  if (owner == nullptr || named == nullptr || *named == '\0') return nullptr;
  const auto address = static_cast<std::uintptr_t>(std::strtoull(named, nullptr, 16));
  return address == reinterpret_cast<std::uintptr_t>(owner) ? reinterpret_cast<DialogHost*>(owner) : nullptr;
}

void SetText(Window* w, const char* text) {
  w->text = text != nullptr ? text : "";
  // An edit box tells its dialog of every change, the dialog's own included.
  if (w->kind == ControlKind::kEdit && w->dialog != w) {
    Send(w->dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(w->id), EN_CHANGE), reinterpret_cast<LPARAM>(w));
  }
}

}  // namespace
}  // namespace model

using namespace model;

void RegisterDialogTemplates(const DialogTemplate* templates, std::size_t count) {
  auto& r = Windows();
  std::lock_guard lock(r.mutex);
  for (auto [table, n] : r.templates) {
    if (table == templates) return;
  }
  r.templates.emplace_back(templates, count);
}

INT_PTR DialogBoxParam(HINSTANCE, int resourceId, HWND owner, DLGPROC proc, LPARAM param) {
  std::unique_ptr<Dialog> d = MakeDialog(resourceId, proc);
  if (d == nullptr) return -1;
  d->modeless = false;  // whatever the template says, this one runs modally
  Remember(d.get(), true);
  Send(d.get(), WM_INITDIALOG, 0, param);
  if (!d->ended) {
    if (DialogHost* host = HostOf(owner)) host->shown(host->context, Handle(d.get()), &kUser);
  }
  if (!d->ended) Send(d.get(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  const INT_PTR result = d->ended ? d->result : 0;
  Remember(d.get(), false);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Dialog* d = LiveDialog(dialog);
  if (d == nullptr) return FALSE;
  d->ended = true;
  d->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) { return Handle(Item(dialog, id)); }

BOOL SetDlgItemText(HWND dialog, int id, const char* text) {
  Window* c = Item(dialog, id);
  if (c == nullptr) return FALSE;
  SetText(c, text);
  return TRUE;
}

UINT GetDlgItemText(HWND dialog, int id, char* out, int size) {
  Window* c = Item(dialog, id);
  if (size <= 0) return 0;
  return CopyOut(c != nullptr ? c->text : "", out, static_cast<std::size_t>(size));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
  const std::string text = isSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
  return platform::SetDlgItemText(dialog, id, text.c_str());
}

BOOL CheckRadioButton(HWND dialog, int first, int last, int check) {
  Dialog* d = LiveDialog(dialog);
  if (d == nullptr) return FALSE;
  for (auto& c : d->controls) {
    if (c->id >= first && c->id <= last) c->checked = c->id == check;
  }
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  Window* c = Item(dialog, id);
  return c != nullptr && c->checked ? BST_CHECKED : BST_UNCHECKED;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Window* w = Live(window);
  if (w == nullptr) return FALSE;
  const BOOL wasDisabled = w->enabled ? FALSE : TRUE;
  w->enabled = enable != FALSE;
  return wasDisabled;
}

BOOL ShowWindow(HWND window, int show) {
  Window* w = Live(window);
  if (w == nullptr) return FALSE;
  const BOOL wasVisible = w->visible ? TRUE : FALSE;
  w->visible = show != SW_HIDE;
  return wasVisible;
}

BOOL SetWindowText(HWND window, const char* text) {
  Window* w = Live(window);
  if (w == nullptr) return FALSE;
  SetText(w, text);
  return TRUE;
}

BOOL SetScrollRange(HWND control, int min, int max, BOOL) {
  Window* w = Live(control);
  if (w == nullptr || w->kind != ControlKind::kHorizontalScrollBar) return FALSE;
  w->scrollMin = min;
  w->scrollMax = max;
  if (w->scrollPos < min) w->scrollPos = min;
  if (w->scrollPos > max) w->scrollPos = max;
  return TRUE;
}

int SetScrollPos(HWND control, int pos, BOOL) {
  Window* w = Live(control);
  if (w == nullptr || w->kind != ControlKind::kHorizontalScrollBar) return 0;
  const int previous = w->scrollPos;
  w->scrollPos = pos < w->scrollMin ? w->scrollMin : (pos > w->scrollMax ? w->scrollMax : pos);
  return previous;
}

HWND SetFocus(HWND window) {
  Window* w = Live(window);
  if (w == nullptr) return nullptr;
  Window* previous = w->dialog->focus;
  w->dialog->focus = w;
  return Handle(previous);
}

BOOL PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  return model::PostNumbered(window, msg, wParam, lParam, nullptr) ? TRUE : FALSE;
}

void SetDialogData(HWND dialog, LONG_PTR data) {
  if (Dialog* d = LiveDialog(dialog)) d->data = data;
}

LONG_PTR GetDialogData(HWND dialog) {
  Dialog* d = LiveDialog(dialog);
  return d != nullptr ? d->data : 0;
}

DWORD GetProfileString(const char* section, const char* key, const char* defaultValue, char* out, DWORD size) {
  // The one system setting the driver reads: the user's language.
  std::string value = defaultValue != nullptr ? defaultValue : "";
  if (section != nullptr && key != nullptr && strcasecmp(section, "Intl") == 0 && strcasecmp(key, "sLanguage") == 0) {
    value = SystemLanguageCode();
  }
  return CopyOut(value, out, size);
}

}  // namespace platform
