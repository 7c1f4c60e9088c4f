#include "driver/driver_settings.h"

#include <cstdio>
#include <cstring>

#include "core/driver_state.h"
#include "platform/platform.h"

namespace {

constexpr LanguageDialogs kLanguageTable[] = {
    {"Fran\xE7" "ais", 104, 105},
    {"Deutsch", 106, 107},
    {"Espa\xF1" "ol", 108, 109},
    {"Italiano", 110, 111},
};

// A value saved as UTF-8 (as editors on Linux save it) in code page 1252:
// two-byte sequences of U+0080..U+00FF become their one byte. False for text
// that is not such UTF-8, or has nothing to convert.
bool Utf8ToLatin1(const char* text, char* out, std::size_t size) {
  std::size_t n = 0;
  bool converted = false;
  for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    unsigned char c = *p;
    if (c >= 0x80) {
      if ((c != 0xC2 && c != 0xC3) || (p[1] & 0xC0) != 0x80) return false;
      c = static_cast<unsigned char>(((c & 0x03) << 6) | (p[1] & 0x3F));
      ++p;
      converted = true;
    }
    if (n + 1 >= size) return false;
    out[n++] = static_cast<char>(c);
  }
  out[n] = '\0';
  return converted;
}

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
  if (language == nullptr) return {language, kEnglishSourceDialogId, kEnglishFormatDialogId};
  char latin1[kLanguageNameSize];
  const bool fromUtf8 = Utf8ToLatin1(language, latin1, sizeof latin1);
  for (const LanguageDialogs& entry : kLanguageTable) {
    if (std::strcmp(language, entry.language) == 0 || (fromUtf8 && std::strcmp(latin1, entry.language) == 0)) {
      return entry;
    }
  }
  return {language, kEnglishSourceDialogId, kEnglishFormatDialogId};
}
