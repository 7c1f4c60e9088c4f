// DriverTrace: the one trace entry point. Each line is formatted into its own
// 512-byte block (so at most 511 characters; longer text is cut) and posted to
// the trace window, which appends it or drops it while paused.
#include <cstdarg>

#include "core/driver_state.h"
#include "trace/trace.h"
#include "trace/trace_window.h"

namespace {

bool TraceEnabled() { return (Driver().debugFlags & DEBUG_TRACE_WINDOW) != 0; }

}  // namespace

int DriverTrace(int kind, const char* format, ...) {
  // A window opened while the bit was set goes when asked, even if a later
  // read of the settings cleared the bit: it must not outlive its channels.
  if (kind == TRACE_CLOSE) {
    TraceWindowDestroy();
    return 1;
  }
  if (!TraceEnabled()) return 1;
  switch (kind) {
    case TRACE_OPEN:
      TraceWindowCreate();
      break;
    case TRACE_LINE: {
      va_list args;
      va_start(args, format);
      TraceWindowPostLine(format, args);
      va_end(args);
      break;
    }
    default:
      break;
  }
  return 1;
}
