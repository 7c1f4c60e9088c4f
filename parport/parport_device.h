// The kernel port device on Linux over the real parallel port: answers the
// driver's 24 requests through libieee1284 (ppdev, or direct I/O for a port
// named by address), following the one table of request_map.cpp. Each LPT
// entry opens its port at ATTACH and closes it at RELEASE, and holds the port
// claimed only between CLAIM and RELEASE, so a printer driver on the same
// port gets it back in between.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "parport/ieee1284_calls.h"
#include "parport/port_search.h"
#include "parport/request_map.h"
#include "platform/portable/port_device_backend.h"
#include "port/port_records.h"

namespace parallel {

class ParportDevice : public platform::PortDeviceBackend {
 public:
  static constexpr std::size_t kMaxEntries = 64;

  // lpts: the ports that are LPT1.. in order (at most three), all from list.
  ParportDevice(const Ieee1284Calls& calls, std::unique_ptr<PortList> list, std::vector<parport*> lpts, bool trace);
  ~ParportDevice() override;

  BOOL Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
               DWORD* bytesReturned) override;

 private:
  // Where an entry stands on the cable.
  //  Forward: NEGOTIATE 3. In compatibility mode nothing is negotiated; with
  //    PORT_FLAG_ECP the ECP negotiation waits for the first block or
  //    reversal, so a command byte goes out in compatibility mode first.
  //  Nibble, Byte: a negotiated reverse mode (data, or the device ID).
  //  Frame: a frame's reverse mode, after its request on the extensibility link.
  enum class Phase { Idle, Forward, Nibble, Byte, Frame };

  struct Port {
    parport* port = nullptr;
    int users = 0;  // entries attached; the port is open while there are any
    int caps = 0;   // what the kernel offers on it, as CAP1284_* bits
    std::uint64_t claimedBy = 0;
    unsigned char dataLatch = 0;  // the last byte the host drove on the data lines
  };
  struct Entry {
    int lpt = 0;  // 0 until attached
    Phase phase = Phase::Idle;
    bool ecp = false;         // Forward: blocks go as ECP data cycles
    bool negotiated = false;  // Forward: ECP has been negotiated on the cable
    bool reversed = false;    // the camera drives the data lines (or may, once the kernel turns the ECP cable)
    bool latchOnly = false;   // the data lines cannot turn: byte reads see the host's own latch
    Transfer frameTransfer = Transfer::None;
    bool frameCounted = false;
    bool probeEcp = false;    // the camera was reset: ask it for ECP again before the next negotiation
  };

  DWORD Execute(const RequestLine& line, const PortRecord& record, DWORD* moved);
  DWORD Attach(std::uint64_t address, int lpt);
  DWORD Claim(std::uint64_t address, Entry& entry);
  DWORD Release(Entry& entry);
  void Detach(Entry& entry);
  DWORD Poll(std::uint64_t address, Entry& entry);
  void ProbeEcp(std::uint64_t address, Entry& entry);
  void BeforeNegotiation(std::uint64_t address, Entry& entry);
  DWORD Negotiate(const RequestLine& line, const PortRecord& record, Entry& entry);
  DWORD NegotiateIdByte(const RequestLine& line, Entry& entry);
  bool NegotiateForwardEcp(Entry& entry);
  DWORD Terminate(const RequestLine& line, Entry& entry);
  DWORD FrameBegin(const RequestLine& line, const PortRecord& record, Entry& entry);
  DWORD Reverse(const RequestLine& line, Entry& entry);
  DWORD WriteCommand(const RequestLine& line, BYTE command, Entry& entry);
  DWORD WriteBlock(const RequestLine& line, const PortRecord& record, Entry& entry);
  DWORD ReadBlock(const RequestLine& line, const PortRecord& record, Entry& entry);
  DWORD ReadFrame(const RequestLine& line, const PortRecord& record, Entry& entry, DWORD* moved);
  DWORD Out(const RequestLine& line, BYTE value, Entry& entry);
  void EndPhase(Entry& entry);

  Port& PortOf(const Entry& entry) { return ports_[static_cast<std::size_t>(entry.lpt)]; }
  Entry* Claimed(std::uint64_t address);
  // One line on stderr (through the platform's message box) the first time
  // each problem shows, naming the fix.
  void ReportOnce(const std::string& text);
  void Trace(const PortRequest& request, const PortRecord& record, DWORD reply, DWORD moved) const;

  const Ieee1284Calls& calls_;
  const std::unique_ptr<PortList> list_;
  const bool trace_;

  std::mutex mutex_;
  std::array<Port, 4> ports_;  // [1..3] = LPT1..LPT3
  std::map<std::uint64_t, Entry> entries_;
  std::set<std::string> reported_;
};

// Builds the device from the options after "parport:". nullptr with *error
// (one line, naming the fix) when the options are bad or there is no port.
std::unique_ptr<platform::PortDeviceBackend> MakeParportDevice(const std::string& options, std::string* error,
                                                               const Ieee1284Calls& calls);

}  // namespace parallel
