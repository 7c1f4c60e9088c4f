// The "Driver Message Trace" window without a desktop: a model of the modeless
// dialog 121 with its list box 1200 and its "&Pause" system-menu item. It owns
// the window's process-wide state (exists, running flag, lines, selection).
#pragma once

#include <string>
#include <vector>

// ---- used by DriverTrace
// Creates the window unless one exists; returns true when a new one was made.
bool TraceWindowCreate();
void TraceWindowDestroy();
bool TraceWindowExists();
// Delivers one line as the window's WM_TRACE_LINE handler does: appended and
// selected when running (and echoed to stderr as "trace: <line>"), dropped when
// paused, and the oldest line pushed out beyond 200. A line that arrives with
// no window is never delivered. Returns true when the line was appended.
bool TraceWindowDeliver(const char* line);

// ---- the window's own controls, for tests and hosts
std::vector<std::string> TraceWindowLines();  // list box 1200, oldest first (the last window's after a close)
int TraceWindowSelection();                   // index of the selected line, -1 when none
bool TraceWindowRunning();                    // false while "&Pause" is checked
void TraceWindowTogglePause();                // WM_SYSCOMMAND IDM_PAUSE
bool TraceWindowPauseChecked();
bool TraceWindowCloseGreyed();                // the system menu's Close item (grey while a window exists)
int TraceWindowsCreated();                    // windows created since the last reset
void SetTraceEcho(bool echo);                 // stderr copy of each line (default: on)


constexpr unsigned WM_TRACE_LINE = 0x0400 + 200;
constexpr unsigned IDM_PAUSE = 100;
constexpr int kTraceDialogId = 121;
constexpr int kTraceListBoxId = 1200;
