// The driver-wide record: the counters and settings that the driver messages
// and the channel open keep. The layers below read it (debug flags, the port
// device handle) but never write it: they report, and the driver decides. It
// lives in the driver context (core/driver_context.h), which resets it.
#pragma once

#include "platform/types.h"

constexpr int kMaxChannelsPerKind = 8;
constexpr DWORD kNoPortChosen = 69;
constexpr size_t kIniPathSize = 260;
constexpr size_t kLanguageNameSize = 80;
// An open string of up to 259 characters, one more to tell a longer one, and the terminator.
constexpr size_t kOpenStringBufferSize = 261;

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
  WORD sensorPeriod = 0;
  // Counts DRV_ENABLE messages: channels opened before the latest one belong
  // to an earlier session (see DriverInstance::session).
  DWORD session = 0;
  // The text of a session open (DRV_OPEN without open parameters), for the
  // channel open without text that follows it in a two-step open.
  char sessionOpenString[kOpenStringBufferSize] = "";
  // The camera details dialog is searching the ports.
  bool detailsSearch = false;
};

// The one driver-wide record of this process (a member of the context).
DriverState& Driver();
