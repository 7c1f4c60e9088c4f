#include "capture/device_lock.h"

#include "core/driver_context.h"

// The device lock lives in the context and is never reset: a reset must not
// race a thread that still holds it.
std::recursive_mutex& DeviceLock() { return Context().deviceLock; }
