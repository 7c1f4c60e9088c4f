// Requests are decoded as the kernel device decodes them (exact record and
// reply lengths; a malformed one fails and changes nothing), looked up in the
// request table, and carried out on the entry's port. A well-formed request
// the port cannot carry out in its present state gets a zero reply.
#include "parport/parport_device.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "parport/port_problems.h"
#include "parport/port_transfers.h"
#include "platform/platform.h"

namespace parallel {

ParportDevice::ParportDevice(const Ieee1284Calls& calls, std::unique_ptr<PortList> list, std::vector<parport*> lpts,
                             bool trace)
    : calls_(calls), list_(std::move(list)), trace_(trace) {
  for (std::size_t i = 0; i < lpts.size() && i < 3; ++i) ports_[i + 1].port = lpts[i];
}

ParportDevice::~ParportDevice() {
  // A host that quits without closing the driver still gives the ports back.
  for (auto& [address, entry] : entries_) {
    if (entry.lpt != 0 && PortOf(entry).claimedBy == address) Release(entry);
    Detach(entry);
  }
}

BOOL ParportDevice::Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                            DWORD* bytesReturned) {
  std::lock_guard lock(mutex_);
  if (bytesReturned != nullptr) *bytesReturned = 0;
  const PortRequest* request = FindPortRequest(code);
  PortRecord record;
  if (request == nullptr || !DecodeWellFormedRequest(*request, in, inLength, out, outLength, &record)) return FALSE;
  const bool framed = request->layout == PortRecordLayout::EBB;
  const RequestLine* line = FindRequestLine(code, record.value, framed ? record.option : 0);
  DWORD moved = 0;
  const DWORD reply = line != nullptr ? Execute(*line, record, &moved) : 0;
  if (trace_) Trace(*request, record, reply, moved);
  if (!request->hasReply) return reply != 0 ? TRUE : FALSE;
  std::memcpy(out, &reply, kPortReplyLength);
  if (bytesReturned != nullptr) *bytesReturned = kPortReplyLength;
  return TRUE;
}

DWORD ParportDevice::Execute(const RequestLine& line, const PortRecord& record, DWORD* moved) {
  if (line.call == PortCall::Open) return Attach(record.entry, record.value);
  Entry* entry = nullptr;
  if (line.call == PortCall::Claim) {
    auto found = entries_.find(record.entry);
    if (found == entries_.end() || found->second.lpt == 0) return 0;
    return Claim(record.entry, found->second);
  }
  // Everything else needs the port claimed for this entry.
  entry = Claimed(record.entry);
  if (entry == nullptr) {
    // A release after a refused claim still closes the port the attach opened.
    auto found = entries_.find(record.entry);
    if (line.call == PortCall::Release && found != entries_.end()) Detach(found->second);
    return 0;
  }
  switch (line.call) {
    case PortCall::Release:
      return Release(*entry);
    case PortCall::ReadStatus:
      return Poll(record.entry, *entry);
    case PortCall::Negotiate:
    case PortCall::NegotiateForward:
    case PortCall::NegotiateIdByte:
      return Negotiate(line, record, *entry);
    case PortCall::Terminate:
      return Terminate(line, *entry);
    case PortCall::FrameBegin:
      return FrameBegin(line, record, *entry);
    case PortCall::Reverse:
      return Reverse(line, *entry);
    case PortCall::WriteCommand:
      return WriteCommand(line, record.value, *entry);
    case PortCall::WriteBlock:
      return WriteBlock(line, record, *entry);
    case PortCall::ReadBlock:
      return ReadBlock(line, record, *entry);
    case PortCall::ReadFrame:
      return ReadFrame(line, record, *entry, moved);
    case PortCall::OutControl:
    case PortCall::OutData:
      return Out(line, record.value, *entry);
    default:
      return 0;
  }
}

// ---- the port's life: attach (open), claim, release (and close)

