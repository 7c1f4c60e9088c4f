#include "parport/port_transfers.h"

namespace parallel {
namespace {

// The library's read calls. libieee1284 0.2.11 sets O_NONBLOCK on the port's
// file at the first call that asks for it and never clears it again (its
// do_nonblock never records the change), so every call here asks.
ssize_t ReadCall(const Ieee1284Calls& calls, parport* port, Transfer transfer, char* buffer, std::size_t length) {
  switch (transfer) {
    case Transfer::Nibble:
      return calls.nibbleRead(port, F1284_NONBLOCK, buffer, length);
    case Transfer::Byte:
      return calls.byteRead(port, F1284_NONBLOCK, buffer, length);
    case Transfer::Ecp:
      return calls.ecpReadData(port, F1284_NONBLOCK, buffer, length);
    default:
      return E1284_NOTIMPL;
  }
}

ssize_t WriteCall(const Ieee1284Calls& calls, parport* port, Transfer transfer, const char* buffer,
                  std::size_t length) {
  if (transfer == Transfer::Ecp) return calls.ecpWriteData(port, F1284_NONBLOCK, buffer, length);
  return calls.compatWrite(port, F1284_NONBLOCK, buffer, length);
}

// A call that moved nothing without an error: ppdev's non-blocking read says
// EAGAIN (the library's E1284_TIMEDOUT), its non-blocking write returns 0.
bool NothingMoved(ssize_t result) { return result == 0 || result == E1284_TIMEDOUT; }

// The kernel's compatibility writer gives up on a peripheral that is not
// ready when it shows one of these (parport_ieee1284_write_compat, "Is the
// peripheral upset?"): nFault low, PError high, or Select low.
bool PeripheralUpset(const Ieee1284Calls& calls, parport* port) {
  const int status = calls.readStatus(port);
  if (status < 0) return true;
  return (status & S1284_NFAULT) == 0 || (status & S1284_PERROR) != 0 || (status & S1284_SELECT) == 0;
}

}  // namespace

bool PeripheralHasData(const Ieee1284Calls& calls, parport* port) {
  const int status = calls.readStatus(port);
  return status >= 0 && (status & S1284_NFAULT) == 0;
}

Moved ReadBytes(const Ieee1284Calls& calls, parport* port, Transfer transfer, unsigned char* data, std::size_t count,
                bool upTo) {
  Moved moved;
  std::uint64_t lastProgress = calls.nowMs();
  while (moved.bytes < count) {
    const ssize_t got = ReadCall(calls, port, transfer, reinterpret_cast<char*>(data + moved.bytes),
                                 count - moved.bytes);
    if (got > 0) {
      moved.bytes += static_cast<std::size_t>(got);
      lastProgress = calls.nowMs();
      continue;
    }
    if (!NothingMoved(got)) return moved;  // the port failed
    // Nothing came: the camera has either ended its data or paused.
    if (!PeripheralHasData(calls, port)) {
      moved.whole = upTo;
      return moved;
    }
    if (calls.nowMs() - lastProgress >= kNoProgressMs) return moved;
  }
  moved.whole = true;
  return moved;
}

Moved WriteBytes(const Ieee1284Calls& calls, parport* port, Transfer transfer, const unsigned char* data,
                 std::size_t count) {
  Moved moved;
  std::uint64_t lastProgress = calls.nowMs();
  while (moved.bytes < count) {
    const ssize_t put = WriteCall(calls, port, transfer, reinterpret_cast<const char*>(data + moved.bytes),
                                  count - moved.bytes);
    if (put > 0) {
      moved.bytes += static_cast<std::size_t>(put);
      lastProgress = calls.nowMs();
      continue;
    }
    if (!NothingMoved(put)) return moved;
    if (transfer == Transfer::Compat && PeripheralUpset(calls, port)) return moved;
    if (calls.nowMs() - lastProgress >= kNoProgressMs) return moved;
  }
  moved.whole = true;
  return moved;
}

}  // namespace parallel
