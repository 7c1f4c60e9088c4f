#include "driver/open_string.h"

#include <cstring>
#include <string_view>

#include "core/driver_state.h"
#include "platform/platform.h"

namespace {

// The upper-case work copy, or false when the string is absent or too long.
bool UpperCopy(const char* openString, char (&copy)[kMaxOpenStringLength + 1], size_t* length) {
  if (openString == nullptr) return false;
  size_t n = strnlen(openString, kMaxOpenStringLength + 1);
  if (n > kMaxOpenStringLength) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = openString[i];
    copy[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  copy[n] = '\0';
  *length = n;
  return true;
}

}  // namespace

void NarrowOpenString(const void* openString, bool sessionText, char (&out)[kOpenStringBufferSize]) {
  out[0] = '\0';
  if (openString == nullptr) return;
  const auto* bytes = static_cast<const unsigned char*>(openString);
  // The encoding is the host's, known before a byte is read: guessing it from
  // the text would read past the end of a one-character 8-bit text.
  const bool wide = sessionText && platform::SessionOpenTextIsUtf16();
  size_t n = 0;
  for (; n + 1 < kOpenStringBufferSize; ++n) {
    unsigned c = 0;
    if (wide) {
      WCHAR w;
      std::memcpy(&w, bytes + 2 * n, sizeof w);  // the text need not be aligned
      c = w < 0x100 ? static_cast<unsigned>(w) : '?';
    } else {
      c = bytes[n];
    }
    if (c == 0) break;
    out[n] = static_cast<char>(c);
  }
  out[n] = '\0';
}

void PortFromOpenString(const char* openString, DWORD* port) {
  char copy[kMaxOpenStringLength + 1];
  size_t length = 0;
  if (port == nullptr || !UpperCopy(openString, copy, &length)) return;
  const char* found = std::strstr(copy, "LPT");
  if (found == nullptr) return;
  char digit = found[3];
  if (digit >= '1' && digit <= '3') *port = static_cast<DWORD>(digit - '0');
}

void IniPathFromOpenString(const char* openString, char* path) {
  char copy[kMaxOpenStringLength + 1];
  size_t length = 0;
  if (path == nullptr || !UpperCopy(openString, copy, &length)) return;
  const char* found = std::strstr(copy, ".INI");
  if (found == nullptr) return;
  size_t end = static_cast<size_t>(found - copy) + 4;
  size_t start = std::string_view(copy, static_cast<size_t>(found - copy)).find_last_of(' ');
  start = start == std::string_view::npos ? 0 : start + 1;
  // At most 259 characters, so the name always fits the 260-byte path.
  static_assert(kMaxOpenStringLength < kIniPathSize);
  std::memcpy(path, openString + start, end - start);
  path[end - start] = '\0';
}
