// The driver's 24 port requests on the IEEE 1284 cable.
//
// The host side of every phase is libieee1284 over the kernel's parport
// driver (ppdev), which does the handshakes. What a line does on the cable:
//  - negotiation: the host puts an extensibility request on the data lines and
//    raises nAutoFd/drops nSelectIn; the peripheral answers on the status lines
//    (Select high = it accepts the mode). ieee1284_terminate takes the port
//    back to compatibility mode (forward, the printer protocol).
//  - compatibility mode: a byte on the data lines, strobed with nStrobe, the
//    peripheral answering Busy then nAck.
//  - nibble mode: the peripheral sends each byte as two 4-bit halves on the
//    status lines (nFault, Select, PError, Busy), paced by nAutoFd/nAck.
//  - byte mode: the host turns its data-line drivers off and the peripheral
//    drives the 8 data lines, paced by nAutoFd/nAck.
//  - ECP: forward data cycles (nAutoFd high) and command cycles (nAutoFd low,
//    here a channel address); ieee1284_ecp_fwd_to_rev turns the cable round
//    (nInit low) so the peripheral sends with nAck/nAutoFd.
#include "parport/request_map.h"

#include <ieee1284.h>

#include "port/port_records.h"

namespace parallel {
namespace {

constexpr int kAny = kAnyModeByte;
constexpr int kDeviceIdNibble = M1284_NIBBLE | M1284_FLAG_DEVICEID;
constexpr int kDeviceIdByte = M1284_BYTE | M1284_FLAG_DEVICEID;

// clang-format off
constexpr RequestLine kRequestLines[] = {
  // ATTACH n: open the n-th port for this entry (nothing on the cable yet).
  {IOCTL_PORT_ATTACH, kAny, kAny, PortCall::Open, Transfer::None, 0, false},
  // CLAIM: take the port from the kernel (a printer driver gets it back at
  // RELEASE); set the 1 s inactivity time-out; try ECP negotiation once and
  // terminate, so PORT_FLAG_ECP says whether port and camera both do ECP.
  {IOCTL_PORT_CLAIM, kAny, kAny, PortCall::Claim, Transfer::None, M1284_ECP, false},
  // RELEASE: back to compatibility mode, give the port back, close it.
  {IOCTL_PORT_RELEASE, kAny, kAny, PortCall::Release, Transfer::None, 0, false},
  // POLL: sample the status lines; nFault low is the camera's "data available".
  {IOCTL_PORT_POLL, kAny, kAny, PortCall::ReadStatus, Transfer::None, 0, false},

  // NEGOTIATE 1: reverse data in nibbles (extensibility byte 0x00).
  {IOCTL_PORT_NEGOTIATE, PORT_NEGOTIATE_NIBBLE_DATA, kAny, PortCall::Negotiate, Transfer::Nibble, M1284_NIBBLE, false},
  // NEGOTIATE 3: forward commands and data: ECP forward phase (0x10) when the
  // entry has PORT_FLAG_ECP, else plain compatibility mode (no negotiation).
  {IOCTL_PORT_NEGOTIATE, PORT_NEGOTIATE_FORWARD, kAny, PortCall::NegotiateForward, Transfer::Compat, M1284_ECP, false},
  // NEGOTIATE 5: the device ID in nibbles (0x04): two length bytes, then the text.
  {IOCTL_PORT_NEGOTIATE, PORT_NEGOTIATE_ID_NIBBLE, kAny, PortCall::Negotiate, Transfer::Nibble, kDeviceIdNibble, false},
  // NEGOTIATE 7: the device ID byte-wide (0x05), the driver's byte-wide test.
  // A port whose data lines cannot turn (no byte mode) negotiates the nibble
  // ID instead and reads back its own data latch, so the test fails cleanly.
  {IOCTL_PORT_NEGOTIATE, PORT_NEGOTIATE_ID_BYTE, kAny, PortCall::NegotiateIdByte, Transfer::Byte, kDeviceIdByte, false},
  // TERMINATE: event 22 onwards, back to compatibility mode.
  {IOCTL_PORT_TERMINATE, kAny, kAny, PortCall::Terminate, Transfer::None, 0, false},

  // FRAME_BEGIN mode, option: an extensibility-link request (0x80, then the
  // link value mode|option) tells the camera which frame transfer follows;
  // after it accepts, terminate and negotiate the reverse mode the frame moves
  // in: nibbles (9), byte-wide (10), or ECP turned round to reverse (11).
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_NIBBLE, PORT_FRAME_FIXED, PortCall::FrameBegin, Transfer::Nibble, M1284_NIBBLE, false},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_NIBBLE, PORT_FRAME_COUNTED, PortCall::FrameBegin, Transfer::Nibble, M1284_NIBBLE, true},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_BYTE, PORT_FRAME_FIXED, PortCall::FrameBegin, Transfer::Byte, M1284_BYTE, false},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_BYTE, PORT_FRAME_COUNTED, PortCall::FrameBegin, Transfer::Byte, M1284_BYTE, true},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_ECP, PORT_FRAME_FIXED, PortCall::FrameBegin, Transfer::Ecp, M1284_ECP, false},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_ECP, PORT_FRAME_COUNTED, PortCall::FrameBegin, Transfer::Ecp, M1284_ECP, true},
  // FRAME_END: terminate the frame's reverse phase.
  {IOCTL_PORT_FRAME_END, kAny, kAny, PortCall::Terminate, Transfer::None, 0, false},

  // REVERSE: after NEGOTIATE 3 in ECP, turn the cable round (nInit low,
  // ieee1284_ecp_fwd_to_rev); in compatibility mode, negotiate byte mode (0x01);
  // then the host's data-line drivers go off (ieee1284_data_dir).
  {IOCTL_PORT_REVERSE, kAny, kAny, PortCall::Reverse, Transfer::Byte, M1284_BYTE, false},

  // Command bytes: an ECP command cycle carrying the byte as a channel
  // address (ieee1284_ecp_write_addr); in compatibility mode one strobed byte
  // with nAutoFd held low, the way ECP marks a command cycle.
  {IOCTL_PORT_ECP_WRITE_CMD, kAny, kAny, PortCall::WriteCommand, Transfer::Ecp, 0, false},
  {IOCTL_PORT_COMPAT_WRITE_CMD, kAny, kAny, PortCall::WriteCommand, Transfer::Compat, 0, false},
  // Forward blocks: ECP data cycles / compatibility-mode strobes.
  {IOCTL_PORT_ECP_WRITE, kAny, kAny, PortCall::WriteBlock, Transfer::Ecp, 0, false},
  {IOCTL_PORT_COMPAT_WRITE, kAny, kAny, PortCall::WriteBlock, Transfer::Compat, 0, false},
  // Reverse blocks: ECP reverse data cycles / byte mode / nibble mode.
  {IOCTL_PORT_ECP_READ, kAny, kAny, PortCall::ReadBlock, Transfer::Ecp, 0, false},
  {IOCTL_PORT_BYTE_READ, kAny, kAny, PortCall::ReadBlock, Transfer::Byte, 0, false},
  {IOCTL_PORT_NIBBLE_READ, kAny, kAny, PortCall::ReadBlock, Transfer::Nibble, 0, false},

  // Frames: the whole frame in one library call straight into the caller's
  // buffer. Fixed reads need every byte; counted reads take what arrived
  // before the camera stopped sending (or the inactivity time-out).
  {IOCTL_PORT_ECP_READ_FRAME, kAny, kAny, PortCall::ReadFrame, Transfer::Ecp, 0, false},
  {IOCTL_PORT_ECP_READ_FRAME_VAR, kAny, kAny, PortCall::ReadFrame, Transfer::Ecp, 0, true},
  {IOCTL_PORT_BYTE_READ_FRAME, kAny, kAny, PortCall::ReadFrame, Transfer::Byte, 0, false},
  {IOCTL_PORT_BYTE_READ_FRAME_VAR, kAny, kAny, PortCall::ReadFrame, Transfer::Byte, 0, true},
  {IOCTL_PORT_NIBBLE_READ_FRAME, kAny, kAny, PortCall::ReadFrame, Transfer::Nibble, 0, false},
  {IOCTL_PORT_NIBBLE_READ_FRAME_VAR, kAny, kAny, PortCall::ReadFrame, Transfer::Nibble, 0, true},

  // OUT_A: the byte as the PC control register holds it (12: nInit high,
  // nSelectIn low), onto nStrobe, nAutoFd, nInit and nSelectIn.
  {IOCTL_PORT_OUT_A, kAny, kAny, PortCall::OutControl, Transfer::None, 0, false},
  // OUT_B: the byte onto the data lines, driven forward.
  {IOCTL_PORT_OUT_B, kAny, kAny, PortCall::OutData, Transfer::None, 0, false},
};
// clang-format on

}  // namespace

const RequestLine* FindRequestLine(DWORD code, BYTE modeByte, BYTE option) {
  for (const RequestLine& line : kRequestLines) {
    if (line.code != code) continue;
    if (line.modeByte != kAny && line.modeByte != modeByte) continue;
    if (line.option != kAny && line.option != option) continue;
    return &line;
  }
  return nullptr;
}

}  // namespace parallel
