// Requests are decoded as the kernel device decodes them (exact record and
// reply lengths; a malformed one fails and changes nothing), looked up in the
// request table, and carried out on the entry's port. A well-formed request
// the port cannot carry out in its present state gets a zero reply.
#include "parport/parport_device.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "parport/port_problems.h"
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
      return Poll(*entry);
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
    int caps = 0;
    const int status = calls_.open(port.port, 0, &caps);
    const int error = errno;
    if (status != E1284_OK) {
      ReportOnce(OpenProblem(port.port, status, error));
      return 0;
    }
    port.caps = caps;
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
  // busy port is a refused claim, never a hang.
  if (const std::string holder = calls_.portHolder(port.port); !holder.empty()) {
    ReportOnce(BusyProblem(port.port, holder));
    return 0;
  }
  if (calls_.claim(port.port) != E1284_OK) {
    ReportOnce(BusyProblem(port.port, ""));
    return 0;
  }
  port.claimedBy = address;
  timeval timeout = {kTransferTimeoutMs / 1000, (kTransferTimeoutMs % 1000) * 1000};
  calls_.setTimeout(port.port, &timeout);
  // ECP when the port has it in hardware and the camera accepts the mode.
  bool ecp = false;
  if ((port.caps & CAP1284_ECP) != 0) {
    const RequestLine* line = FindRequestLine(IOCTL_PORT_CLAIM, 0, 0);
    ecp = calls_.negotiate(port.port, line->ieeeMode) == E1284_OK;
    calls_.terminate(port.port);
  }
  SetPortEntryFlag(address, PORT_FLAG_ECP, ecp);
  entry.phase = Phase::Idle;
  return 1;
}

DWORD ParportDevice::Release(Entry& entry) {
  EndPhase(entry);
  calls_.release(PortOf(entry).port);
  PortOf(entry).claimedBy = 0;
  Detach(entry);
  return 1;
}

DWORD ParportDevice::Poll(Entry& entry) {
  const int status = calls_.readStatus(PortOf(entry).port);
  return status >= 0 && (status & S1284_NFAULT) == 0 ? 1 : 0;
}

// ---- phases

void ParportDevice::EndPhase(Entry& entry) {
  parport* port = PortOf(entry).port;
  if (entry.reversed && !entry.latchOnly && entry.phase == Phase::Byte) calls_.dataDir(port, 0);
  if (entry.phase != Phase::Idle && entry.phase != Phase::Compat) calls_.terminate(port);
  entry.phase = Phase::Idle;
  entry.reversed = false;
  entry.latchOnly = false;
  entry.frameTransfer = Transfer::None;
  entry.frameCounted = false;
}

DWORD ParportDevice::Negotiate(const RequestLine& line, const PortRecord& record, Entry& entry) {
  EndPhase(entry);
  parport* port = PortOf(entry).port;
  switch (line.call) {
    case PortCall::NegotiateForward:
      if ((ReadPortEntryFlags(record.entry) & PORT_FLAG_ECP) == 0) {
        entry.phase = Phase::Compat;  // compatibility mode needs no negotiation
        return 1;
      }
      if (calls_.negotiate(port, line.ieeeMode) != E1284_OK) return 0;
      entry.phase = Phase::Ecp;
      return 1;
    case PortCall::NegotiateIdByte:
      return NegotiateIdByte(line, entry);
    default:
      if (calls_.negotiate(port, line.ieeeMode) != E1284_OK) return 0;
      entry.phase = Phase::Nibble;
      return 1;
  }
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
  parport* port = PortOf(entry).port;
  const int request = FrameRequestValue(record.value, record.option);
  if (calls_.negotiate(port, M1284_FLAG_EXT_LINK | request) != E1284_OK) return 0;
  calls_.terminate(port);
  if (calls_.negotiate(port, line.ieeeMode) != E1284_OK) return 0;
  entry.phase = Phase::Frame;  // from here EndPhase terminates
  const bool turned = line.transfer == Transfer::Ecp   ? calls_.ecpFwdToRev(port) == E1284_OK
                      : line.transfer == Transfer::Byte ? calls_.dataDir(port, 1) >= 0
                                                        : true;
  if (!turned) {
    EndPhase(entry);
    return 0;
  }
  entry.frameTransfer = line.transfer;
  entry.frameCounted = line.counted;
  return 1;
}

