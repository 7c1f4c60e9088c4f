// How each request of the driver's port-device contract, with its mode byte,
// travels on an IEEE 1284 cable: the phase it opens or needs and the
// libieee1284 call that carries it. One table (request_map.cpp) holds every
// line; the device looks a request up there and does what the line says.
#pragma once

#include "platform/types.h"

namespace parallel {

// What one request does at the port.
enum class PortCall {
  Open,              // ieee1284_open (no capabilities: that would claim), the kernel's modes
  Claim,             // ieee1284_claim (after asking the kernel who holds it), ECP probe
  Release,           // ieee1284_terminate if a phase is open, ieee1284_release, ieee1284_close
  ReadStatus,        // negotiate ieeeMode, ieee1284_read_status (nDataAvail), terminate
  Negotiate,         // ieee1284_negotiate to ieeeMode
  NegotiateForward,  // compatibility mode; ECP (ieeeMode) at the first block or reversal when PORT_FLAG_ECP
  NegotiateIdByte,   // byte-mode device ID; the port's own latch when the data lines cannot turn
  Terminate,         // ieee1284_terminate
  FrameBegin,        // the frame request through the extensibility link, then ieeeMode
  Reverse,           // ECP: negotiate it if not yet; compatibility: negotiate byte mode
  WriteCommand,      // one command byte, strobed in compatibility mode
  WriteBlock,        // a forward block
  ReadBlock,         // a reverse block
  ReadFrame,         // a frame, in as many library calls as it takes, into the caller's buffer
  OutControl,        // ieee1284_write_control
  OutData,           // ieee1284_write_data
};

// Which transfer a data request uses (for the command bytes: which phase the
// request belongs to; the byte itself always goes in compatibility mode).
enum class Transfer { None, Compat, Nibble, Byte, Ecp };

constexpr int kAnyModeByte = -1;

struct RequestLine {
  DWORD code;
  int modeByte;  // the NEGOTIATE / FRAME_BEGIN mode byte this line is for, or kAnyModeByte
  int option;    // FRAME_BEGIN's option byte, or kAnyModeByte
  PortCall call;
  Transfer transfer;
  int ieeeMode;   // the M1284_* mode negotiated, when the call negotiates
  bool counted;   // frame reads: up to count, the count read written back
};

// The line for a request, or nullptr when no line carries it (a mode byte or
// option outside the contract): the request is refused.
const RequestLine* FindRequestLine(DWORD code, BYTE modeByte, BYTE option);

// The extensibility-link value that tells the camera which frame transfer
// follows: the driver's frame mode byte with its option (9..11, +64 counted).
constexpr int FrameRequestValue(BYTE modeByte, BYTE option) { return (modeByte | option) & 0x7F; }

}  // namespace parallel
