#include "driver/driver_settings.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

constexpr LanguageDialogs kLanguageTable[] = {
    {"Fran\xE7" "ais", 104, 105},
    {"Deutsch", 106, 107},
    {"Espa\xF1" "ol", 108, 109},
    {"Italiano", 110, 111},
};

}  // namespace

UINT ReadDriverSetting(const IntSetting& setting, const char* iniPath) {
  return platform::GetPrivateProfileInt(kDriverSection, setting.key, setting.defaultValue, iniPath);
}

void ReadDriverSetting(const TextSetting& setting, char* out, DWORD size, const char* iniPath) {
  platform::GetPrivateProfileString(kDriverSection, setting.key, setting.defaultValue, out, size, iniPath);
}

BOOL WriteDriverSetting(const IntSetting& setting, DWORD value, const char* iniPath) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  return platform::WritePrivateProfileString(kDriverSection, setting.key, text, iniPath);
}

LanguageDialogs DialogsForLanguage(const char* language) {
  for (const LanguageDialogs& entry : kLanguageTable) {
    if (language != nullptr && std::strcmp(language, entry.language) == 0) return entry;
  }
  return {language, kEnglishSourceDialogId, kEnglishFormatDialogId};
}
