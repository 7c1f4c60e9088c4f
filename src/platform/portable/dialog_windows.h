// The headless window model's records, shared by its modal dialogs
// (dialog_model.cpp) and its modeless windows, list boxes and menus
// (window_model.cpp). Every handle the model gives out is the address of one
// of these records; it is checked against the records alive before use.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/types.h"

namespace platform::model {

struct Dialog;

struct Window {
  Dialog* dialog = nullptr;  // the dialog a control belongs to; itself for a dialog
  int id = -1;
  ControlKind kind = ControlKind::kLeftText;
  std::string text;
  bool visible = true;
  bool enabled = true;
  bool checked = false;
  bool startsGroup = false;
  int scrollMin = 0, scrollMax = 0, scrollPos = 0;
  RECT rect = {};
  std::vector<std::string> items;  // a list box's lines
  int selection = LB_ERR;          // a list box's selected line
};

struct MenuItem {
  UINT flags;  // MF_* bits: grey, checked, break, separator
  UINT_PTR id;
  std::string text;
};

struct Menu {
  Dialog* dialog = nullptr;
  std::vector<MenuItem> items;
};

struct Dialog : Window {
  int resourceId = 0;
  DLGPROC proc = nullptr;
  std::vector<std::unique_ptr<Window>> controls;
  std::deque<MSG> posted;  // guarded by the registry's mutex
  bool modeless = false;
  std::thread::id thread;  // the owning thread of a modeless dialog
  bool ended = false;
  INT_PTR result = 0;
  LONG_PTR data = 0;
  Window* focus = nullptr;
  std::unique_ptr<Menu> systemMenu;
};

// A window's queue holds at most this many posted messages, as on Windows.
constexpr std::size_t kPostedLimit = 10000;

struct Registry {
  std::mutex mutex;
  std::vector<std::pair<const DialogTemplate*, std::size_t>> templates;
  std::set<const void*> alive;                     // dialogs, controls and menus
  std::vector<std::unique_ptr<Dialog>> modeless;  // the model owns modeless dialogs
  // Posted messages are numbered (in MSG::time); a sender waiting for one to be
  // handled (SendMessageTimeout) finds its number in `handled` once it has been.
  DWORD nextNumber = 1;
  std::set<DWORD> awaited;
  std::set<DWORD> handled;
};

Registry& Windows();
inline HWND Handle(Window* w) { return reinterpret_cast<HWND>(w); }
Window* Live(HWND handle);
Dialog* LiveDialog(HWND handle);
Window* Item(HWND dialog, int id);
// A dialog with its controls, made from resource `resourceId`; null without one.
std::unique_ptr<Dialog> MakeDialog(int resourceId, DLGPROC proc);
// Adds or removes a dialog, its controls and its menu from the live set.
void Remember(Dialog* d, bool alive);
// Posts a message to a live dialog's queue; false when the dialog is gone or
// its queue full. With `number`, the message's number is returned and the
// message is awaited: once handled its number shows in Registry::handled.
bool PostNumbered(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, DWORD* number);
// Takes the first message posted to d with a number from first to last (0, 0: any).
bool TakePosted(Dialog* d, UINT first, UINT last, MSG* out, bool remove);
// Calls the dialog's procedure, then (for a modal dialog) what it posted.
INT_PTR Send(Dialog* d, UINT msg, WPARAM wParam, LPARAM lParam);
// The platform's way of handing text back: at most size-1 characters and the
// terminator; the count copied.
UINT CopyOut(const std::string& text, char* out, std::size_t size);

}  // namespace platform::model
