#include "parport/port_access.h"

#include <cstring>

namespace parallel {

PortAccess AccessOf(const parport* port) {
  const char* file = port->filename;
  if (file == nullptr || *file == '\0') return PortAccess::None;
  return std::strncmp(file, "/dev/parport", 12) == 0 ? PortAccess::Ppdev : PortAccess::DirectIo;
}

const char* AccessName(PortAccess access) {
  switch (access) {
    case PortAccess::Ppdev:
      return "ppdev";
    case PortAccess::DirectIo:
      return "direct I/O";
    default:
      return "no access";
  }
}

}  // namespace parallel
