// The libieee1284 calls the parallel-port device uses, as one table of
// function pointers, with the few facts it reads from the kernel beside the
// library. The real table goes to the library and the kernel's parport
// records; tests hand the device a model of a port and the peripheral on it
// instead, so every request can be followed through without a parallel port
// on the machine.
#pragma once

#include <ieee1284.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace parallel {

// The port libieee1284's first port search claims for a moment, and who
// holds it now ("" when nobody does).
struct SearchClaim {
  std::string port;    // "parport0", or "" when the search claims none
  std::string holder;  // the holding driver's name as the kernel gives it
};

struct Ieee1284Calls {
  int (*findPorts)(parport_list* list, int flags);
  void (*freePorts)(parport_list* list);
  int (*open)(parport* port, int flags, int* capabilities);
  int (*close)(parport* port);
  int (*claim)(parport* port);
  void (*release)(parport* port);
  int (*negotiate)(parport* port, int mode);
  void (*terminate)(parport* port);
  ssize_t (*nibbleRead)(parport* port, int flags, char* buffer, size_t length);
  ssize_t (*byteRead)(parport* port, int flags, char* buffer, size_t length);
  ssize_t (*compatWrite)(parport* port, int flags, const char* buffer, size_t length);
  ssize_t (*ecpReadData)(parport* port, int flags, char* buffer, size_t length);
  ssize_t (*ecpWriteData)(parport* port, int flags, const char* buffer, size_t length);
  int (*dataDir)(parport* port, int reverse);
  void (*writeData)(parport* port, unsigned char value);
  int (*readStatus)(parport* port);
  void (*writeControl)(parport* port, unsigned char lines);
  ssize_t (*getDeviceId)(parport* port, int daisy, int flags, char* buffer, size_t length);

  // Not libieee1284's. Each one answers without claiming the port: every
  // claim through ppdev waits for whoever holds the port, for as long as it
  // holds it.
  // Who holds the port now, from the kernel's parport records ("" when nobody
  // does, or when the kernel does not say).
  std::string (*portHolder)(const parport* port);
  // The port's modes as the kernel offers them, in CAP1284_* bits the way
  // libieee1284 derives them; -1 when the kernel does not say. (The library's
  // own answer, through ieee1284_open's capabilities, claims the port to ask.)
  int (*kernelModes)(const parport* port);
  // The errno of opening the port's device node for reading, 0 when it opens.
  // The library's search opens the same node and drops the reason.
  int (*nodeError)(const parport* port);
  // What the library's first port search in this process will claim.
  SearchClaim (*searchClaim)();
  // The monotonic clock, in milliseconds, that transfer deadlines run on.
  std::uint64_t (*nowMs)();
};

// libieee1284 itself, and the kernel's parport records.
const Ieee1284Calls& SystemIeee1284();

}  // namespace parallel
