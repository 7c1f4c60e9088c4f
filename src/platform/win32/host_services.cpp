// The host's services: message boxes, DefDriverProc, DriverCallback and the
// palette's nearest index. The palette index goes through one GDI palette per
// table: a lookup table asks 4096 times of the same palette, and a palette
// object per question would cost more than the answer.
#include <cstring>
#include <mutex>
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

}  // namespace platform