DWORD ParportDevice::Reverse(const RequestLine& line, Entry& entry) {
  if (entry.reversed) return 0;
  Port& port = PortOf(entry);
  switch (entry.phase) {
    case Phase::Ecp:
      if (calls_.ecpFwdToRev(port.port) != E1284_OK) return 0;
      break;
    case Phase::Compat:
      if ((port.caps & CAP1284_BYTE) == 0) {
        entry.phase = Phase::Byte;
        entry.latchOnly = true;  // the direction bit is taken; the lines stay driven
        break;
      }
      if (calls_.negotiate(port.port, line.ieeeMode) != E1284_OK) return 0;
      entry.phase = Phase::Byte;
      if (calls_.dataDir(port.port, 1) < 0) return 0;
      break;
    case Phase::Byte:
      if (!entry.latchOnly && calls_.dataDir(port.port, 1) < 0) return 0;
      break;
    default:
      return 0;
  }
  entry.reversed = true;
  return 1;
}

// ---- data

DWORD ParportDevice::WriteCommand(const RequestLine& line, BYTE command, Entry& entry) {
  Port& port = PortOf(entry);
  const char byte = static_cast<char>(command);
  ssize_t written = 0;
  if (line.transfer == Transfer::Ecp) {
    if (entry.phase != Phase::Ecp || entry.reversed) return 0;
    written = calls_.ecpWriteAddr(port.port, 0, &byte, 1);
  } else {
    if (entry.phase != Phase::Compat) return 0;
    calls_.frobControl(port.port, C1284_NAUTOFD, 0);
    written = calls_.compatWrite(port.port, 0, &byte, 1);
    calls_.frobControl(port.port, C1284_NAUTOFD, C1284_NAUTOFD);
  }
  port.dataLatch = command;
  return written == 1 ? 1 : 0;
}

DWORD ParportDevice::WriteBlock(const RequestLine& line, const PortRecord& record, Entry& entry) {
  const bool ecp = line.transfer == Transfer::Ecp;
  if (entry.phase != (ecp ? Phase::Ecp : Phase::Compat) || entry.reversed) return 0;
  if (record.count == 0) return 1;  // nothing moves on the cable
  const char* data = PortPointerFrom<const char>(record.buffer);
  if (data == nullptr) return 0;
  Port& port = PortOf(entry);
  const ssize_t written = ecp ? calls_.ecpWriteData(port.port, 0, data, record.count)
                              : calls_.compatWrite(port.port, 0, data, record.count);
  port.dataLatch = static_cast<unsigned char>(data[record.count - 1]);
  return written == static_cast<ssize_t>(record.count) ? 1 : 0;
}

ssize_t ParportDevice::Read(Transfer transfer, parport* port, BYTE* data, DWORD count) {
  char* buffer = reinterpret_cast<char*>(data);
  switch (transfer) {
    case Transfer::Nibble:
      return calls_.nibbleRead(port, 0, buffer, count);
    case Transfer::Byte:
      return calls_.byteRead(port, 0, buffer, count);
    case Transfer::Ecp:
      return calls_.ecpReadData(port, 0, buffer, count);
    default:
      return E1284_NOTIMPL;
  }
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
      if (entry.phase != Phase::Ecp || !entry.reversed) return 0;
      break;
  }
  if (record.count == 0) return 1;
  BYTE* data = PortPointerFrom<BYTE>(record.buffer);
  if (data == nullptr) return 0;
  if (entry.latchOnly) {
    std::memset(data, PortOf(entry).dataLatch, record.count);
    return 1;
  }
  return Read(line.transfer, PortOf(entry).port, data, record.count) == static_cast<ssize_t>(record.count) ? 1 : 0;
}

DWORD ParportDevice::ReadFrame(const RequestLine& line, const PortRecord& record, Entry& entry, DWORD* moved) {
  if (entry.phase != Phase::Frame || entry.frameTransfer != line.transfer || entry.frameCounted != line.counted) {
    return 0;
  }
  BYTE* data = PortPointerFrom<BYTE>(record.buffer);
  DWORD* countRead = PortPointerFrom<DWORD>(record.countAddress);
  if ((line.counted && countRead == nullptr) || (record.count != 0 && data == nullptr)) return 0;
  if (record.count != 0) {
    // The whole frame in one call, straight into the caller's buffer.
    const ssize_t got = Read(line.transfer, PortOf(entry).port, data, record.count);
    if (got <= 0 || (!line.counted && got != static_cast<ssize_t>(record.count))) return 0;
    *moved = static_cast<DWORD>(got);
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
