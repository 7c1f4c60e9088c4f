// The libieee1284 calls the parallel-port device uses, as one table of
// function pointers. The real table goes to the library; tests hand the device
// a model of a port and the peripheral on it instead, so every request can be
// followed through without a parallel port on the machine.
#pragma once

#include <ieee1284.h>

#include <cstddef>
#include <string>

namespace parallel {

struct Ieee1284Calls {
  int (*findPorts)(parport_list* list, int flags);
  void (*freePorts)(parport_list* list);
  int (*open)(parport* port, int flags, int* capabilities);
  int (*close)(parport* port);
  int (*claim)(parport* port);
  void (*release)(parport* port);
  int (*negotiate)(parport* port, int mode);
  void (*terminate)(parport* port);
  int (*ecpFwdToRev)(parport* port);
  ssize_t (*nibbleRead)(parport* port, int flags, char* buffer, size_t length);
  ssize_t (*byteRead)(parport* port, int flags, char* buffer, size_t length);
  ssize_t (*compatWrite)(parport* port, int flags, const char* buffer, size_t length);
  ssize_t (*ecpReadData)(parport* port, int flags, char* buffer, size_t length);
  ssize_t (*ecpWriteData)(parport* port, int flags, const char* buffer, size_t length);
  ssize_t (*ecpWriteAddr)(parport* port, int flags, const char* buffer, size_t length);
  int (*dataDir)(parport* port, int reverse);
  void (*writeData)(parport* port, unsigned char value);
  int (*readStatus)(parport* port);
  void (*writeControl)(parport* port, unsigned char lines);
  void (*frobControl)(parport* port, unsigned char mask, unsigned char lines);
  timeval* (*setTimeout)(parport* port, timeval* timeout);
  ssize_t (*getDeviceId)(parport* port, int daisy, int flags, char* buffer, size_t length);
  // Not libieee1284's: who holds the port now, from the kernel's parport
  // records ("" when nobody does, or when the kernel does not say). A claim
  // through ppdev waits for the holder to let go, so the device asks first.
  std::string (*portHolder)(const parport* port);
};

// libieee1284 itself, and the kernel's parport records.
const Ieee1284Calls& SystemIeee1284();

}  // namespace parallel
