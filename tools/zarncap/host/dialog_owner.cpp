#include "tools/zarncap/host/dialog_owner.h"

#include "tools/zarncap/common/json_text.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace zarncap {

DialogOwner::DialogOwner(Act act) : act_(std::move(act)) {
  host_.context = this;
  host_.shown = [](void* context, HWND dialog, const platform::DialogUser* user) {
    static_cast<DialogOwner*>(context)->act_(dialog, *user);
  };
  char address[32];
  std::snprintf(address, sizeof address, "%" PRIxPTR, reinterpret_cast<std::uintptr_t>(&host_));
  ::setenv(platform::kDialogHostVariable, address, 1);
}

DialogOwner::~DialogOwner() { ::unsetenv(platform::kDialogHostVariable); }

std::string DialogOwner::JsonText(const std::string& text) { return JsonString(Cp1252ToUtf8(text)); }

std::map<int, platform::ControlState> DialogOwner::Controls(HWND dialog, const platform::DialogUser& user) {
  std::map<int, platform::ControlState> controls;
  platform::ControlState state{};
  for (std::size_t i = 0; i < user.controlCount(dialog); ++i) {
    if (user.control(dialog, i, &state) && state.id > 0) controls[state.id] = state;
  }
  return controls;
}

}  // namespace zarncap
