// The one lock around the current device. Frame capture (on the client's
// thread or the stream timer's), format changes, stream-mode changes and the
// settings dialogs all take it, so a frame is never read or converted while its
// format, its colour tables or the camera set-up are being changed.
#pragma once

#include <mutex>

// Recursive: a format change runs AcceptFormat, and a dialog may change the
// format, while the outer operation already holds the lock.
std::recursive_mutex& DeviceLock();
using DeviceGuard = std::lock_guard<std::recursive_mutex>;
