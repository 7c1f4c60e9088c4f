// zarncap as the owner window of one of the driver's dialogs: the driver's
// dialog model hands it the dialog once it is up, and zarncap reads the
// controls and acts on them as a user would (see platform/portable/dialog_host.h).
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/portable/dialog_host.h"

namespace zarncap {

class DialogOwner {
 public:
  using Act = std::function<void(HWND dialog, const platform::DialogUser& user)>;
  // Names this owner to the dialog model (ZARNCAP_DIALOG_HOST) until destroyed.
  explicit DialogOwner(Act act);
  ~DialogOwner();
  DialogOwner(const DialogOwner&) = delete;
  DialogOwner& operator=(const DialogOwner&) = delete;

  // The owner window to pass with DVM_DIALOG or DRV_CONFIGURE.
  LPARAM Window() { return reinterpret_cast<LPARAM>(platform::AsOwner(&host_)); }

  // A dialog's text (code page 1252) as a JSON string (UTF-8, escaped).
  static std::string JsonText(const std::string& text);
  // Every control with an id, as the dialog shows it now.
  static std::map<int, platform::ControlState> Controls(HWND dialog, const platform::DialogUser& user);

 private:
  platform::DialogHost host_{};
  Act act_;
};

}  // namespace zarncap
