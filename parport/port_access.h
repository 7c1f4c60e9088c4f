// How a port libieee1284 lists is reached: through ppdev, by direct I/O, or
// not at all.
#pragma once

#include "parport/ieee1284_calls.h"

namespace parallel {

// How a port is reached. None: libieee1284 found the port in the kernel's
// records but could open none of the device nodes and may not poke the
// registers, so it gave the port no file name (a user outside the 'lp'
// group, or no ppdev loaded).
enum class PortAccess { Ppdev, DirectIo, None };
PortAccess AccessOf(const parport* port);
const char* AccessName(PortAccess access);  // "ppdev", "direct I/O", "no access"

}  // namespace parallel
