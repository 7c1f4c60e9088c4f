// What every part of a zarncap run shares: the global options the user gave
// and the Host the run meets the world through (the driver to load, the
// output streams, the interrupt flag), with the report lines -q and -v govern.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/portable/driver_manager.h"

namespace zarncap {

struct GlobalOptions {
  std::string camera;  // ZARNCAP_CAMERA for this run; empty: the environment's (else "sim")
  std::string ini;             // settings file for the open string ("" = the driver's default)
  std::string port;            // "LPT1".."LPT3" or ""
  bool trace = false;          // the driver's message trace for this run
  std::string record;          // --record: the port traffic recorded in this pcapng file ("" = not recorded)
  bool resetColour = false;    // white-balance gains back to 1.0 before the run
  bool quiet = false;          // -q
  bool verbose = false;        // -v
};

// Where the commands meet the world; tests replace the driver and the streams.
struct Host {
  platform::DRIVERPROC proc = nullptr;  // an in-process driver instead of the library
  std::string library;                  // the library to load ("" = LocateDriverLibrary())
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool progress = false;  // a live progress line on err while streaming
  bool quiet = false;     // -q: errors only (no reports, warnings or progress)
  bool verbose = false;   // -v: also what the run chose (library, open text, format, rate)
  const std::atomic<bool>* interrupted = nullptr;
  std::chrono::milliseconds stallTimeout{5000};  // no frame for this long fails a stream
  // Room left where a movie grows (tests stand in a filling disk).
  std::function<uint64_t(const std::string& path)> freeBytes;
};

// Before a line on the error stream: what the report stream holds goes out
// first, so both read in order when they share a file (>log 2>&1).
void KeepInOrder(const Host& host, std::FILE* to);
// A report or warning line on `to`, unless --quiet.
void Say(const Host& host, std::FILE* to, const char* format, ...) __attribute__((format(printf, 3, 4)));
// A line on the error stream with --verbose only.
void Detail(const Host& host, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace zarncap
