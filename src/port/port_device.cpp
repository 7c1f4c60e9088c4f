// Opening and closing \\.\VidCap0 and the 24 request wrappers. Every wrapper
// has the same shape: pack the record, send it with a 4-byte reply buffer (or
// none), and hand back the reply, or 0 when the call itself failed.
#include "port/port_device.h"

#include "core/driver_state.h"
#include "platform/platform.h"

namespace {

// Appends text to out (size WCHARs) from position at; keeps the terminator.
std::size_t AppendWide(WCHAR* out, std::size_t size, std::size_t at, const char* text) {
  while (*text != '\0' && at + 1 < size) out[at++] = static_cast<WCHAR>(*text++);
  out[at] = 0;
  return at;
}

std::size_t AppendWide(WCHAR* out, std::size_t size, std::size_t at, const WCHAR* text) {
  while (*text != 0 && at + 1 < size) out[at++] = *text++;
  out[at] = 0;
  return at;
}

std::size_t AppendDecimal(WCHAR* out, std::size_t size, std::size_t at, int value) {
  char digits[16];
  std::size_t n = 0;
  // Work on the magnitude as unsigned so the most negative int is safe.
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[n++] = '-';
  char text[16];
  for (std::size_t i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = '\0';
  return AppendWide(out, size, at, text);
}

DWORD SendRequest(DWORD code, const PortRecord& record) {
  const PortRequest* request = FindPortRequest(code);
  if (request == nullptr) return 0;
  BYTE in[kPortRecordMaxLength];
  DWORD inLength = static_cast<DWORD>(EncodePortRecord(request->layout, kPortAddressWidth, record, in));
  DWORD bytesReturned = 0;
  if (!request->hasReply) {
    return platform::DeviceIoControl(Driver().portDevice, code, in, inLength, nullptr, 0, &bytesReturned) ? TRUE
                                                                                                         : FALSE;
  }
  DWORD reply = 0;
  BOOL ok = platform::DeviceIoControl(Driver().portDevice, code, in, inLength, &reply, kPortReplyLength,
                                      &bytesReturned);
  return ok ? reply : 0;
}

PortRecord EntryRecord(PortEntry* entry) {
  PortRecord record;
  record.entry = PortAddressOf(entry);
  return record;
}

PortRecord ValueRecord(PortEntry* entry, BYTE value) {
  PortRecord record = EntryRecord(entry);
  record.value = value;
  return record;
}

PortRecord BufferRecord(PortEntry* entry, const BYTE* buffer, DWORD count) {
  PortRecord record = EntryRecord(entry);
  record.buffer = PortAddressOf(buffer);
  record.count = count;
  return record;
}

PortRecord CountedRecord(PortEntry* entry, BYTE* buffer, DWORD count, DWORD* countRead) {
  PortRecord record = BufferRecord(entry, buffer, count);
  record.countAddress = PortAddressOf(countRead);
  return record;
}

}  // namespace

void FormatPortDeviceName(int index, WCHAR* out) {
  // Two steps, as the device's name is always put together: "VidCap<n>" first,
  // then the "\\.\" prefix around it.
  WCHAR baseName[kPortDeviceNameSize];
  std::size_t at = AppendWide(baseName, kPortDeviceNameSize, 0, "VidCap");
  AppendDecimal(baseName, kPortDeviceNameSize, at, index);
  at = AppendWide(out, kPortDeviceNameSize, 0, "\\\\.\\");
  AppendWide(out, kPortDeviceNameSize, at, baseName);
}

HANDLE OpenPortDevice(int index) {
  WCHAR name[kPortDeviceNameSize];
  FormatPortDeviceName(index, name);
  return platform::CreatePortDevice(name);
}

void ClosePortDevice(HANDLE device) {
  if (device == INVALID_HANDLE_VALUE) return;
  platform::CloseHandle(device);
}

DWORD PortAttach(PortEntry* entry, BYTE lptNumber) {
  return SendRequest(IOCTL_PORT_ATTACH, ValueRecord(entry, lptNumber));
}
DWORD PortClaim(PortEntry* entry) { return SendRequest(IOCTL_PORT_CLAIM, EntryRecord(entry)); }
DWORD PortRelease(PortEntry* entry) { return SendRequest(IOCTL_PORT_RELEASE, EntryRecord(entry)); }
DWORD PortPoll(PortEntry* entry) { return SendRequest(IOCTL_PORT_POLL, EntryRecord(entry)); }
DWORD PortNegotiate(PortEntry* entry, BYTE mode) {
  return SendRequest(IOCTL_PORT_NEGOTIATE, ValueRecord(entry, mode));
}
DWORD PortTerminate(PortEntry* entry) { return SendRequest(IOCTL_PORT_TERMINATE, EntryRecord(entry)); }
DWORD PortFrameBegin(PortEntry* entry, BYTE mode, BYTE option) {
  PortRecord record = ValueRecord(entry, mode);
  record.option = option;
  return SendRequest(IOCTL_PORT_FRAME_BEGIN, record);
}
DWORD PortFrameEnd(PortEntry* entry) { return SendRequest(IOCTL_PORT_FRAME_END, EntryRecord(entry)); }
DWORD PortReverse(PortEntry* entry) { return SendRequest(IOCTL_PORT_REVERSE, EntryRecord(entry)); }
DWORD PortEcpWriteCommand(PortEntry* entry, BYTE command) {
  return SendRequest(IOCTL_PORT_ECP_WRITE_CMD, ValueRecord(entry, command));
}
DWORD PortEcpWrite(PortEntry* entry, const BYTE* buffer, DWORD count) {
  return SendRequest(IOCTL_PORT_ECP_WRITE, BufferRecord(entry, buffer, count));
}
DWORD PortEcpRead(PortEntry* entry, BYTE* buffer, DWORD count) {
  return SendRequest(IOCTL_PORT_ECP_READ, BufferRecord(entry, buffer, count));
}
DWORD PortCompatWriteCommand(PortEntry* entry, BYTE command) {
  return SendRequest(IOCTL_PORT_COMPAT_WRITE_CMD, ValueRecord(entry, command));
}
DWORD PortCompatWrite(PortEntry* entry, const BYTE* buffer, DWORD count) {
  return SendRequest(IOCTL_PORT_COMPAT_WRITE, BufferRecord(entry, buffer, count));
}
DWORD PortByteRead(PortEntry* entry, BYTE* buffer, DWORD count) {
  return SendRequest(IOCTL_PORT_BYTE_READ, BufferRecord(entry, buffer, count));
}
DWORD PortNibbleRead(PortEntry* entry, BYTE* buffer, DWORD count) {
  return SendRequest(IOCTL_PORT_NIBBLE_READ, BufferRecord(entry, buffer, count));
}
DWORD PortEcpReadFrame(PortEntry* entry, BYTE* buffer, DWORD count) {
  return SendRequest(IOCTL_PORT_ECP_READ_FRAME, BufferRecord(entry, buffer, count));
}
DWORD PortEcpReadFrameVar(PortEntry* entry, BYTE* buffer, DWORD count, DWORD* countRead) {
  return SendRequest(IOCTL_PORT_ECP_READ_FRAME_VAR, CountedRecord(entry, buffer, count, countRead));
}
DWORD PortByteReadFrame(PortEntry* entry, BYTE* buffer, DWORD count) {
  return SendRequest(IOCTL_PORT_BYTE_READ_FRAME, BufferRecord(entry, buffer, count));
}
DWORD PortByteReadFrameVar(PortEntry* entry, BYTE* buffer, DWORD count, DWORD* countRead) {
  return SendRequest(IOCTL_PORT_BYTE_READ_FRAME_VAR, CountedRecord(entry, buffer, count, countRead));
}
DWORD PortNibbleReadFrame(PortEntry* entry, BYTE* buffer, DWORD count) {
  return SendRequest(IOCTL_PORT_NIBBLE_READ_FRAME, BufferRecord(entry, buffer, count));
}
DWORD PortNibbleReadFrameVar(PortEntry* entry, BYTE* buffer, DWORD count, DWORD* countRead) {
  return SendRequest(IOCTL_PORT_NIBBLE_READ_FRAME_VAR, CountedRecord(entry, buffer, count, countRead));
}
DWORD PortOutB(PortEntry* entry, BYTE value) { return SendRequest(IOCTL_PORT_OUT_B, ValueRecord(entry, value)); }
DWORD PortOutA(PortEntry* entry, BYTE value) { return SendRequest(IOCTL_PORT_OUT_A, ValueRecord(entry, value)); }
