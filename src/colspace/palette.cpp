#include "colspace/palette.h"

#include <cstring>

#include "colspace/colour_tables.h"
#include "colspace/colspace_state.h"
#include "platform/platform.h"

void LoadDefaultPalette(PaletteStore* destination) {
  *destination = BuiltInPalette;
  if (ColSpace* cs = CurrentColSpace()) cs->paletteChanged = 1;
}

WORD PaletteSize(const LOGPALETTE* palette) { return static_cast<WORD>(4 + 4 * palette->palNumEntries); }

WORD PaletteSize(const PaletteStore* palette) { return static_cast<WORD>(4 + 4 * palette->palNumEntries); }

BOOL SetPalette(const LOGPALETTE* incoming) {
  ColSpace* cs = CurrentColSpace();
  if (cs == nullptr || incoming == nullptr) return FALSE;
  // Judged on the entry count itself: the 16-bit byte count wraps for huge
  // counts (16384 entries would read as 4 bytes) and must not let one in.
  if (incoming->palNumEntries > kMaxPaletteEntries) return FALSE;
  std::memcpy(&cs->palette, incoming, PaletteSize(incoming));
  cs->paletteChanged = 1;
  if (cs->outputFormat.biCompression == 0 && cs->outputFormat.biBitCount == 8) BuildPaletteIndexTable(cs);
  return TRUE;
}

const LOGPALETTE* GetPalette(WORD* size) {
  ColSpace* cs = CurrentColSpace();
  if (cs == nullptr) return nullptr;
  if (size != nullptr) *size = PaletteSize(cs->palettePointer);
  return reinterpret_cast<const LOGPALETTE*>(cs->palettePointer);
}

void YUVToRGBValues(int16_t y, int16_t u, int16_t v, int16_t* r, int16_t* g, int16_t* b) {
  auto clamp = [](int value) { return static_cast<int16_t>(value < 0 ? 0 : (value > 255 ? 255 : value)); };
  *r = clamp((YUVToRGBMatrix[0][0] * y + YUVToRGBMatrix[0][1] * u + YUVToRGBMatrix[0][2] * v) >> 4);
  *g = clamp((YUVToRGBMatrix[1][0] * y + YUVToRGBMatrix[1][1] * u + YUVToRGBMatrix[1][2] * v) >> 4);
  *b = clamp((YUVToRGBMatrix[2][0] * y + YUVToRGBMatrix[2][1] * u + YUVToRGBMatrix[2][2] * v) >> 4);
}

void BuildPaletteIndexTable(ColSpace* cs) {
  if (cs == nullptr || cs->lookupTable == nullptr) return;
  if (!cs->paletteChanged && cs->lookupKind == LOOKUP_PALETTE_INDEX) return;
  // The platform palette object: a palette of no entries cannot be made.
  const UINT count = cs->palette.palNumEntries;
  if (count == 0 || count > kMaxPaletteEntries) {
    cs->lookupKind = LOOKUP_NONE;
    return;
  }
  PALETTEENTRY entries[kMaxPaletteEntries];
  std::memcpy(entries, cs->palette.palPalEntry, count * sizeof(PALETTEENTRY));
  auto clampChroma = [](int c) { return static_cast<int16_t>(c < -112 ? -112 : (c > 112 ? 112 : c)); };
  BYTE* table = cs->lookupTable;
  for (int qy = 0; qy < 32; ++qy) {
    const auto y = static_cast<int16_t>(8 * qy + 4 < 219 ? 8 * qy + 4 : 219);
    for (int qu = 0; qu < 16; ++qu) {
      const int16_t u = clampChroma(16 * qu - 120);
      for (int qv = 0; qv < 16; ++qv) {
        const int16_t v = clampChroma(16 * qv - 120);
        int16_t r = 0, g = 0, b = 0;
        YUVToRGBValues(y, u, v, &r, &g, &b);
        const UINT index = platform::GetNearestPaletteIndex(entries, count, static_cast<BYTE>(r),
                                                            static_cast<BYTE>(g), static_cast<BYTE>(b));
        table[(qy << 8) | (qu << 4) | qv] = static_cast<BYTE>(index < count ? index : 0);
      }
    }
  }
  cs->paletteChanged = 0;
  cs->lookupKind = LOOKUP_PALETTE_INDEX;
}
