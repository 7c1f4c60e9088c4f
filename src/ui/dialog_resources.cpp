#include "ui/dialog_resources.h"

#include "platform/platform.h"

namespace {
#include "ui/dialog_resources.inc"

}  // namespace

void RegisterDriverDialogs() {
  platform::RegisterDialogTemplates(kDialogTemplates, sizeof kDialogTemplates / sizeof kDialogTemplates[0]);
}

