// The virtual kernel port device. It behaves as the real device would towards a
// host that may send anything: a request is first decoded from its bytes (code,
// exact record length, exact reply length); a malformed one fails the call and
// changes nothing. A well-formed request the port cannot carry out in its
// present state is answered with a zero reply.
#include "sim/port_device_sim.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

std::size_t RequestIndex(const PortRequest& request) {
  return static_cast<std::size_t>(&request - kPortRequests);
}

// The extensibility byte IEEE 1284 negotiation puts on the data lines for each
// of the driver's mode bytes; the port's data latch keeps it afterwards.
BYTE ExtensibilityByte(BYTE mode, bool ecp) {
  switch (mode) {
    case PORT_NEGOTIATE_NIBBLE_DATA:
      return 0x00;
    case PORT_NEGOTIATE_FORWARD:
      return ecp ? 0x10 : 0x01;
    case PORT_NEGOTIATE_ID_NIBBLE:
      return 0x04;
    default:  // PORT_NEGOTIATE_ID_BYTE
      return 0x05;
  }
}

bool IsNegotiateMode(BYTE mode) {
  return mode == PORT_NEGOTIATE_NIBBLE_DATA || mode == PORT_NEGOTIATE_FORWARD || mode == PORT_NEGOTIATE_ID_NIBBLE ||
         mode == PORT_NEGOTIATE_ID_BYTE;
}

BYTE FrameModeFor(ReverseMode mode) {
  switch (mode) {
    case ReverseMode::Nibble:
      return PORT_FRAME_NIBBLE;
    case ReverseMode::Byte:
      return PORT_FRAME_BYTE;
    case ReverseMode::Ecp:
      return PORT_FRAME_ECP;
  }
  return 0;
}

}  // namespace

std::string DeviceIdStream(const std::string& text) {
  std::size_t length = std::min<std::size_t>(text.size(), 0xFFFF - 2);
  std::string stream;
  stream.reserve(length + 2);
  stream += static_cast<char>(((length + 2) >> 8) & 0xFF);
  stream += static_cast<char>((length + 2) & 0xFF);
  stream.append(text, 0, length);
  return stream;
}

VirtualPortDevice::VirtualPortDevice(const SimConfig& config, std::unique_ptr<CameraLink> camera)
    : config_(config), camera_(std::move(camera)), idStream_(DeviceIdStream(camera_->DeviceIdText())) {
  log_.reserve(kDefaultLogCapacity);
}

// ---- decoding

bool VirtualPortDevice::Injected(std::size_t requestIndex) {
  std::uint32_t count = ++requestCounts_[requestIndex];
  for (const FailRule& rule : config_.fail) {
    if (rule.code == kPortRequests[requestIndex].code && (rule.nth == 0 || rule.nth == count)) return true;
  }
  return false;
}

BOOL VirtualPortDevice::Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                                DWORD* bytesReturned) {
  std::lock_guard lock(mutex_);
  if (bytesReturned != nullptr) *bytesReturned = 0;

  RequestRecord log;
  log.code = code;
  log.inLength = inLength;
  log.outLength = outLength;
  if (in != nullptr) std::memcpy(log.input.data(), in, log.InputStored());

  const PortRequest* request = FindPortRequest(code);
  if (request != nullptr) {
    log.name = RequestShortName(code);
    if (Injected(RequestIndex(*request))) {
      log.injected = true;
    } else if (DecodeWellFormedRequest(*request, in, inLength, out, outLength, &log.fields)) {
      log.decoded = true;
      log.reply = Execute(*request, log.fields);
      if (request->hasReply) {
        std::memcpy(out, &log.reply, kPortReplyLength);
        if (bytesReturned != nullptr) *bytesReturned = kPortReplyLength;
        log.result = TRUE;
      } else {
        log.result = log.reply != 0 ? TRUE : FALSE;
      }
    }
  }
  Record(log);
  return log.result;
}