DWORD ParportDevice::Attach(std::uint64_t address, int lpt) {
  if (lpt < 1 || lpt > 3 || ports_[static_cast<std::size_t>(lpt)].port == nullptr) return 0;
  auto found = entries_.find(address);
  if (found == entries_.end()) {
    if (entries_.size() >= kMaxEntries) return 0;
    found = entries_.emplace(address, Entry{}).first;
  }
  Entry& entry = found->second;
  if (entry.lpt == lpt) return 1;
  // A claimed entry stays bound to its port until it is released.
  if (entry.lpt != 0 && PortOf(entry).claimedBy == address) return 0;
  Port& port = ports_[static_cast<std::size_t>(lpt)];
  if (port.users == 0) {
    errno = 0;
    const int status = OpenUnclaimed(calls_, port.port, &port.caps);
    const int error = errno;
    if (status != E1284_OK) {
      ReportOnce(OpenProblem(calls_, port.port, status, error));
      return 0;
    }
  }
  Detach(entry);
  ++port.users;
  entry = Entry{};
  entry.lpt = lpt;
  return 1;
}

void ParportDevice::Detach(Entry& entry) {
  if (entry.lpt == 0) return;
  Port& port = PortOf(entry);
  if (--port.users == 0) calls_.close(port.port);
  entry.lpt = 0;
}

DWORD ParportDevice::Claim(std::uint64_t address, Entry& entry) {
  Port& port = PortOf(entry);
  if (port.claimedBy == address) return 1;
  if (port.claimedBy != 0) return 0;  // another entry has the port
  // ppdev's claim waits for whoever holds the port; ask the kernel first so a
  // busy port is a refused claim, never a hang. (Only a holder that takes the
  // port between the two can still make the claim wait.)
  if (const std::string holder = calls_.portHolder(port.port); !holder.empty()) {
    ReportOnce(BusyProblem(PortLabel(port.port), holder));
    return 0;
  }
  if (calls_.claim(port.port) != E1284_OK) {
    ReportOnce(BusyProblem(PortLabel(port.port), ""));
    return 0;
  }
  port.claimedBy = address;
  entry.phase = Phase::Idle;
  ProbeEcp(address, entry);
  return 1;
}

DWORD ParportDevice::Release(Entry& entry) {
  EndPhase(entry);
  calls_.release(PortOf(entry).port);
  PortOf(entry).claimedBy = 0;
  Detach(entry);
  return 1;
}

// The camera says whether it has a frame ready on its data-available line,
// which IEEE 1284 gives a meaning only in a reverse phase: a nibble-mode
// negotiation, a look at nDataAvail (nFault low = ready), and back to
// compatibility mode. Outside reverse phases the camera keeps nFault high, as
// the kernel's compatibility writer wants before it strobes a byte.
DWORD ParportDevice::Poll(std::uint64_t address, Entry& entry) {
  if (entry.phase != Phase::Idle) return 0;
  BeforeNegotiation(address, entry);
  parport* port = PortOf(entry).port;
  const RequestLine* line = FindRequestLine(IOCTL_PORT_POLL, 0, 0);
  if (calls_.negotiate(port, line->ieeeMode) != E1284_OK) return 0;
  const bool ready = PeripheralHasData(calls_, port);
  calls_.terminate(port);
  return ready ? 1 : 0;
}

// ---- phases

// ECP when the port has it and the camera accepts the mode. Asked at CLAIM,
// and again before the first negotiation after the camera's reset: a camera
// left in a stale state may decline before the reset that the driver's open
// sends it, and the flag is read only after that.
void ParportDevice::ProbeEcp(std::uint64_t address, Entry& entry) {
  entry.probeEcp = false;
  bool ecp = false;
  Port& port = PortOf(entry);
  if ((port.caps & CAP1284_ECP) != 0) {
    const RequestLine* line = FindRequestLine(IOCTL_PORT_CLAIM, 0, 0);
    ecp = calls_.negotiate(port.port, line->ieeeMode) == E1284_OK;
    calls_.terminate(port.port);
  }
  SetPortEntryFlag(address, PORT_FLAG_ECP, ecp);
}

