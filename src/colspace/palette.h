// The 8-bit palette: the built-in default, the palette exchange with the
// application, and the palette-index table that maps quantised luminance and
// chroma to the nearest palette entry for the 8-bit writer.
#pragma once

#include <cstdint>

#include "colspace/colspace.h"
#include "platform/types.h"

extern const PaletteStore BuiltInPalette;

constexpr WORD kPaletteVersion = 0x300;
constexpr WORD kMaxPaletteEntries = 256;
constexpr int kPaletteIndexEntries = 8192;

// Copies BuiltInPalette into destination and marks the palette changed.
void LoadDefaultPalette(PaletteStore* destination);
// 4 + 4 x entry count, as a 16-bit byte count.
WORD PaletteSize(const LOGPALETTE* palette);
WORD PaletteSize(const PaletteStore* palette);
// Takes the incoming palette when it has at most 256 entries and a colour
// record is current; TRUE when it was taken.
BOOL SetPalette(const LOGPALETTE* incoming);
// The current palette and, in *size, its byte count; nullptr when no record is
// current.
const LOGPALETTE* GetPalette(WORD* size);
void BuildPaletteIndexTable(ColSpace* cs);
void YUVToRGBValues(int16_t y, int16_t u, int16_t v, int16_t* r, int16_t* g, int16_t* b);
