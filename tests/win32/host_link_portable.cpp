// The host's link elsewhere: the portable driver manager, which opens and
// closes in the order winmm does.
#include "host_link.h"

#include "platform/platform.h"
#include "platform/portable/driver_manager.h"

namespace host {

HDRVR Open(const std::string& library, const std::string& text, LPARAM openParms) {
  return platform::OpenDriver(library.c_str(), text.empty() ? nullptr : text.c_str(), openParms);
}

LRESULT Send(HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  return platform::SendDriverMessage(driver, msg, lParam1, lParam2);
}

LRESULT Close(HDRVR driver) { return platform::CloseDriver(driver, 0, 0); }

std::string ReadSetting(const char* section, const char* key, const std::string& file) {
  char value[256] = {};
  platform::GetPrivateProfileString(section, key, "", value, sizeof value, file.c_str());
  return value;
}

}  // namespace host
