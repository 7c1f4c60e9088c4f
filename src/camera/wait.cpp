#include "camera/wait.h"

#include "platform/platform.h"

void WaitMilliseconds(DWORD n) {
  const DWORD wait = n & 0xFFFF;
  const DWORD start = platform::TimeGetTime();
  while (platform::TimeGetTime() - start < wait) platform::SpinWait();
}
