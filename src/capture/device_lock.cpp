// The device lock lives as long as the module; it is never reset, because a
// reset must not race a thread that still holds it.
#include "capture/device_lock.h"

std::recursive_mutex& DeviceLock() {
  static std::recursive_mutex lock;
  return lock;
}