DWORD VirtualPortDevice::Execute(const PortRequest& request, const PortRecord& record) {
  switch (request.code) {
    case IOCTL_PORT_ATTACH:
      return Attach(record);
    case IOCTL_PORT_CLAIM:
      return Claim(record);
    default:
      break;
  }
  // Everything else needs the port taken for this entry.
  EntryState* entry = Claimed(record.entry);
  if (entry == nullptr) return 0;
  switch (request.code) {
    case IOCTL_PORT_RELEASE:
      return Release(*entry);
    case IOCTL_PORT_POLL:
      return CameraOn(*entry) && camera_->FrameReady() ? 1 : 0;
    case IOCTL_PORT_NEGOTIATE:
      return Negotiate(*entry, record.value);
    case IOCTL_PORT_TERMINATE:
      if (entry->phase != PortPhase::Negotiated) return 0;
      EndPhase(*entry);
      return 1;
    case IOCTL_PORT_FRAME_BEGIN:
      return FrameBegin(*entry, record.value, record.option);
    case IOCTL_PORT_FRAME_END:
      return FrameEnd(*entry);
    case IOCTL_PORT_REVERSE:
      return Reverse(*entry);
    case IOCTL_PORT_ECP_WRITE_CMD:
      return WriteCommand(*entry, record.value, true);
    case IOCTL_PORT_COMPAT_WRITE_CMD:
      return WriteCommand(*entry, record.value, false);
    case IOCTL_PORT_ECP_WRITE:
      return WriteBlock(*entry, record, true);
    case IOCTL_PORT_COMPAT_WRITE:
      return WriteBlock(*entry, record, false);
    case IOCTL_PORT_ECP_READ:
      return ReadBlock(*entry, record, ReverseMode::Ecp);
    case IOCTL_PORT_BYTE_READ:
      return ReadBlock(*entry, record, ReverseMode::Byte);
    case IOCTL_PORT_NIBBLE_READ:
      return ReadBlock(*entry, record, ReverseMode::Nibble);
    case IOCTL_PORT_ECP_READ_FRAME:
      return ReadFrame(*entry, record, ReverseMode::Ecp, false);
    case IOCTL_PORT_ECP_READ_FRAME_VAR:
      return ReadFrame(*entry, record, ReverseMode::Ecp, true);
    case IOCTL_PORT_BYTE_READ_FRAME:
      return ReadFrame(*entry, record, ReverseMode::Byte, false);
    case IOCTL_PORT_BYTE_READ_FRAME_VAR:
      return ReadFrame(*entry, record, ReverseMode::Byte, true);
    case IOCTL_PORT_NIBBLE_READ_FRAME:
      return ReadFrame(*entry, record, ReverseMode::Nibble, false);
    case IOCTL_PORT_NIBBLE_READ_FRAME_VAR:
      return ReadFrame(*entry, record, ReverseMode::Nibble, true);
    case IOCTL_PORT_OUT_A:
      if (CameraOn(*entry)) camera_->OutputA(record.value);
      return 1;
    case IOCTL_PORT_OUT_B:
      if (CameraOn(*entry)) camera_->OutputB(record.value);
      return 1;
    default:
      return 0;
  }
}

// ---- entries and ports

VirtualPortDevice::EntryState* VirtualPortDevice::Find(std::uint64_t address) {
  auto found = entries_.find(address);
  return found == entries_.end() ? nullptr : &found->second;
}

VirtualPortDevice::EntryState* VirtualPortDevice::Claimed(std::uint64_t address) {
  EntryState* entry = Find(address);
  return entry != nullptr && entry->claimed ? entry : nullptr;
}

bool VirtualPortDevice::CameraOn(const EntryState& entry) const {
  return config_.port != kNoPort && entry.lpt == config_.port && camera_->Present();
}

bool VirtualPortDevice::Can(PortCapability needed) const {
  switch (needed) {
    case PortCapability::Ecp:
      return config_.mode == PortCapability::Ecp;
    case PortCapability::Byte:
      return config_.mode == PortCapability::Ecp || config_.mode == PortCapability::Byte;
    default:
      return true;
  }
}

DWORD VirtualPortDevice::Attach(const PortRecord& record) {
  int lpt = record.value;
  if (lpt < 1 || lpt > 3) return 0;
  EntryState* entry = Find(record.entry);
  if (entry == nullptr) {
    if (entries_.size() >= kMaxEntries) return 0;
    entry = &entries_[record.entry];
  }
  // A claimed entry stays bound to its port until it is released.
  if (entry->claimed && entry->lpt != lpt) return 0;
  entry->lpt = lpt;
  return 1;
}

DWORD VirtualPortDevice::Claim(const PortRecord& record) {
  EntryState* entry = Find(record.entry);
  if (entry == nullptr || entry->lpt == 0) return 0;
  std::uint64_t& holder = claimedBy_[static_cast<std::size_t>(entry->lpt)];
  if (holder != 0 && holder != record.entry) return 0;  // another entry has the port
  holder = record.entry;
  entry->claimed = true;
  // The device reports what the port and the peripheral on it can do; nobody
  // else sets or clears the ECP bit.
  SetPortEntryFlag(record.entry, PORT_FLAG_ECP, CameraOn(*entry) && Can(PortCapability::Ecp));
  return 1;
}