void ParportDevice::BeforeNegotiation(std::uint64_t address, Entry& entry) {
  if (entry.probeEcp) ProbeEcp(address, entry);
}

void ParportDevice::EndPhase(Entry& entry) {
  // Compatibility mode needs no termination; every negotiated mode does. The
  // kernel's terminate also turns an ECP cable back (events 47 to 49) when
  // its own reader turned it, and negotiation and the compatibility writer
  // drive the data lines forward again themselves.
  const bool onCable = entry.phase != Phase::Idle && (entry.phase != Phase::Forward || entry.negotiated);
  if (onCable) calls_.terminate(PortOf(entry).port);
  const bool probeEcp = entry.probeEcp;
  const int lpt = entry.lpt;
  entry = Entry{};
  entry.lpt = lpt;
  entry.probeEcp = probeEcp;
}

DWORD ParportDevice::Negotiate(const RequestLine& line, const PortRecord& record, Entry& entry) {
  EndPhase(entry);
  BeforeNegotiation(record.entry, entry);
  parport* port = PortOf(entry).port;
  switch (line.call) {
    case PortCall::NegotiateForward:
      entry.phase = Phase::Forward;
      entry.ecp = (ReadPortEntryFlags(record.entry) & PORT_FLAG_ECP) != 0;
      return 1;
    case PortCall::NegotiateIdByte:
      return NegotiateIdByte(line, entry);
    default:
      if (calls_.negotiate(port, line.ieeeMode) != E1284_OK) return 0;
      entry.phase = Phase::Nibble;
      return 1;
  }
}

bool ParportDevice::NegotiateForwardEcp(Entry& entry) {
  if (entry.negotiated) return true;
  const RequestLine* line = FindRequestLine(IOCTL_PORT_NEGOTIATE, PORT_NEGOTIATE_FORWARD, 0);
  if (calls_.negotiate(PortOf(entry).port, line->ieeeMode) != E1284_OK) return false;
  entry.negotiated = true;
  return true;
}

DWORD ParportDevice::NegotiateIdByte(const RequestLine& line, Entry& entry) {
  parport* port = PortOf(entry).port;
  if ((PortOf(entry).caps & CAP1284_BYTE) != 0) {
    const int status = calls_.negotiate(port, line.ieeeMode);
    if (status == E1284_OK) {
      entry.phase = Phase::Byte;
      return 1;
    }
    if (status != E1284_REJECTED) return 0;
  }
  // No byte mode here (the port cannot turn its data lines, or the camera
  // declines): put the camera in its nibble ID phase and let the byte-wide
  // reads see the host's own latch, which the driver's test tells apart.
  if (calls_.negotiate(port, line.ieeeMode & ~M1284_BYTE) != E1284_OK) return 0;
  entry.phase = Phase::Byte;
  entry.latchOnly = true;
  return 1;
}

DWORD ParportDevice::Terminate(const RequestLine& line, Entry& entry) {
  const bool frameEnd = line.code == IOCTL_PORT_FRAME_END;
  if (entry.phase == Phase::Idle || (entry.phase == Phase::Frame) != frameEnd) return 0;
  EndPhase(entry);
  return 1;
}

