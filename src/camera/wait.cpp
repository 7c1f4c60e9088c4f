#include "camera/wait.h"

#include "platform/platform.h"

void WaitMilliseconds(DWORD n) {
  platform::WaitElapsed(platform::TimeGetTime(), n & 0xFFFF);
}
