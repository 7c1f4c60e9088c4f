// The kernel port device, reached as every device driver is: a file handle and
// device-control requests.
#include "platform/platform.h"

namespace platform {

HANDLE CreatePortDevice(const WCHAR* name) {
  if (name == nullptr) return INVALID_HANDLE_VALUE;
  return ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

BOOL DeviceIoControl(HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                     DWORD* bytesReturned) {
  DWORD scratch = 0;
  return ::DeviceIoControl(device, code, in, inLength, out, outLength, bytesReturned ? bytesReturned : &scratch,
                           nullptr);
}

BOOL CloseHandle(HANDLE device) { return ::CloseHandle(device); }

}  // namespace platform
