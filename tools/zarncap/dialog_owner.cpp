#include "tools/zarncap/dialog_owner.h"

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

std::string DialogOwner::JsonText(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else if (c >= 0xA0) {
      // The dialogs' accented letters (0xA0..0xFF in code page 1252) are Latin-1's.
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c >= 0x80) {
      out += '?';
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::map<int, platform::ControlState> DialogOwner::Controls(HWND dialog, const platform::DialogUser& user) {
  std::map<int, platform::ControlState> controls;
  platform::ControlState state{};
  for (std::size_t i = 0; i < user.controlCount(dialog); ++i) {
    if (user.control(dialog, i, &state) && state.id > 0) controls[state.id] = state;
  }
  return controls;
}

}  // namespace zarncap
