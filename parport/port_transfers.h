// Moving bytes over the cable the way ppdev and libieee1284 really move them:
// one read or write call moves at most ppdev's 1024-byte buffer and returns
// early when the peripheral pauses, so a frame or block takes as many calls as
// it needs, each straight into the caller's buffer. Every call is
// non-blocking (a blocking ppdev read waits for ever while the peripheral
// sends nothing, and ppdev puts its own 5 s time-out back around every call,
// whatever ieee1284_set_timeout said), and the device keeps its own deadline.
#pragma once

#include <cstddef>
#include <cstdint>

#include "parport/ieee1284_calls.h"
#include "parport/request_map.h"

namespace parallel {

// A transfer fails once no byte has moved for this long: a camera that stops
// mid-frame, one that accepts a frame and never starts it, a pulled cable.
// About one second: far beyond the camera's frame period, short enough that a
// capture application sees the failure at once.
constexpr std::uint64_t kNoProgressMs = 1000;

struct Moved {
  std::size_t bytes = 0;  // bytes that arrived (or left), all in the caller's buffer
  bool whole = false;     // the transfer ended as asked (see ReadBytes, WriteBytes)
};

// Reads up to `count` bytes in the reverse mode negotiated for `transfer`.
// It stops when `count` bytes have come, when the camera ends its data (it
// drops its data-available line, nFault high), or when nothing has come for
// kNoProgressMs. `whole` is set when all `count` came, or, with `upTo`, when
// the camera ended its data first (an empty transfer included).
Moved ReadBytes(const Ieee1284Calls& calls, parport* port, Transfer transfer, unsigned char* data, std::size_t count,
                bool upTo);

// Writes `count` bytes in compatibility mode (Transfer::Compat) or as ECP data
// cycles (Transfer::Ecp). It fails at once when the camera shows an error in
// compatibility mode (nFault low, PError high or Select low: the kernel's
// writer stops there), and when it takes no byte for kNoProgressMs.
Moved WriteBytes(const Ieee1284Calls& calls, parport* port, Transfer transfer, const unsigned char* data,
                 std::size_t count);

// Whether the peripheral says it has reverse data: in a nibble or byte phase
// nFault is nDataAvail, in an ECP reverse phase nPeriphRequest; low = data.
bool PeripheralHasData(const Ieee1284Calls& calls, parport* port);

}  // namespace parallel