DWORD ParportDevice::FrameBegin(const RequestLine& line, const PortRecord& record, Entry& entry) {
  EndPhase(entry);
  BeforeNegotiation(record.entry, entry);
  Port& port = PortOf(entry);
  // Byte-wide frames need data lines that turn; the camera would otherwise
  // drive them against the host.
  if (line.transfer == Transfer::Byte && (port.caps & CAP1284_BYTE) == 0) return 0;
  const int request = FrameRequestValue(record.value, record.option);
  if (calls_.negotiate(port.port, M1284_FLAG_EXT_LINK | request) != E1284_OK) return 0;
  calls_.terminate(port.port);
  if (calls_.negotiate(port.port, line.ieeeMode) != E1284_OK) return 0;
  // The kernel's byte reader turns the data lines itself (event 14) and its
  // ECP reader turns the cable round (events 38 to 40) at the first read.
  entry.phase = Phase::Frame;
  entry.frameTransfer = line.transfer;
  entry.frameCounted = line.counted;
  return 1;
}

DWORD ParportDevice::Reverse(const RequestLine& line, Entry& entry) {
  if (entry.reversed) return 0;
  Port& port = PortOf(entry);
  switch (entry.phase) {
    case Phase::Forward:
      if (entry.ecp) {
        // The kernel's ECP reader turns the cable at the first read and its
        // terminate turns it back; a turn made beside it (the library's
        // ieee1284_ecp_fwd_to_rev) would be left standing by that terminate.
        if (!NegotiateForwardEcp(entry)) return 0;
        break;
      }
      if ((port.caps & CAP1284_BYTE) == 0) {
        entry.phase = Phase::Byte;
        entry.latchOnly = true;  // the direction bit is taken; the lines stay driven
        break;
      }
      if (calls_.negotiate(port.port, line.ieeeMode) != E1284_OK) return 0;
      entry.phase = Phase::Byte;
      break;
    case Phase::Byte:
      break;  // the device ID phase of NEGOTIATE 7
    default:
      return 0;
  }
  entry.reversed = true;
  return 1;
}

// ---- data

DWORD ParportDevice::WriteCommand(const RequestLine& line, BYTE command, Entry& entry) {
  const bool ecp = line.transfer == Transfer::Ecp;
  if (entry.phase != Phase::Forward || entry.ecp != ecp || entry.reversed) return 0;
  Port& port = PortOf(entry);
  // A command byte is one byte strobed in compatibility mode, in ECP too: the
  // kernel's compatibility writer drives nAutoFd high itself, and an ECP
  // command cycle with bit 7 clear is a run-length count, not an address.
  if (entry.negotiated) {
    calls_.terminate(port.port);
    entry.negotiated = false;
  }
  port.dataLatch = command;
  return WriteBytes(calls_, port.port, Transfer::Compat, &command, 1).whole ? 1 : 0;
}

DWORD ParportDevice::WriteBlock(const RequestLine& line, const PortRecord& record, Entry& entry) {
  const bool ecp = line.transfer == Transfer::Ecp;
  if (entry.phase != Phase::Forward || entry.ecp != ecp || entry.reversed) return 0;
  if (record.count == 0) return 1;  // nothing moves on the cable
  const BYTE* data = PortPointerFrom<const BYTE>(record.buffer);
  if (data == nullptr) return 0;
  if (ecp && !NegotiateForwardEcp(entry)) return 0;
  Port& port = PortOf(entry);
  port.dataLatch = data[record.count - 1];
  return WriteBytes(calls_, port.port, line.transfer, data, record.count).whole ? 1 : 0;
}

DWORD ParportDevice::ReadBlock(const RequestLine& line, const PortRecord& record, Entry& entry) {
  switch (line.transfer) {
    case Transfer::Nibble:
      if (entry.phase != Phase::Nibble) return 0;
      break;
    case Transfer::Byte:
      if (entry.phase != Phase::Byte || !entry.reversed) return 0;
      break;
    default:
      if (entry.phase != Phase::Forward || !entry.ecp || !entry.reversed) return 0;
      break;
  }
  if (record.count == 0) return 1;
  BYTE* data = PortPointerFrom<BYTE>(record.buffer);
  if (data == nullptr) return 0;
  if (entry.latchOnly) {
    std::memset(data, PortOf(entry).dataLatch, record.count);
    return 1;
  }
  return ReadBytes(calls_, PortOf(entry).port, line.transfer, data, record.count, false).whole ? 1 : 0;
}

