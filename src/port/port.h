// The parallel-port layer: the three port entries, the current port, and the
// operations the rest of the driver moves commands, blocks and frames with.
// Every operation works on the port made current by SelectPort.
#pragma once

#include "core/driver_context.h"
#include "platform/types.h"
#include "port/port_records.h"

constexpr int kPortCount = 3;           // LPT1, LPT2, LPT3
constexpr std::size_t kDeviceIdSize = 256;  // device ID buffer: 255 characters and a zero

// Port mode codes (GetPortMode).
constexpr int PORT_MODE_4BIT = 1;
constexpr int PORT_MODE_BIDIR = 2;
constexpr int PORT_MODE_ECP = 4;

// PollPortReady answers.
constexpr int PORT_READY = 10;
constexpr int PORT_NOT_READY = 11;

// OpenPort / ReadDeviceId codes (0 = success; 6 is not used).
constexpr int PORT_ERR_ATTACH = 1;
constexpr int PORT_ERR_CLAIM = 2;
constexpr int PORT_ERR_NEGOTIATE = 3;
constexpr int PORT_ERR_ID_LENGTH = 4;
constexpr int PORT_ERR_TERMINATE = 5;
constexpr int PORT_ERR_REVERSE = 7;
constexpr int PORT_ERR_BYTE_READ = 8;
constexpr int PORT_ERR_NIBBLE_READ = 9;

// The port layer's process-wide state. The entries live for the process and
// keep their flags from one OpenPort to the next.
struct PortState {
  static constexpr int kResetRank = 20;  // by layer, highest first (see core/README.md)
  void Reset() { *this = PortState{}; }

  PortEntry entries[kPortCount] = {};
  int currentLpt = 0;  // 1..3, 0 before the first SelectPort
};
PortState& Ports();
// The current port's entry, nullptr before the first SelectPort.
PortEntry* CurrentPortEntry();

// TRUE and port lptNumber (1..3) becomes current; FALSE and nothing changes otherwise.
BOOL SelectPort(int lptNumber);
// Attaches and claims the current port, identifies the camera and settles the
// transfer mode. 0 on success, else a PORT_ERR_ code. Never releases the port.
int OpenPort();
// Gives the port back. Nonzero when the release succeeded. (The driver resets
// its open counter after a release; this layer never touches it.)
DWORD ReleasePort();
WORD GetPortFlags();
int GetPortMode();  // PORT_MODE_ECP, PORT_MODE_BIDIR or PORT_MODE_4BIT
// Pulses the camera's reset lines, then waits 500 ms on the millisecond clock.
void ResetCamera();
// Reads the camera's device ID text into buffer (kDeviceIdSize bytes), zero-terminated.
// 0, or PORT_ERR_NEGOTIATE, PORT_ERR_ID_LENGTH, PORT_ERR_TERMINATE, PORT_ERR_NIBBLE_READ.
int ReadDeviceId(BYTE* buffer);
int PollPortReady();  // PORT_READY or PORT_NOT_READY
// Sends one even command byte; an odd one is refused before any traffic.
BOOL SendPortCommand(BYTE command);
// Blocks move the low 8 bits of count bytes (a count of 256 moves nothing).
BOOL WritePortBlock(const BYTE* buffer, DWORD count);
BOOL ReadPortBlock(BYTE* buffer, DWORD count);
// A frame of exactly count bytes, in one request.
BOOL ReadPortFrame(BYTE* buffer, DWORD count);
// A frame of up to maximum bytes; *countRead receives the number stored.
BOOL ReadPortFrameCounted(BYTE* buffer, DWORD maximum, DWORD* countRead);
