// Sends requests to a port device (virtual or not) the way the driver's wrappers do:
// packed records at this build's address width, a 4-byte reply or none.
#pragma once

#include <cstring>

#include "port/port_records.h"
#include "sim/port_device_sim.h"

namespace simtest {

class DeviceHost {
 public:
  explicit DeviceHost(platform::PortDeviceBackend& device) : device_(device) {}

  // The reply (or, for the three requests without one, the call's result); 0
  // when the call failed.
  DWORD Send(DWORD code, PortEntry* entry, BYTE value = 0, BYTE option = 0, const void* buffer = nullptr,
             DWORD count = 0, DWORD* countRead = nullptr) {
    const PortRequest* request = FindPortRequest(code);
    PortRecord record;
    record.entry = PortAddressOf(entry);
    record.value = value;
    record.option = option;
    record.buffer = PortAddressOf(buffer);
    record.count = count;
    record.countAddress = PortAddressOf(countRead);
    BYTE in[kPortRecordMaxLength];
    DWORD inLength = static_cast<DWORD>(EncodePortRecord(request->layout, kPortAddressWidth, record, in));
    DWORD bytes = 0;
    if (!request->hasReply) return device_.Control(code, in, inLength, nullptr, 0, &bytes);
    DWORD reply = 0;
    return device_.Control(code, in, inLength, &reply, kPortReplyLength, &bytes) ? reply : 0;
  }

  // Attach and claim in one go.
  bool Open(PortEntry* entry, BYTE lpt) {
    return Send(IOCTL_PORT_ATTACH, entry, lpt) != 0 && Send(IOCTL_PORT_CLAIM, entry) != 0;
  }

 private:
  platform::PortDeviceBackend& device_;
};

}  // namespace simtest
