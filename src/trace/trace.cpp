// DriverTrace: the one trace entry point. Each line is formatted into its own
// 512-byte block (so at most 511 characters; longer text is cut) and handed to
// the trace window, which appends it or drops it while paused.
#include <cstdarg>

#include "core/driver_state.h"
#include "trace/trace.h"
#include "trace/trace_window.h"

namespace {

bool TraceEnabled() { return (Driver().debugFlags & DEBUG_TRACE_WINDOW) != 0; }

void SendLine(const char* format, va_list args) {
  if (!TraceWindowExists()) return;  // nobody to post to: do not even format
  char block[kTraceLineBlockSize] = {};
  FormatTraceLineV(block, sizeof block, format, args);
  TraceWindowDeliver(block);
}

}  // namespace

int DriverTrace(int kind, const char* format, ...) {
  if (!TraceEnabled()) return 1;
  switch (kind) {
    case TRACE_OPEN:
      TraceWindowCreate();
      break;
    case TRACE_LINE: {
      va_list args;
      va_start(args, format);
      SendLine(format, args);
      va_end(args);
      break;
    }
    case TRACE_CLOSE:
      TraceWindowDestroy();
      break;
    default:
      break;
  }
  return 1;
}
