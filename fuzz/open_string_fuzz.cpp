// The open string of DRV_OPEN: the port and the settings-file name found in
// any text (neither may write past the 260-byte path), and a session open's
// text read in either encoding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "core/driver_state.h"
#include "driver/open_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  DWORD port = 69;
  PortFromOpenString(text.c_str(), &port);
  if (port != 69 && (port < 1 || port > 3)) __builtin_trap();
  // The path sits in a buffer exactly kIniPathSize long: ASan reports any byte past it.
  auto* path = new char[kIniPathSize];
  std::strcpy(path, "zarncap.ini");
  IniPathFromOpenString(text.c_str(), path);
  if (std::memchr(path, '\0', kIniPathSize) == nullptr) __builtin_trap();
  delete[] path;
  // A session open's text, ending as UTF-16 text ends: the decoder reads no
  // byte past the terminator and always terminates what it writes.
  // (UTF-16 text is whole characters: the copy is padded to an even length.)
  const size_t even = size + (size % 2);
  auto* session = new unsigned char[even + 2]();
  if (size > 0) std::memcpy(session, data, size);
  char narrow[kOpenStringBufferSize];
  NarrowOpenString(session, true, narrow);
  if (std::memchr(narrow, '\0', sizeof narrow) == nullptr) __builtin_trap();
  delete[] session;
  return 0;
}
