// The one-line reasons a port cannot be used, each naming its fix; the device
// reports them once, `zarncap ports` shows them beside the port.
#pragma once

#include <string>

#include "parport/ieee1284_calls.h"

namespace parallel {

// ieee1284_open failed with status (errno as it was right after the call).
// For a port the library could not reach at all (no file name: its search
// could open no device node), the node's own error says why.
std::string OpenProblem(const Ieee1284Calls& calls, const parport* port, int status, int error);
// Opening the port's device node fails with this errno.
std::string NodeProblem(const parport* port, int error);
// Another driver holds the port (label: PortLabel, or a kernel port name).
std::string BusyProblem(const std::string& label, const std::string& holder);
// The port's name for messages: "parport0 (/dev/parport0)" or "0x378".
std::string PortLabel(const parport* port);

}  // namespace parallel
