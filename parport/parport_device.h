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

// The inactivity time-out of every transfer: a camera that stops mid-frame or
// a cable pulled out fails the request about this long after the last byte.
constexpr long kTransferTimeoutMs = 1000;

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
  enum class Phase { Idle, Compat, Nibble, Byte, Ecp, Frame };

  struct Port {
    parport* port = nullptr;
    int users = 0;  // entries attached; the port is open while there are any
    int caps = 0;   // what ieee1284_open reported
    std::uint64_t claimedBy = 0;
    unsigned char dataLatch = 0;  // the last byte the host drove on the data lines
  };
  struct Entry {
    int lpt = 0;  // 0 until attached
    Phase phase = Phase::Idle;
    bool reversed = false;   // the camera drives the data lines (or the ECP cable is turned round)
    bool latchOnly = false;  // the data lines cannot turn: byte reads see the host's own latch
    Transfer frameTransfer = Transfer::None;
    bool frameCounted = false;
  };

  DWORD Execute(const RequestLine& line, const PortRecord& record, DWORD* moved);
  DWORD Attach(std::uint64_t address, int lpt);
  DWORD Claim(std::uint64_t address, Entry& entry);
  DWORD Release(Entry& entry);
  void Detach(Entry& entry);
  DWORD Poll(Entry& entry);
  DWORD Negotiate(const RequestLine& line, const PortRecord& record, Entry& entry);
  DWORD NegotiateIdByte(const RequestLine& line, Entry& entry);
  DWORD Terminate(const RequestLine& line, Entry& entry);
  DWORD FrameBegin(const RequestLine& line, const PortRecord& record, Entry& entry);
  DWORD Reverse(const RequestLine& line, Entry& entry);
  DWORD WriteCommand(const RequestLine& line, BYTE command, Entry& entry);
  DWORD WriteBlock(const RequestLine& line, const PortRecord& record, Entry& entry);
  DWORD ReadBlock(const RequestLine& line, const PortRecord& record, Entry& entry);
  DWORD ReadFrame(const RequestLine& line, const PortRecord& record, Entry& entry, DWORD* moved);
  DWORD Out(const RequestLine& line, BYTE value, Entry& entry);
  void EndPhase(Entry& entry);
  ssize_t Read(Transfer transfer, parport* port, BYTE* data, DWORD count);

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
