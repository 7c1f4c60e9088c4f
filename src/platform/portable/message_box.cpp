// Message boxes without a desktop: each one is recorded (tests read them back)
// and printed to stderr as "<caption>: <text>", then answered with OK.
#include <cstdio>
#include <mutex>

#include "platform/platform.h"
#include "platform/portable/testing.h"

namespace platform {
namespace {
struct MessageBoxLog {
  std::mutex mutex;
  std::vector<RecordedMessageBox> boxes;
  bool echo = true;
};
MessageBoxLog& Log() {
  static MessageBoxLog log;
  return log;
}
}  // namespace

int MessageBox(HWND /*owner*/, const char* text, const char* caption, UINT type) {
  std::lock_guard lock(Log().mutex);
  Log().boxes.push_back({text ? text : "", caption ? caption : "", type});
  if (Log().echo) std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  return IDOK;
}

std::vector<RecordedMessageBox> RecordedMessageBoxes() {
  std::lock_guard lock(Log().mutex);
  return Log().boxes;
}

void ClearRecordedMessageBoxes() {
  std::lock_guard lock(Log().mutex);
  Log().boxes.clear();
}

void SetMessageBoxEcho(bool echo) {
  std::lock_guard lock(Log().mutex);
  Log().echo = echo;
}

}  // namespace platform
