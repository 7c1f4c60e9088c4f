// A model of the machine's parallel ports for the libieee1284 calls table:
// each port keeps its claim, its IEEE 1284 phase and its lines, and the one
// with the camera plays a standard IEEE 1284 peripheral (negotiation answers,
// nibble, byte and ECP transfers, device ID, the status lines) with the
// virtual camera behind it. Faults are set on the model between calls.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "parport/ieee1284_calls.h"
#include "sim/camera_link.h"
#include "sim/sim_config.h"

namespace port_model {

struct ModelPort {
  std::string name;   // "parport0", "0x378"
  std::string file;   // "/dev/parport0", "/dev/port"
  unsigned long base = 0;
};

struct ModelFaults {
  int openErrno = 0;          // open fails with E1284_INIT and this errno
  std::string holder;         // the kernel says this driver holds every port
  bool claimFails = false;
  bool rejectNegotiation = false;  // the peripheral rejects every negotiation
  int shortFrameRead = 0;     // the n-th frame read (from 1) brings half the bytes
  int stalledFrameRead = 0;   // the n-th frame read times out with nothing
};

class PortModel {
 public:
  // The camera is made from the virtual camera's options; it hangs on the
  // ppdev port of its `port=` (LPT n = the n-th ppdev port), and `mode=`
  // gives that port's capabilities.
  PortModel(const std::string& simOptions, std::vector<ModelPort> ports);
  ~PortModel();

  // The calls table routed to the current model (one at a time).
  static const parallel::Ieee1284Calls& Calls();

  ModelFaults faults;

  // What the model saw.
  std::vector<int> Negotiations() const;   // every mode asked for, in order
  int ProtocolErrors() const;              // calls made in a phase that does not allow them
  bool AnyOpenOrClaimed() const;
  int FrameReads() const;

  // The camera on the cable (to unplug it, say).
  sim::CameraLink& Camera() { return *camera_; }

 private:
  struct Port;
  friend struct Route;

  Port* Find(const parport* port);
  ssize_t Serve(Port& port, char* buffer, size_t length, sim::ReverseMode mode);
  bool CameraOn(const Port& port) const;

  sim::SimConfig config_;
  std::unique_ptr<sim::CameraLink> camera_;
  std::string idStream_;
  int caps_ = 0;  // the camera port's capabilities
  std::vector<std::unique_ptr<Port>> ports_;
  mutable std::mutex mutex_;
  std::vector<int> negotiations_;
  int protocolErrors_ = 0;
  int frameReads_ = 0;
};

}  // namespace port_model