DWORD VirtualPortDevice::Release(EntryState& entry) {
  EndPhase(entry);
  entry.claimed = false;
  claimedBy_[static_cast<std::size_t>(entry.lpt)] = 0;
  return 1;
}

// ---- phases

void VirtualPortDevice::EndPhase(EntryState& entry) {
  if (entry.phase == PortPhase::Frame && CameraOn(entry)) camera_->EndFrame();
  entry.phase = PortPhase::Idle;
  entry.mode = 0;
  entry.option = 0;
  entry.reversed = false;
  entry.idPosition = 0;
}

DWORD VirtualPortDevice::Negotiate(EntryState& entry, BYTE mode) {
  if (!IsNegotiateMode(mode)) return 0;
  // A new negotiation first takes the port back to compatibility mode.
  EndPhase(entry);
  dataLatch_[static_cast<std::size_t>(entry.lpt)] = ExtensibilityByte(mode, Can(PortCapability::Ecp));
  if (!CameraOn(entry)) return 0;  // nobody answers the negotiation
  entry.phase = PortPhase::Negotiated;
  entry.mode = mode;
  return 1;
}

DWORD VirtualPortDevice::FrameBegin(EntryState& entry, BYTE mode, BYTE option) {
  if (mode != PORT_FRAME_NIBBLE && mode != PORT_FRAME_BYTE && mode != PORT_FRAME_ECP) return 0;
  if (option != PORT_FRAME_FIXED && option != PORT_FRAME_COUNTED) return 0;
  EndPhase(entry);
  if (!CameraOn(entry)) return 0;
  if (mode == PORT_FRAME_ECP && !Can(PortCapability::Ecp)) return 0;  // the port has no ECP mode
  if (!camera_->BeginFrame(mode, option)) return 0;
  entry.phase = PortPhase::Frame;
  entry.mode = mode;
  entry.option = option;
  return 1;
}

DWORD VirtualPortDevice::FrameEnd(EntryState& entry) {
  if (entry.phase != PortPhase::Frame) return 0;
  bool ended = CameraOn(entry) && camera_->EndFrame();
  entry.phase = PortPhase::Idle;
  entry.mode = 0;
  entry.option = 0;
  return ended ? 1 : 0;
}

DWORD VirtualPortDevice::Reverse(EntryState& entry) {
  if (entry.phase != PortPhase::Negotiated) return 0;
  if (entry.mode != PORT_NEGOTIATE_FORWARD && entry.mode != PORT_NEGOTIATE_ID_BYTE) return 0;
  // A port that cannot turn its data lines round takes the direction bit all the
  // same; reads then see the host's own latch.
  entry.reversed = true;
  return 1;
}

// ---- data

DWORD VirtualPortDevice::WriteCommand(EntryState& entry, BYTE command, bool ecp) {
  if (entry.phase != PortPhase::Negotiated || entry.mode != PORT_NEGOTIATE_FORWARD || entry.reversed) return 0;
  if (ecp && !Can(PortCapability::Ecp)) return 0;
  if (!CameraOn(entry)) return 0;
  dataLatch_[static_cast<std::size_t>(entry.lpt)] = command;
  return camera_->Command(command) ? 1 : 0;
}

DWORD VirtualPortDevice::WriteBlock(EntryState& entry, const PortRecord& record, bool ecp) {
  if (entry.phase != PortPhase::Negotiated || entry.mode != PORT_NEGOTIATE_FORWARD || entry.reversed) return 0;
  if (ecp && !Can(PortCapability::Ecp)) return 0;
  if (!CameraOn(entry)) return 0;
  if (record.count == 0) return 1;  // nothing moves on the wire
  const BYTE* data = PortPointerFrom<const BYTE>(record.buffer);
  if (data == nullptr) return 0;
  dataLatch_[static_cast<std::size_t>(entry.lpt)] = data[record.count - 1];
  return camera_->Write(data, record.count) ? 1 : 0;
}

DWORD VirtualPortDevice::ReadDeviceId(EntryState& entry, BYTE* data, DWORD count) {
  // The peripheral has nothing more to send once the ID is out.
  if (idStream_.size() - entry.idPosition < count) return 0;
  std::memcpy(data, idStream_.data() + entry.idPosition, count);
  entry.idPosition += count;
  return 1;
}

