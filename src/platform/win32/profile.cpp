// The settings file: the system's own profile functions. A file name without a
// folder lands where the system puts such files (the Windows folder), as every
// other driver's settings do.
#include "platform/platform.h"

namespace platform {

UINT GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* file) {
  return ::GetPrivateProfileIntA(section, key, defaultValue, file);
}

DWORD GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* out,
                              DWORD size, const char* file) {
  return ::GetPrivateProfileStringA(section, key, defaultValue, out, size, file);
}

BOOL WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file) {
  return ::WritePrivateProfileStringA(section, key, value, file);
}

}  // namespace platform
