// The palette store, its exchange with the application and the palette-index
// table of the 8-bit writer.
#include <cstring>

#include "colspace/colspace_fixture.h"
#include "colspace/palette.h"
#include "platform/platform.h"

namespace {

using PaletteTest = ColSpaceTest;

struct Rgb {
  int r, g, b;
};

Rgb EntryOf(const PaletteStore& p, int i) { return {p.palPalEntry[i].peRed, p.palPalEntry[i].peGreen, p.palPalEntry[i].peBlue}; }

TEST(BuiltInPaletteTable, StaticColoursAndSpotEntries) {
  EXPECT_EQ(BuiltInPalette.palVersion, 0x300);
  EXPECT_EQ(BuiltInPalette.palNumEntries, 256);
  struct Spot {
    int index;
    unsigned rgb;
  } spots[] = {{0, 0x000000},   {1, 0x800000},   {7, 0xC0C0C0},   {8, 0xC0DCC0},   {9, 0xA6CAF0},
               {10, 0x636B6B},  {21, 0xFB757C},  {22, 0xD2F2FA},  {93, 0x39514F},  {145, 0x32858B},
               {188, 0x215191}, {208, 0x136986}, {237, 0xB3736B}, {245, 0x557BED}, {246, 0xFFFBF0},
               {247, 0xA0A0A4}, {248, 0x808080}, {252, 0x0000FF}, {255, 0xFFFFFF}};
  for (const Spot& s : spots) {
    const Rgb e = EntryOf(BuiltInPalette, s.index);
    EXPECT_EQ(static_cast<unsigned>(e.r << 16 | e.g << 8 | e.b), s.rgb) << "entry " << s.index;
  }
  for (const PALETTEENTRY& e : BuiltInPalette.palPalEntry) EXPECT_EQ(e.peFlags, 0);

  // Every one of the 256 entries (red, green, blue, flags), folded into one
  // FNV-1a sum worked out from the colour list, so a slip in any entry shows.
  uint32_t sum = 0x811C9DC5u;
  for (const PALETTEENTRY& e : BuiltInPalette.palPalEntry) {
    for (BYTE byte : {e.peRed, e.peGreen, e.peBlue, e.peFlags}) sum = (sum ^ byte) * 0x01000193u;
  }
  EXPECT_EQ(sum, 0xCF513944u);
}

TEST_F(PaletteTest, SizesAndOversizedPalettes) {
  ColSpace* cs = Make();
  WORD size = 0;
  const LOGPALETTE* p = GetPalette(&size);
  EXPECT_EQ(size, 1028);
  EXPECT_EQ(static_cast<const void*>(p), static_cast<const void*>(&cs->palette));

  PaletteStore incoming = {};
  incoming.palVersion = 0x300;
  incoming.palNumEntries = 16;
  for (int i = 0; i < 16; ++i) incoming.palPalEntry[i] = {static_cast<BYTE>(i), 1, 2, 0};
  SetPalette(reinterpret_cast<const LOGPALETTE*>(&incoming));
  GetPalette(&size);
  EXPECT_EQ(size, 68);
  EXPECT_EQ(cs->palette.palPalEntry[5].peRed, 5);
  EXPECT_EQ(std::memcmp(&cs->palette.palPalEntry[16], &BuiltInPalette.palPalEntry[16], 240 * 4), 0);

  // 257 entries, and a count whose byte size wraps to 4 in 16 bits: ignored.
  for (WORD count : {WORD{257}, WORD{16384}, WORD{65535}}) {
    std::vector<BYTE> big(4 + 4 * static_cast<size_t>(count), 0x77);
    auto* lp = reinterpret_cast<LOGPALETTE*>(big.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = count;
    SetPalette(lp);
    GetPalette(&size);
    EXPECT_EQ(size, 68) << count;
  }
}

// The table entry the 8-bit writer reads, worked out from scratch.
int NearestFor(const PaletteStore& p, int qy, int qu, int qv) {
  auto clamp = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
  const int y = std::min(8 * qy + 4, 219), u = clamp(16 * qu - 120, -112, 112), v = clamp(16 * qv - 120, -112, 112);
  const int r = clamp((19 * y + 26 * v) >> 4, 0, 255), g = clamp((19 * y - 6 * u - 13 * v) >> 4, 0, 255),
            b = clamp((19 * y + 32 * u) >> 4, 0, 255);
  int best = 0;
  long bestD = -1;
  for (int i = 0; i < p.palNumEntries; ++i) {
    const Rgb e = EntryOf(p, i);
    const long d = long(e.r - r) * (e.r - r) + long(e.g - g) * (e.g - g) + long(e.b - b) * (e.b - b);
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}

TEST_F(PaletteTest, IndexTableFollowsThePaletteAndTheOutputDepth) {
  ColSpace* cs = Make();
  BITMAPINFOHEADER src = Header(160, 120, 16, FOURCC_PYUV);
  BITMAPINFOHEADER out8 = Header(160, 120, 8, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out8));
  ASSERT_EQ(cs->lookupKind, LOOKUP_PALETTE_INDEX);
  EXPECT_EQ(cs->paletteChanged, 0);
  for (int qy = 0; qy < 32; qy += 3)
    for (int qu = 0; qu < 16; qu += 5)
      for (int qv = 0; qv < 16; ++qv)
        ASSERT_EQ(cs->lookupTable[(qy << 8) | (qu << 4) | qv], NearestFor(cs->palette, qy, qu, qv));

  // Setting the same palette again rebuilds at once.
  SetPalette(reinterpret_cast<const LOGPALETTE*>(&cs->palette));
  EXPECT_EQ(cs->paletteChanged, 0);
  EXPECT_EQ(cs->lookupKind, LOOKUP_PALETTE_INDEX);

  // 16-bit in between: the index table is rebuilt on the way back.
  BITMAPINFOHEADER out16 = Header(160, 120, 16, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out16));
  EXPECT_EQ(cs->lookupKind, LOOKUP_RGB16);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out8));
  EXPECT_EQ(cs->lookupKind, LOOKUP_PALETTE_INDEX);

  // A two-colour palette: every index is 0 or 1.
  PaletteStore two = {};
  two.palVersion = 0x300;
  two.palNumEntries = 2;
  two.palPalEntry[0] = {0, 0, 0, 0};
  two.palPalEntry[1] = {255, 255, 255, 0};
  SetPalette(reinterpret_cast<const LOGPALETTE*>(&two));
  for (int i = 0; i < kPaletteIndexEntries; ++i) ASSERT_LE(cs->lookupTable[i], 1);
  EXPECT_EQ(cs->lookupTable[(31 << 8) | (8 << 4) | 8], 1);
}

