// Section "ZARNCAP" of the settings file: the driver's own keys with their
// defaults, and the dialog language table that the "Language" value selects.
#pragma once

#include "platform/types.h"
#include "ui/dialog_resources.h"

inline constexpr char kDriverSection[] = "ZARNCAP";

struct IntSetting {
  const char* key;
  int defaultValue;
};
struct TextSetting {
  const char* key;
  const char* defaultValue;
};

inline constexpr IntSetting kDebugLevelSetting{"DebugLevel", 0};
inline constexpr IntSetting kForce4BitSetting{"Force4Bit", 0};
inline constexpr IntSetting kLptPortSetting{"LPT_Port", 69};
inline constexpr TextSetting kLanguageSetting{"Language", "U.S. English"};

UINT ReadDriverSetting(const IntSetting& setting, const char* iniPath);
// Copies the value into out (size bytes, always terminated).
void ReadDriverSetting(const TextSetting& setting, char* out, DWORD size, const char* iniPath);
// Writes value as decimal text.
BOOL WriteDriverSetting(const IntSetting& setting, DWORD value, const char* iniPath);

// Dialog resources per language, compared exactly (code page 1252 bytes).
struct LanguageDialogs {
  const char* language;
  DWORD sourceDialogId;
  DWORD formatDialogId;
};
inline constexpr DWORD kEnglishSourceDialogId = kEnglishSourceDialog;
inline constexpr DWORD kEnglishFormatDialogId = kEnglishFormatDialog;
// The dialogs for a "Language" value; English for any value not in the table.
LanguageDialogs DialogsForLanguage(const char* language);
