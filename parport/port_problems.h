// The one-line reasons a port cannot be used, each naming its fix; the device
// reports them once, `zarncap ports` shows them beside the port.
#pragma once

#include <string>

#include "parport/ieee1284_calls.h"

namespace parallel {

// ieee1284_open failed with status (errno as it was right after the call).
std::string OpenProblem(const parport* port, int status, int error);
// Another driver holds the port.
std::string BusyProblem(const parport* port, const std::string& holder);
// The port's name for messages: "parport0 (/dev/parport0)" or "0x378".
std::string PortLabel(const parport* port);

}  // namespace parallel
