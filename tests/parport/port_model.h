// A model of the machine's parallel ports for the libieee1284 calls table,
// behaving as libieee1284 0.2.11 over the kernel's ppdev and parport drivers
// do (each behaviour names its source in port_model.cpp): reads and writes of
// at most 1024 bytes per call that return early when the peripheral pauses,
// blocking calls that never return while nothing arrives, non-blocking ones
// that give up, the compatibility writer's own control lines and its refusal
// of an upset peripheral, claims that wait for the port's holder, and a port
// search that lists unreachable ports without a file name. The port with the
// camera plays an IEEE 1284 peripheral with the virtual camera behind it.
// Faults are set on the model between calls. A call that would never return
// on a real machine returns an error here and is counted in Hangs().
#pragma once

#include <cstdint>
#include <limits>
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

// A status line the camera holds at one level, whatever it would drive.
enum class HeldLine { None, FaultLow, BusyHigh, PaperOutHigh, SelectLow };

constexpr int kNever = 0;

struct ModelFaults {
  int openErrno = 0;          // the device node does not open, with this errno
  bool noNodeAccess = false;  // the user may not open /dev/parport* (not in the 'lp' group)
  std::string holder;         // another driver holds the ports; every claim waits for it
  std::string heldPort;       // ... only this port ("" = every ppdev port)
  bool claimFails = false;    // PPCLAIM fails outright
  bool rejectNegotiation = false;  // the peripheral rejects every negotiation
  bool rejectEcpUntilReset = false;  // left in a stale state: declines ECP until reset
  // Frame transfers, counted from 1 in the order they are negotiated.
  int shortFrameRead = kNever;    // the camera ends that one after half its frame
  int stalledFrameRead = kNever;  // the camera never sends a byte of it, and never ends it
  int stallMidFrame = kNever;     // the camera stops for good after half its frame
  int emptyCountedFrame = kNever; // a counted one: the camera ends it with no byte at all
  std::uint32_t pauseEvery = 0;   // the camera pauses after every n bytes of a frame
  HeldLine held = HeldLine::None;
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
  int Hangs() const;                       // calls that would never have returned
  bool AnyOpenOrClaimed() const;
  int FrameReads() const;                  // frame transfers negotiated so far
  std::uint64_t NowMs() const;             // the time the kernel would have spent waiting
  std::vector<std::uint8_t> CommandBytes() const;  // bytes the camera took as commands
  std::size_t LargestRead() const;         // the most bytes one read call returned

  // The camera on the cable (to unplug it, say).
  sim::CameraLink& Camera() { return *camera_; }

 private:
  struct Port;
  friend struct Route;

  Port* Find(const parport* port);
  bool CameraOn(const Port& port) const;
  int KernelCaps(const Port& port) const;
  int Lines(Port& port);
  bool HasData(Port& port);
  std::size_t Serve(Port& port, std::uint8_t* data, std::size_t limit, sim::ReverseMode mode, bool* paused);
  std::size_t ServeFrame(Port& port, std::uint8_t* data, std::size_t limit, bool* paused);
  void Strobed(const std::uint8_t* data, std::size_t count);
  void EcpData(const std::uint8_t* data, std::size_t count);
  void CutBlock();
  bool SearchedNode(const Port& port) const;

  sim::SimConfig config_;
  std::unique_ptr<sim::CameraLink> camera_;
  std::string idStream_;
  int caps_ = 0;  // the camera port's capabilities
  std::vector<std::unique_ptr<Port>> ports_;
  mutable std::mutex mutex_;
  std::vector<int> negotiations_;
  int protocolErrors_ = 0;
  int hangs_ = 0;
  int frameTransfers_ = 0;
  std::uint64_t nowMs_ = 0;
  bool searched_ = false;  // the library's one-time environment search has run
  // The camera's side of forward bytes: a command byte, then its block.
  bool awaitingBlock_ = false;
  std::uint8_t lastCommand_ = 0;
  std::vector<std::uint8_t> block_;
  std::vector<std::uint8_t> commandBytes_;
  std::uint8_t lastOutputA_ = 0;
  bool reset_ = false;
  std::size_t largestRead_ = 0;
};

}  // namespace port_model
