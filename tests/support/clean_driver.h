// Where every driver test starts and ends: the driver as a freshly loaded
// module (every module's state reset), on the clock the test gives (a virtual
// one, or the system's), with message boxes recorded and not echoed.
#pragma once

#include "core/driver_context.h"
#include "platform/platform.h"
#include "platform/portable/testing.h"

namespace testsupport {

inline void BeginCleanDriver(platform::ClockSource* clock = nullptr) {
  ResetDriverContext();
  platform::SetClockSource(clock);
  platform::SetMessageBoxEcho(false);
  platform::ClearRecordedMessageBoxes();
}

// What the test left goes; the system's clock and message-box echo are back.
inline void EndCleanDriver() {
  ResetDriverContext();
  platform::SetClockSource(nullptr);
  platform::SetMessageBoxEcho(true);
}

}  // namespace testsupport
