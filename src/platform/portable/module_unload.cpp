// Nothing to do at unload here: the headless window model is part of the
// module, so its windows leave with it.
#include "platform/platform.h"

namespace platform {

void OnModuleUnload(void (*)()) {}

}  // namespace platform
