// The driver's 24 port requests on the IEEE 1284 cable.
//
// The host side of every phase is libieee1284 over the kernel's parport
// driver (ppdev), which does the handshakes. What the camera sees:
//  - negotiation: the host puts an extensibility byte on the data lines and
//    raises nSelectIn, drops nAutoFd; the peripheral answers on the status
//    lines (Select high = it accepts the mode). ieee1284_terminate takes the
//    port back to compatibility mode (events 22 to 29), from ECP reverse
//    first turning the cable forward (events 47 to 49).
//  - compatibility mode: a byte on the data lines, strobed with nStrobe while
//    nAutoFd, nInit and nSelectIn stay as the kernel's writer sets them
//    (nAutoFd high); the writer strobes only while Busy is low and nFault
//    high, and gives up when the peripheral shows nFault low, PError high or
//    Select low.
//  - nibble mode: the peripheral sends each byte as two 4-bit halves on the
//    status lines, paced by nAutoFd/nAck; nFault low (nDataAvail) before a
//    byte says one more follows, high says the data has ended.
//  - byte mode: the kernel's reader turns the host's data-line drivers off
//    and the peripheral drives the 8 data lines, paced by nAutoFd/nAck, with
//    nDataAvail as in nibble mode.
//  - ECP: forward data cycles (nAutoFd high); for reverse data the kernel's
//    reader turns the cable round (nInit low) at its first read, and the
//    peripheral sends with nAck/nAutoFd while nPeriphRequest (nFault) is low.
// Reads and writes move what ppdev moves in one call (at most 1024 bytes, less
// when the peripheral pauses); the device loops until the whole block or
// frame has moved (port_transfers.h).
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
  // RELEASE); when the port has ECP, an ECP negotiation (0x10) and terminate,
  // so PORT_FLAG_ECP says whether port and camera both do ECP. The camera
  // sees the same probe again before the first negotiation after its reset.
  {IOCTL_PORT_CLAIM, kAny, kAny, PortCall::Claim, Transfer::None, M1284_ECP, false},
  // RELEASE: back to compatibility mode, give the port back, close it.
  {IOCTL_PORT_RELEASE, kAny, kAny, PortCall::Release, Transfer::None, 0, false},
  // POLL: a nibble-mode negotiation (0x00), a look at nDataAvail (nFault low:
  // the camera has a frame ready), terminate. The camera drives nFault low
  // only in reverse phases, so it never stops the compatibility writer.
  {IOCTL_PORT_POLL, kAny, kAny, PortCall::ReadStatus, Transfer::None, M1284_NIBBLE, false},

  // NEGOTIATE 1: reverse data in nibbles (extensibility byte 0x00).
  {IOCTL_PORT_NEGOTIATE, PORT_NEGOTIATE_NIBBLE_DATA, kAny, PortCall::Negotiate, Transfer::Nibble, M1284_NIBBLE, false},
  // NEGOTIATE 3: forward commands and data. Nothing on the cable yet: the
  // port is in compatibility mode, and with PORT_FLAG_ECP the ECP negotiation
  // (0x10) comes with the first block or reversal of the phase.
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
  // in: nibbles (9), byte-wide (10; refused on a port whose data lines cannot
  // turn), or ECP (11), which the kernel's reader turns round at once.
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_NIBBLE, PORT_FRAME_FIXED, PortCall::FrameBegin, Transfer::Nibble, M1284_NIBBLE, false},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_NIBBLE, PORT_FRAME_COUNTED, PortCall::FrameBegin, Transfer::Nibble, M1284_NIBBLE, true},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_BYTE, PORT_FRAME_FIXED, PortCall::FrameBegin, Transfer::Byte, M1284_BYTE, false},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_BYTE, PORT_FRAME_COUNTED, PortCall::FrameBegin, Transfer::Byte, M1284_BYTE, true},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_ECP, PORT_FRAME_FIXED, PortCall::FrameBegin, Transfer::Ecp, M1284_ECP, false},
  {IOCTL_PORT_FRAME_BEGIN, PORT_FRAME_ECP, PORT_FRAME_COUNTED, PortCall::FrameBegin, Transfer::Ecp, M1284_ECP, true},
  // FRAME_END: terminate the frame's reverse phase.
  {IOCTL_PORT_FRAME_END, kAny, kAny, PortCall::Terminate, Transfer::None, 0, false},

  // REVERSE: after NEGOTIATE 3 in ECP, the ECP negotiation if the phase has
  // not had it yet; the kernel's reader turns the cable round (nInit low) at
  // the first read. In compatibility mode, a byte-mode negotiation (0x01); the
  // kernel's reader turns the data lines. After NEGOTIATE 7, nothing more.
  {IOCTL_PORT_REVERSE, kAny, kAny, PortCall::Reverse, Transfer::Byte, M1284_BYTE, false},

  // Command bytes, in ECP and in compatibility mode alike: one byte strobed in
  // compatibility mode, before any ECP negotiation of the phase. The camera
  // takes a strobed byte as a command when it is not waiting for a block;
  // after a command come its 18-byte block (strobed in compatibility mode, or
  // ECP data cycles after an ECP negotiation) or, for a status read, a
  // reverse phase. (An ECP command cycle
  // would not do: with bit 7 clear it is a run-length count; and the kernel's
  // writer drives nAutoFd high itself, so nAutoFd cannot mark the byte.)
  {IOCTL_PORT_ECP_WRITE_CMD, kAny, kAny, PortCall::WriteCommand, Transfer::Ecp, 0, false},
  {IOCTL_PORT_COMPAT_WRITE_CMD, kAny, kAny, PortCall::WriteCommand, Transfer::Compat, 0, false},
  // Forward blocks: ECP data cycles / compatibility-mode strobes.
  {IOCTL_PORT_ECP_WRITE, kAny, kAny, PortCall::WriteBlock, Transfer::Ecp, 0, false},
  {IOCTL_PORT_COMPAT_WRITE, kAny, kAny, PortCall::WriteBlock, Transfer::Compat, 0, false},
  // Reverse blocks: ECP reverse data cycles / byte mode / nibble mode.
  {IOCTL_PORT_ECP_READ, kAny, kAny, PortCall::ReadBlock, Transfer::Ecp, 0, false},
  {IOCTL_PORT_BYTE_READ, kAny, kAny, PortCall::ReadBlock, Transfer::Byte, 0, false},
  {IOCTL_PORT_NIBBLE_READ, kAny, kAny, PortCall::ReadBlock, Transfer::Nibble, 0, false},

  // Frames: the reverse transfer of the open frame phase, looped over
  // ppdev's reads straight into the caller's buffer. Fixed reads need every
  // byte; counted reads take what arrived before the camera raised nFault
  // (nDataAvail / nPeriphRequest high: the frame has ended), 0 bytes
  // included. No byte for a second fails either.
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
