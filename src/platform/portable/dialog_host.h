// The headless dialog model's user side. On a system without windows a host
// (a test, the zarncap command) stands in for the user: it passes a DialogHost
// as the owner window of DVM_DIALOG or DRV_CONFIGURE, and once the dialog is up
// the model calls `shown` with the dialog and a DialogUser, through which the
// host reads every control and acts as a user would (click, type, scroll).
// When `shown` returns and the dialog is still up, it ends as if Cancel was
// pressed; with no host at all, at once.
//
// Both records are plain C layouts of function pointers, so a host that loads
// the driver as a library (and so has its own copy of this code) drives the
// driver's own model. The model takes an owner window for a host only when its
// value is the address named in ZARNCAP_DIALOG_HOST (hexadecimal), as a
// desktop names its windows: any other owner value is never dereferenced.
#pragma once

#include <cstddef>

#include "platform/dialog_template.h"
#include "platform/types.h"

namespace platform {

constexpr char kDialogHostVariable[] = "ZARNCAP_DIALOG_HOST";

struct ControlState {
  int id;
  ControlKind kind;
  BOOL visible;
  BOOL enabled;
  BOOL checked;
  int scrollMin, scrollMax, scrollPos;
  char text[256];  // code page 1252, terminated
};

struct DialogUser {
  std::size_t size;  // sizeof(DialogUser) of the model
  int (*resourceId)(HWND dialog);
  void (*caption)(HWND dialog, char* out, std::size_t size);
  std::size_t (*controlCount)(HWND dialog);
  BOOL (*control)(HWND dialog, std::size_t index, ControlState* out);
  // A click on a button (auto radio buttons check themselves first); FALSE for
  // no such control, or a hidden or disabled one.
  BOOL (*click)(HWND dialog, int id);
  // Replaces an edit box's text key by key, as a user does who selects it all
  // and types: one EN_CHANGE per character ("150" notifies "1", "15", "150"),
  // one for an empty text. Stops early if the dialog ends meanwhile.
  BOOL (*type)(HWND dialog, int id, const char* text);
  // A scroll-bar request (SB_LINEUP ... SB_THUMBTRACK) from control id.
  BOOL (*scroll)(HWND dialog, int id, int request, int thumbPosition);
  BOOL (*ended)(HWND dialog);
  // Replaces an edit box's whole text at once, as a paste does: one EN_CHANGE.
  BOOL (*paste)(HWND dialog, int id, const char* text);
};

struct DialogHost {
  void* context;
  void (*shown)(void* context, HWND dialog, const DialogUser* user);
};

// The owner value a host passes, and the environment text that names it.
inline HWND AsOwner(DialogHost* host) { return reinterpret_cast<HWND>(host); }

}  // namespace platform
