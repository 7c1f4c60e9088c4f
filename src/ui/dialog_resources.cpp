#include "ui/dialog_resources.h"

#include "platform/platform.h"

namespace {
#include "ui/dialog_resources.inc"

constexpr int kSourceDialogs[] = {101, 104, 106, 108, 110};
constexpr int kFormatDialogs[] = {102, 105, 107, 109, 111};

template <std::size_t N>
bool OneOf(const int (&ids)[N], int id) {
  for (int each : ids) {
    if (each == id) return true;
  }
  return false;
}
}  // namespace

void RegisterDriverDialogs() {
  platform::RegisterDialogTemplates(kDialogTemplates, sizeof kDialogTemplates / sizeof kDialogTemplates[0]);
}

bool IsSourceDialog(int id) { return OneOf(kSourceDialogs, id); }
bool IsFormatDialog(int id) { return OneOf(kFormatDialogs, id); }