TEST_F(PaletteTest, EmptyPaletteLeavesNoTableAndEightBitFramesFail) {
  ColSpace* cs = Make();
  BITMAPINFOHEADER src = Header(80, 60, 16, FOURCC_PYUV);
  BITMAPINFOHEADER out8 = Header(80, 60, 8, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out8));
  PaletteStore none = {};
  none.palVersion = 0x300;
  SetPalette(reinterpret_cast<const LOGPALETTE*>(&none));
  EXPECT_EQ(cs->lookupKind, LOOKUP_NONE);
  std::vector<BYTE> frame(80 * 90, 100), dest(80 * 60);
  EXPECT_FALSE(ConvertFrame(CurrentColSpace(), frame.data(), dest.data()));
}

TEST(YUVToRGBValuesTest, MatrixAndClamps) {
  int16_t r, g, b;
  YUVToRGBValues(100, 0, 0, &r, &g, &b);
  EXPECT_EQ(r, (19 * 100) >> 4);
  EXPECT_EQ(g, r);
  EXPECT_EQ(b, r);
  YUVToRGBValues(219, 112, 112, &r, &g, &b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(b, 255);
  EXPECT_EQ(g, (19 * 219 - 6 * 112 - 13 * 112) >> 4);
  YUVToRGBValues(4, -112, -112, &r, &g, &b);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(b, 0);
}

}  // namespace
