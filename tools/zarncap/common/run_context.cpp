// The run's own lines: reports and warnings (silenced by -q) and details
// (shown by -v).
#include <cstdarg>

#include "tools/zarncap/common/run_context.h"

namespace zarncap {

void Say(const Host& host, std::FILE* to, const char* format, ...) {
  if (host.quiet || to == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(to, format, args);
  va_end(args);
}

void Detail(const Host& host, const char* format, ...) {
  if (!host.verbose || host.err == nullptr) return;
  va_list args;
  va_start(args, format);
  std::fputs("zarncap: ", host.err);
  std::vfprintf(host.err, format, args);
  std::fputc('\n', host.err);
  va_end(args);
}

}  // namespace zarncap