DWORD VirtualPortDevice::ReadBlock(EntryState& entry, const PortRecord& record, ReverseMode mode) {
  if (entry.phase != PortPhase::Negotiated || !CameraOn(entry)) return 0;
  bool idPhase = false;
  switch (mode) {
    case ReverseMode::Nibble:
      if (entry.mode != PORT_NEGOTIATE_NIBBLE_DATA && entry.mode != PORT_NEGOTIATE_ID_NIBBLE) return 0;
      idPhase = entry.mode == PORT_NEGOTIATE_ID_NIBBLE;
      break;
    case ReverseMode::Byte:
      if (!entry.reversed) return 0;
      idPhase = entry.mode == PORT_NEGOTIATE_ID_BYTE;
      break;
    case ReverseMode::Ecp:
      if (!entry.reversed || entry.mode != PORT_NEGOTIATE_FORWARD || !Can(PortCapability::Ecp)) return 0;
      break;
  }
  if (record.count == 0) return 1;
  BYTE* data = PortPointerFrom<BYTE>(record.buffer);
  if (data == nullptr) return 0;
  if (mode == ReverseMode::Byte && !DataLinesTurn()) {
    // The data lines stay driven by the host: every byte reads back its latch.
    std::memset(data, dataLatch_[static_cast<std::size_t>(entry.lpt)], record.count);
    return 1;
  }
  if (idPhase) return ReadDeviceId(entry, data, record.count);
  if (mode == ReverseMode::Byte && config_.mode == PortCapability::ByteUnreliable) return 0;
  return camera_->Read(data, record.count, mode) ? 1 : 0;
}

DWORD VirtualPortDevice::ReadFrame(EntryState& entry, const PortRecord& record, ReverseMode mode, bool counted) {
  if (entry.phase != PortPhase::Frame || !CameraOn(entry)) return 0;
  if (entry.mode != FrameModeFor(mode)) return 0;
  if (entry.option != (counted ? PORT_FRAME_COUNTED : PORT_FRAME_FIXED)) return 0;
  BYTE* data = PortPointerFrom<BYTE>(record.buffer);
  DWORD* countRead = PortPointerFrom<DWORD>(record.countAddress);
  if (counted && countRead == nullptr) return 0;
  if (record.count != 0 && data == nullptr) return 0;

  DWORD moved = 0;
  if (record.count == 0) {
    moved = 0;
  } else if (mode == ReverseMode::Byte && !DataLinesTurn()) {
    std::memset(data, dataLatch_[static_cast<std::size_t>(entry.lpt)], record.count);
    moved = record.count;
  } else if (mode == ReverseMode::Byte && config_.mode == PortCapability::ByteUnreliable) {
    return 0;
  } else {
    moved = camera_->ReadFrame(data, record.count, counted, mode);
    // A counted read passes on the length the camera reports, even one longer
    // than the buffer (a camera at fault; the driver must not believe it).
    if (counted ? moved == 0 : moved != record.count) return 0;
  }
  if (counted) std::memcpy(countRead, &moved, sizeof moved);
  return 1;
}

// ---- the log

void VirtualPortDevice::Record(const RequestRecord& record) {
  if (log_.size() < log_.capacity()) {
    log_.push_back(record);
  } else {
    ++logDropped_;
  }
}

std::vector<RequestRecord> VirtualPortDevice::Log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<RequestRecord> VirtualPortDevice::LogOf(const std::string& name) const {
  std::lock_guard lock(mutex_);
  std::vector<RequestRecord> selected;
  for (const RequestRecord& record : log_) {
    if (name == record.name) selected.push_back(record);
  }
  return selected;
}

void VirtualPortDevice::ClearLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
  logDropped_ = 0;
}

std::size_t VirtualPortDevice::LogDropped() const {
  std::lock_guard lock(mutex_);
  return logDropped_;
}

std::size_t VirtualPortDevice::LogCapacity() const {
  std::lock_guard lock(mutex_);
  return log_.capacity();
}

std::optional<EntryStatus> VirtualPortDevice::Entry(const void* entry) const {
  std::lock_guard lock(mutex_);
  auto found = entries_.find(PortAddressOf(entry));
  if (found == entries_.end()) return std::nullopt;
  const EntryState& state = found->second;
  return EntryStatus{state.lpt, state.claimed, state.phase, state.mode, state.option, state.reversed};
}

std::unique_ptr<platform::PortDeviceBackend> MakeVirtualPortDevice(const std::string& options, std::string* error,
                                                                   CameraMaker maker) {
  SimConfig config;
  std::string why;
  if (!ParseSimConfig(options, &config, &why)) {
    if (error != nullptr) *error = why;
    return nullptr;
  }
  std::unique_ptr<CameraLink> camera = maker != nullptr ? maker(config) : nullptr;
  if (camera == nullptr) {
    if (error != nullptr) *error = "sim: the virtual camera could not be made";
    return nullptr;
  }
  return std::make_unique<VirtualPortDevice>(config, std::move(camera));
}

}  // namespace sim
