// The driver's message trace: one entry point any layer (and any thread) may
// call to open the trace window, append a formatted line, or close it. It does
// nothing unless debugFlags has DEBUG_TRACE_WINDOW.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "platform/types.h"

constexpr int TRACE_OPEN = 1;
constexpr int TRACE_LINE = 2;
constexpr int TRACE_CLOSE = 3;
constexpr size_t kTraceLineBlockSize = 512;  // a line is at most 511 characters
constexpr size_t kTraceMaxLines = 200;

// wvsprintfA-style format ("%s", "%u", "%lu", "%lx", "%d", ...). Always returns 1.
// As on the platform, the 'l' prefix means 32 bits: pass DWORD / LONG values
// (or int / unsigned); only "%I64d" / "%I64u" / "%I64x" take a 64-bit argument.
int DriverTrace(int kind, const char* format, ...);

// Formats like wvsprintfA into out (at most size-1 characters, always
// terminated); returns the number of characters written.
int FormatTraceLine(char* out, size_t size, const char* format, ...);
int FormatTraceLineV(char* out, size_t size, const char* format, va_list args);
