// The headless trace window. Lines may come from any thread (the stream timer
// traces too), so one mutex guards the window's state; the check that a window
// exists and the delivery of a line happen under it together, so a line can
// never land in a window that a close on another thread has just destroyed.
#include "trace/trace_window.h"

#include <deque>
#include <mutex>

#include "core/driver_context.h"
#include "platform/platform.h"
#include "trace/trace.h"

namespace {

struct TraceWindowState {
  static constexpr ModuleSlot kSlot = ModuleSlot::Trace;
  void Reset();

  std::mutex mutex;
  bool exists = false;
  bool running = true;  // survives closing and reopening the window
  std::deque<std::string> lines;
  int selection = -1;
  int created = 0;
  bool echo = true;
};

TraceWindowState& State() { return Context().Module<TraceWindowState>(); }

}  // namespace

bool TraceWindowCreate() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  if (s.exists) return false;
  s.exists = true;
  s.lines.clear();  // a new window brings a new, empty list box
  s.selection = -1;
  ++s.created;
  return true;
}

void TraceWindowDestroy() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.exists = false;  // the last window's lines stay readable until the next one opens
}

bool TraceWindowExists() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.exists;
}

bool TraceWindowDeliver(const char* line) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  if (!s.exists || !s.running || line == nullptr) return false;
  s.lines.emplace_back(line);
  if (s.lines.size() > kTraceMaxLines) s.lines.pop_front();
  s.selection = static_cast<int>(s.lines.size()) - 1;
  if (s.echo) platform::DebugOutput(line);
  return true;
}

std::vector<std::string> TraceWindowLines() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return {s.lines.begin(), s.lines.end()};
}

int TraceWindowSelection() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.selection;
}

bool TraceWindowRunning() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.running;
}

void TraceWindowTogglePause() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  if (s.exists) s.running = !s.running;  // the command lives in the window's menu
}

bool TraceWindowPauseChecked() { return !TraceWindowRunning(); }

bool TraceWindowCloseGreyed() { return TraceWindowExists(); }

int TraceWindowsCreated() {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  return s.created;
}

void SetTraceEcho(bool echo) {
  auto& s = State();
  std::lock_guard lock(s.mutex);
  s.echo = echo;
}

void TraceWindowState::Reset() {
  std::lock_guard lock(mutex);
  exists = false;
  running = true;
  lines.clear();
  selection = -1;
  created = 0;
  echo = true;
}