DWORD ParportDevice::ReadFrame(const RequestLine& line, const PortRecord& record, Entry& entry, DWORD* moved) {
  if (entry.phase != Phase::Frame || entry.frameTransfer != line.transfer || entry.frameCounted != line.counted) {
    return 0;
  }
  BYTE* data = PortPointerFrom<BYTE>(record.buffer);
  DWORD* countRead = PortPointerFrom<DWORD>(record.countAddress);
  if ((line.counted && countRead == nullptr) || (record.count != 0 && data == nullptr)) return 0;
  if (record.count != 0) {
    // As many library calls as the frame takes, straight into the caller's
    // buffer; a counted frame may end early, even with no byte at all.
    const Moved got = ReadBytes(calls_, PortOf(entry).port, line.transfer, data, record.count, line.counted);
    if (!got.whole) return 0;
    *moved = static_cast<DWORD>(got.bytes);
  }
  if (line.counted) std::memcpy(countRead, moved, sizeof *moved);
  return 1;
}

DWORD ParportDevice::Out(const RequestLine& line, BYTE value, Entry& entry) {
  Port& port = PortOf(entry);
  if (line.call == PortCall::OutControl) {
    // The driver's byte is the PC control register; the library takes line levels.
    calls_.writeControl(port.port, static_cast<unsigned char>(value ^ C1284_INVERTED));
    return 1;
  }
  calls_.dataDir(port.port, 0);
  calls_.writeData(port.port, value);
  port.dataLatch = value;
  // The driver's camera reset ends with this byte.
  entry.probeEcp = true;
  return 1;
}

// ---- entries, reports, trace

ParportDevice::Entry* ParportDevice::Claimed(std::uint64_t address) {
  auto found = entries_.find(address);
  if (found == entries_.end() || found->second.lpt == 0) return nullptr;
  return PortOf(found->second).claimedBy == address ? &found->second : nullptr;
}

void ParportDevice::ReportOnce(const std::string& text) {
  if (!reported_.insert(text).second) return;
  platform::MessageBox(nullptr, ("parport: " + text).c_str(), "ZARNCAP_CAMERA", MB_ICONWARNING);
}

void ParportDevice::Trace(const PortRequest& request, const PortRecord& record, DWORD reply, DWORD moved) const {
  char line[160];
  const char* name = request.name + 11;  // without "IOCTL_PORT_"
  int length = std::snprintf(line, sizeof line, "port %s", name);
  switch (request.layout) {
    case PortRecordLayout::EB:
      length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), " %u", record.value);
      break;
    case PortRecordLayout::EBB:
      length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), " %u,%u", record.value,
                              record.option);
      break;
    case PortRecordLayout::EBC:
    case PortRecordLayout::EBCR:
      length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), " %lu bytes",
                              static_cast<unsigned long>(record.count));
      break;
    default:
      break;
  }
  length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), " -> %lu",
                          static_cast<unsigned long>(reply));
  if (request.layout == PortRecordLayout::EBCR && reply != 0) {
    std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), " (%lu read)",
                  static_cast<unsigned long>(moved));
  }
  platform::DebugOutput(line);
}

std::unique_ptr<platform::PortDeviceBackend> MakeParportDevice(const std::string& options, std::string* error,
                                                               const Ieee1284Calls& calls) {
  ParportOptions parsed;
  if (!ParseParportOptions(options, &parsed, error)) {
    *error = "parport: " + *error;
    return nullptr;
  }
  auto list = std::make_unique<PortList>(calls);
  std::vector<parport*> lpts = list->Chosen(parsed, error);
  if (lpts.empty()) return nullptr;
  return std::make_unique<ParportDevice>(calls, std::move(list), std::move(lpts), parsed.trace);
}

}  // namespace parallel
