// The host services a driver gets from the platform: DefDriverProc (which on
// this platform answers 0 and records the call for tests), DriverCallback for
// function callbacks, the nearest palette entry, the module's version text and
// the system language code.
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/portable/testing.h"

#ifndef ZARNCAP_VERSION_TEXT
#define ZARNCAP_VERSION_TEXT "1.0.0"
#endif

namespace platform {
namespace {

struct DefDriverProcLog {
  std::mutex mutex;
  DefDriverProcCall last{};
  int count = 0;
};

DefDriverProcLog& Log() {
  static DefDriverProcLog log;
  return log;
}

struct LanguageEntry {
  const char* locale;  // language, or language_TERRITORY
  const char* code;
};

// Most specific first: a territory entry wins over its language's entry.
constexpr LanguageEntry kLanguages[] = {
    {"en_GB", "eng"}, {"en_US", "enu"}, {"en_AU", "ena"}, {"en_CA", "enc"}, {"en_NZ", "enz"}, {"en_IE", "eni"},
    {"de_AT", "dea"}, {"de_CH", "des"}, {"fr_BE", "frb"}, {"fr_CA", "frc"}, {"fr_CH", "frs"}, {"es_MX", "esm"},
    {"it_CH", "its"}, {"en", "enu"},    {"de", "deu"},    {"fr", "fra"},    {"es", "esp"},    {"it", "ita"},
};

}  // namespace

LRESULT DefDriverProc(DWORD_PTR driverId, HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  std::lock_guard lock(Log().mutex);
  Log().last = {driverId, driver, msg, lParam1, lParam2};
  ++Log().count;
  return 0;
}

DefDriverProcCall LastDefDriverProcCall() {
  std::lock_guard lock(Log().mutex);
  return Log().last;
}

int DefDriverProcCallCount() {
  std::lock_guard lock(Log().mutex);
  return Log().count;
}

void ResetDefDriverProcLog() {
  std::lock_guard lock(Log().mutex);
  Log().last = {};
  Log().count = 0;
}

BOOL DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD msg, DWORD_PTR user, DWORD_PTR param1,
                    DWORD_PTR param2) {
  // Windows, tasks and events do not exist here; only a function can be called,
  // and it runs on the caller's thread as the platform's does.
  if ((flags & DCB_TYPEMASK) != DCB_FUNCTION || callback == 0) return FALSE;
  reinterpret_cast<LPDRVCALLBACK>(callback)(device, msg, user, param1, param2);
  return TRUE;
}

UINT GetNearestPaletteIndex(const PALETTEENTRY* entries, UINT count, BYTE r, BYTE g, BYTE b) {
  if (entries == nullptr || count == 0) return kPaletteIndexInvalid;
  UINT best = 0;
  long bestDistance = -1;
  for (UINT i = 0; i < count; ++i) {
    long dr = static_cast<long>(entries[i].peRed) - r;
    long dg = static_cast<long>(entries[i].peGreen) - g;
    long db = static_cast<long>(entries[i].peBlue) - b;
    long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {  // strict: the lowest index wins a tie
      best = i;
      bestDistance = distance;
      if (distance == 0) break;
    }
  }
  return best;
}

std::string ModuleVersionText() { return ZARNCAP_VERSION_TEXT; }

bool SessionOpenTextIsUtf16() { return true; }

std::string SystemLanguageCode() {
  const char* locale = nullptr;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      locale = value;
      break;
    }
  }
  if (locale == nullptr) return "enu";
  // "de_DE.UTF-8@euro" -> language "de", territory "DE".
  std::string text(locale);
  text = text.substr(0, text.find_first_of(".@"));
  std::string language = text.substr(0, text.find('_'));
  for (const LanguageEntry& entry : kLanguages) {
    if (text == entry.locale) return entry.code;
  }
  for (const LanguageEntry& entry : kLanguages) {
    if (language == entry.locale) return entry.code;
  }
  return "enu";
}

}  // namespace platform
