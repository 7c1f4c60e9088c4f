// The "Driver Message Trace" window: the modeless dialog 121 with its list box
// 1200 and its "&Pause" system-menu item, made on the thread that opens it and
// fed by lines posted from any thread. Its window procedure is the same on
// every platform; the portable build runs it over the headless window model.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "platform/types.h"
#include "zarncap/dialogs.h"

constexpr unsigned WM_TRACE_LINE = 0x0400 + 200;
constexpr unsigned IDM_PAUSE = 100;

// ---- used by DriverTrace
// Creates the window unless one exists; returns true when a new one was made.
bool TraceWindowCreate();
// Destroys the window: at once on its own thread, otherwise by asking that
// thread to (a window can only be destroyed by the thread that owns it).
void TraceWindowDestroy();
// The same, and then makes sure the window is gone before the module is
// (DRV_FREE, unload): the owning thread is asked synchronously, waiting at
// most kTraceCloseWaitMs; if that thread has ended, the system has taken it.
void TraceWindowDestroyNow();
constexpr unsigned kTraceCloseWaitMs = 1000;
bool TraceWindowExists();
// Posts one formatted line to the window: a 512-byte block that the window
// takes back and frees. Returns false when there is no window or the block
// could not be made or posted (the block is freed then).
bool TraceWindowPostLine(const char* format, va_list args);
// A copy of each posted line to the developer's output (default:
// platform::TraceEchoByDefault, on for Linux's stderr, off on Windows).
void SetTraceEcho(bool echo);

// ---- the window as a user sees it (each runs the calling thread's message loop first, as a host would)
HWND TraceWindowHandle();
std::vector<std::string> TraceWindowLines();  // list box 1200, oldest first; empty without a window
int TraceWindowSelection();                   // index of the selected line, -1 when none
bool TraceWindowRunning();                    // false while paused (the flag outlives the window)
void TraceWindowTogglePause();                // picks "&Pause" from the window's system menu
bool TraceWindowPauseChecked();
bool TraceWindowCloseGreyed();                // the system menu's Close item
int TraceWindowsCreated();                    // windows created since the last reset
