#include "parport/port_problems.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "parport/port_search.h"

namespace parallel {

std::string PortLabel(const parport* port) {
  std::string label = port->name != nullptr ? port->name : "?";
  if (AccessOf(port) == PortAccess::Ppdev && port->filename != nullptr) label += std::string(" (") + port->filename + ")";
  return label;
}

std::string OpenProblem(const parport* port, int status, int error) {
  const std::string label = PortLabel(port);
  if (AccessOf(port) == PortAccess::DirectIo) {
    if (error == ENOENT || ::access("/dev/port", F_OK) != 0) return "cannot open " + label + ": /dev/port is absent (no direct I/O on this system)";
    if (error == EACCES || error == EPERM) return "cannot open " + label + ": direct I/O needs root";
    return "cannot open " + label + ": no parallel port answers at that address";
  }
  if (error == EACCES || error == EPERM) {
    return "no permission on " + label + " (join the 'lp' group: sudo adduser $USER lp, then log in again)";
  }
  if (error == ENOENT || error == ENODEV || error == ENXIO) {
    return "cannot open " + label + ": the device node is gone (modprobe ppdev)";
  }
  if (error == EBUSY) return BusyProblem(port, "");
  std::string why = error != 0 ? std::strerror(error) : "libieee1284 error " + std::to_string(status);
  return "cannot open " + label + ": " + why;
}

std::string BusyProblem(const parport* port, const std::string& holder) {
  return PortLabel(port) + " is busy" + (holder.empty() ? "" : ": " + holder + " has it") +
         " (let it finish, or stop it, and try again)";
}

}  // namespace parallel
