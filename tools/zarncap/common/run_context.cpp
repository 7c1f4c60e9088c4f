// The run's own lines: reports and warnings (silenced by -q) and details
// (shown by -v).
#include <cstdarg>

#include "tools/zarncap/common/run_context.h"

namespace zarncap {

void KeepInOrder(const Host& host, std::FILE* to) {
  if (to == host.err && host.out != nullptr && host.out != host.err) std::fflush(host.out);
}

void Say(const Host& host, std::FILE* to, const char* format, ...) {
  if (host.quiet || to == nullptr) return;
  KeepInOrder(host, to);
  va_list args;
  va_start(args, format);
  std::vfprintf(to, format, args);
  va_end(args);
  // A report line is out at once: one that waits in a buffer would come
  // after later errors when both streams go to one file.
  std::fflush(to);
}

void Detail(const Host& host, const char* format, ...) {
  if (!host.verbose || host.err == nullptr) return;
  KeepInOrder(host, host.err);
  va_list args;
  va_start(args, format);
  std::fputs("zarncap: ", host.err);
  std::vfprintf(host.err, format, args);
  std::fputc('\n', host.err);
  va_end(args);
}

}  // namespace zarncap
