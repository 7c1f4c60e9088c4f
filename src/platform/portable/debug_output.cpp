// The developer's output, which on a console system is stderr.
#include <cstdio>

#include "platform/platform.h"

namespace platform {

void DebugOutput(const char* line) { std::fprintf(stderr, "trace: %s\n", line); }

}  // namespace platform
