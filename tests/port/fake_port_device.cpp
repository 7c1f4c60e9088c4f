#include "support/environment.h"
#include "port/fake_port_device.h"
#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/platform.h"

namespace {

std::unique_ptr<platform::PortDeviceBackend> MakeFake(const std::string&, std::string*) {
  return std::make_unique<FakePortDevice>();
}

bool IsRead(DWORD code) {
  const PortRequest* request = FindPortRequest(code);
  return request != nullptr && request->flow == PortDataFlow::FromDevice;
}

}  // namespace

void FakePortDevice::Install() {
  platform::RegisterPortDeviceBackend(kName, MakeFake);
  testsupport::SetEnvironment("ZARNCAP_CAMERA", kName);
}

FakePortDevice* FakePortDevice::Current() { return dynamic_cast<FakePortDevice*>(platform::OpenPortDeviceBackend()); }

long long FakePortDevice::NextReply(DWORD code) {
  auto found = replies_.find(code);
  if (found == replies_.end() || found->second.empty()) return 1;
  long long reply = found->second.front();
  found->second.pop_front();
  return reply;
}

BOOL FakePortDevice::Control(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                             DWORD* bytesReturned) {
  RecordedRequest entry{code, {}, outLength, out == nullptr, {}};
  const BYTE* bytes = static_cast<const BYTE*>(in);
  if (bytes != nullptr) entry.in.assign(bytes, bytes + inLength);
  const PortRequest* request = FindPortRequest(code);
  bool decoded = request != nullptr &&
                 DecodePortRecord(request->layout, kPortAddressWidth, bytes, inLength, &entry.record);
  log.push_back(entry);
  // A real device refuses a record it cannot read.
  if (!decoded) return FALSE;

  long long reply = NextReply(code);
  if (reply == kCallFails) {
    if (out != nullptr && outLength >= sizeof(DWORD)) *static_cast<DWORD*>(out) = 1;
    return FALSE;
  }
  if (reply != 0 || serveRefused) Serve(code, entry.record);
  if (out != nullptr && outLength >= sizeof(DWORD)) {
    *static_cast<DWORD*>(out) = static_cast<DWORD>(reply);
    *bytesReturned = sizeof(DWORD);
  } else {
    *bytesReturned = 0;
  }
  // Requests without a reply report success through the call itself.
  return request->hasReply ? TRUE : (reply != 0 ? TRUE : FALSE);
}

void FakePortDevice::Serve(DWORD code, const PortRecord& record) {
  PortEntry* portEntry = PortPointerFrom<PortEntry>(record.entry);
  if (code == IOCTL_PORT_ATTACH) {
    portEntry->PortFlags = static_cast<WORD>(portEntry->PortFlags | flagsOnAttach);
    std::memset(portEntry->reserved, reservedPattern, sizeof(portEntry->reserved));
  } else if (code == IOCTL_PORT_NEGOTIATE || code == IOCTL_PORT_FRAME_BEGIN) {
    auto found = streams.find(record.value);
    if (found == streams.end() && record.value == PORT_NEGOTIATE_ID_BYTE) {
      found = streams.find(PORT_NEGOTIATE_ID_NIBBLE);
    }
    stream_ = found == streams.end() ? nullptr : &found->second;
    cursor_ = 0;
  } else if (code == IOCTL_PORT_ECP_WRITE_CMD || code == IOCTL_PORT_COMPAT_WRITE_CMD) {
    written.push_back(record.value);
  } else if (code == IOCTL_PORT_ECP_WRITE || code == IOCTL_PORT_COMPAT_WRITE) {
    const BYTE* data = PortPointerFrom<const BYTE>(record.buffer);
    written.insert(written.end(), data, data + record.count);
  } else if (IsRead(code)) {
    BYTE* data = PortPointerFrom<BYTE>(record.buffer);
    std::size_t available = stream_ == nullptr || cursor_ >= stream_->size() ? 0 : stream_->size() - cursor_;
    bool counted = FindPortRequest(code)->layout == PortRecordLayout::EBCR;
    std::size_t n = record.count;
    if (counted && n > available) n = available;
    for (std::size_t i = 0; i < n; ++i) data[i] = i < available ? (*stream_)[cursor_ + i] : 0;
    cursor_ += n;
    if (counted) *PortPointerFrom<DWORD>(record.countAddress) = static_cast<DWORD>(n);
  }
}

std::vector<std::string> FakePortDevice::Trace() const {
  std::vector<std::string> lines;
  for (const RecordedRequest& request : log) {
    const PortRequest* info = FindPortRequest(request.code);
    if (info == nullptr) {
      lines.push_back("unknown " + std::to_string(request.code));
      continue;
    }
    std::string line = std::string(info->name).substr(std::strlen("IOCTL_PORT_"));
    switch (info->layout) {
      case PortRecordLayout::E:
        break;
      case PortRecordLayout::EB:
        line += " " + std::to_string(request.record.value);
        break;
      case PortRecordLayout::EBB:
        line += " " + std::to_string(request.record.value) + "/" + std::to_string(request.record.option);
        break;
      case PortRecordLayout::EBC:
      case PortRecordLayout::EBCR:
        line += " " + std::to_string(request.record.count);
        break;
    }
    lines.push_back(line);
  }
  return lines;
}

std::vector<BYTE> DeviceIdBytes(const std::string& text) {
  std::size_t length = text.size() + 2;
  std::vector<BYTE> bytes(length);
  bytes[0] = static_cast<BYTE>(length >> 8);
  bytes[1] = static_cast<BYTE>(length & 0xFF);
  std::copy(text.begin(), text.end(), bytes.begin() + 2);
  return bytes;
}
