// The host's link on Windows: winmm's own driver calls. OpenDriver takes the
// library and the open text as one wide string, split at the first space.
#include "host_link.h"

namespace host {

HDRVR Open(const std::string& library, const std::string& text, LPARAM openParms) {
  std::wstring name(library.begin(), library.end());
  if (!text.empty()) name += L" " + std::wstring(text.begin(), text.end());
  return ::OpenDriver(name.c_str(), nullptr, openParms);
}

LRESULT Send(HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  return ::SendDriverMessage(driver, msg, lParam1, lParam2);
}

LRESULT Close(HDRVR driver) { return ::CloseDriver(driver, 0, 0); }

std::string ReadSetting(const char* section, const char* key, const std::string& file) {
  char value[256] = {};
  ::GetPrivateProfileStringA(section, key, "", value, sizeof value, file.c_str());
  return value;
}

}  // namespace host
