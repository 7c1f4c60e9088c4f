// The driver-wide record every layer shares: the counters and settings that the
// driver messages, the channel open and the port layer all read and write.
// Each module keeps the rest of its process-wide state in its own struct; a
// test resets all of them through the driver's reset (driver/driver_reset.h).
#pragma once

#include "platform/types.h"

struct NUBODevice;

constexpr int kMaxChannelsPerKind = 8;
constexpr DWORD kNoPortChosen = 69;
constexpr size_t kIniPathSize = 260;
constexpr size_t kLanguageNameSize = 80;

// debugFlags bits ("DebugLevel")
constexpr WORD DEBUG_NOCAMERA_BOXES = 0x01;
constexpr WORD DEBUG_SKIP_DEFECTS = 0x02;
constexpr WORD DEBUG_INITNUBO_BOXES = 0x04;
constexpr WORD DEBUG_FORCE_BIDIR = 0x08;
constexpr WORD DEBUG_FORCE_4BIT = 0x10;
constexpr WORD DEBUG_TRACE_WINDOW = 0x20;
constexpr WORD DEBUG_EEPROM_BOXES = 0x40;

struct DriverState {
  HINSTANCE moduleInstance = nullptr;
  LONG openCount = 0;
  HANDLE portDevice = INVALID_HANDLE_VALUE;
  DWORD deviceReady = 0;
  WORD channelCount = 0;
  // open channels per kind: external-in, external-out, video-in, video-out
  WORD externalInCount = 0;
  WORD externalOutCount = 0;
  WORD videoInCount = 0;
  WORD videoOutCount = 0;
  char iniPath[kIniPathSize] = "zarncap.ini";
  WORD debugFlags = 0;
  DWORD lptPort = kNoPortChosen;
  char languageName[kLanguageNameSize] = "";
  DWORD sourceDialogId = 101;
  DWORD formatDialogId = 102;
  NUBODevice* device = nullptr;
  WORD sensorPeriod = 0;
  DWORD timeBase = 0;
};

// The one driver-wide record of this process.
DriverState& Driver();
// Back to the state of a freshly loaded module.
void ResetDriverState();
