// The host's services: message boxes, DefDriverProc, DriverCallback, the
// palette's nearest index, the module's version text and the user's language. The palette index goes through one GDI palette per
// table: a lookup table asks 4096 times of the same palette, and a palette
// object per question would cost more than the answer.
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {
namespace {

struct PaletteCache {
  std::mutex mutex;
  std::vector<PALETTEENTRY> entries;
  HPALETTE palette = nullptr;

  ~PaletteCache() {
    if (palette != nullptr) ::DeleteObject(palette);
  }

  // The palette object for these entries, made when they differ from the last.
  HPALETTE For(const PALETTEENTRY* wanted, UINT count) {
    if (palette != nullptr && entries.size() == count &&
        std::memcmp(entries.data(), wanted, count * sizeof(PALETTEENTRY)) == 0) {
      return palette;
    }
    if (palette != nullptr) ::DeleteObject(palette);
    palette = nullptr;
    entries.assign(wanted, wanted + count);
    std::vector<BYTE> record(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
    auto* log = reinterpret_cast<LOGPALETTE*>(record.data());
    log->palVersion = 0x300;
    log->palNumEntries = static_cast<WORD>(count);
    std::memcpy(log->palPalEntry, wanted, count * sizeof(PALETTEENTRY));
    palette = ::CreatePalette(log);
    return palette;
  }
};

PaletteCache& Palettes() {
  static PaletteCache cache;
  return cache;
}

}  // namespace

int MessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  return ::MessageBoxA(owner, text, caption, type);
}

LRESULT DefDriverProc(DWORD_PTR driverId, HDRVR driver, UINT msg, LPARAM lParam1, LPARAM lParam2) {
  return ::DefDriverProc(driverId, driver, msg, lParam1, lParam2);
}

BOOL DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD msg, DWORD_PTR user, DWORD_PTR param1,
                    DWORD_PTR param2) {
  return ::DriverCallback(callback, flags, device, msg, user, param1, param2);
}

UINT GetNearestPaletteIndex(const PALETTEENTRY* entries, UINT count, BYTE r, BYTE g, BYTE b) {
  if (entries == nullptr || count == 0 || count > 0xFFFF) return CLR_INVALID;
  auto& cache = Palettes();
  std::lock_guard lock(cache.mutex);
  HPALETTE palette = cache.For(entries, count);
  if (palette == nullptr) return CLR_INVALID;
  return ::GetNearestPaletteIndex(palette, RGB(r, g, b));
}

bool SessionOpenTextIsUtf16() { return (::GetVersion() & 0x80000000u) == 0; }

std::string ModuleVersionText() {
  char path[MAX_PATH] = {};
  if (::GetModuleFileNameA(ModuleHandle(), path, sizeof path) == 0) return {};
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return {};
  std::vector<char> block(size);
  if (!::GetFileVersionInfoA(path, 0, size, block.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block.data(), "\\StringFileInfo\\040904e4\\FileVersion", &value, &length) || length == 0) {
    return {};
  }
  return std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), length));
}

std::string SystemLanguageCode() {
  char code[8] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, code, sizeof code) == 0) return "enu";
  std::string text(code);
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

}  // namespace platform
