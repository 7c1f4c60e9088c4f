#include "parport/port_problems.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "parport/port_access.h"

namespace parallel {

std::string PortLabel(const parport* port) {
  const std::string name = port->name != nullptr ? port->name : "?";
  switch (AccessOf(port)) {
    case PortAccess::Ppdev:
      return name + " (" + port->filename + ")";
    case PortAccess::None:
      return name + " (/dev/" + name + ")";
    default:
      return name;
  }
}

std::string NodeProblem(const parport* port, int error) {
  const std::string label = PortLabel(port);
  if (error == EACCES || error == EPERM) {
    return "no permission on " + label + " (join the 'lp' group: sudo adduser $USER lp, then log in again)";
  }
  if (error == ENOENT || error == ENODEV || error == ENXIO) {
    return "cannot open " + label + ": no device node (load ppdev: modprobe ppdev)";
  }
  if (error == EBUSY) return BusyProblem(label, "");
  if (error == 0) return "cannot open " + label;
  return "cannot open " + label + ": " + std::strerror(error);
}

std::string OpenProblem(const Ieee1284Calls& calls, const parport* port, int status, int error) {
  const std::string label = PortLabel(port);
  switch (AccessOf(port)) {
    case PortAccess::DirectIo:
      if (error == ENOENT || ::access("/dev/port", F_OK) != 0) {
        return "cannot open " + label + ": /dev/port is absent (no direct I/O on this system)";
      }
      if (error == EACCES || error == EPERM) return "cannot open " + label + ": direct I/O needs root";
      return "cannot open " + label + ": no parallel port answers at that address";
    case PortAccess::None:
      return NodeProblem(port, calls.nodeError(port));
    default:
      if (error != 0) return NodeProblem(port, error);
      return "cannot open " + label + ": libieee1284 error " + std::to_string(status);
  }
}

std::string BusyProblem(const std::string& label, const std::string& holder) {
  return label + " is busy" + (holder.empty() ? "" : ": " + holder + " has it") +
         " (let it finish, or stop it, and try again)";
}

}  // namespace parallel
