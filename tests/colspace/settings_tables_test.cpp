// Colour settings, the "COLSPACE" section, the derived tables and the header
// helpers.
#include <cmath>
#include <fstream>
#include <sstream>

#include "colspace/colour_tables.h"
#include "colspace/colspace_fixture.h"
#include "platform/platform.h"

namespace {

BYTE LumaOf(int16_t brightness, int16_t contrast, int input) {
  BYTE table[256];
  BuildLumaTable(table, 0.625, 0, 200, brightness, contrast);
  return table[input];
}

TEST(LumaTable, DefaultCurveHitsTheWorkedPoints) {
  BYTE t[256];
  BuildLumaTable(t, 0.625, 0, 200, 50, 50);
  const int inputs[] = {0, 1, 2, 3, 4, 8, 16, 64, 128, 199, 200, 255};
  const int expected[] = {0, 4, 9, 13, 18, 29, 45, 107, 165, 218, 219, 219};
  for (size_t i = 0; i < std::size(inputs); ++i) EXPECT_EQ(t[inputs[i]], expected[i]) << "input " << inputs[i];
}

TEST(LumaTable, ContrastAndBrightness) {
  EXPECT_EQ(LumaOf(50, 100, 100), 219);  // contrast 100 doubles the slope
  EXPECT_LT(LumaOf(50, 100, 99), 219);
  EXPECT_EQ(LumaOf(100, 50, 0), 45);  // brightness 100 adds 16 to f
  for (int i = 0; i < 256; ++i) EXPECT_EQ(LumaOf(50, 0, i), 0);  // contrast 0: f = bias = 0
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(LumaOf(52, 50, i), LumaOf(50, 50, i));  // bias truncates to 0
  }
  EXPECT_EQ(LumaOf(47, 50, 16), LumaOf(50, 50, 15));  // bias -1
}

TEST(ColourMatrix, DefaultRowsAndCoefficients) {
  double m[9];
  BuildColourMatrix(m, 1.0, 1.0, 1.0, 50);
  const double u[3] = {-0.109534, -0.216289, 0.217966};
  const double v[3] = {0.261148, -0.224403, -0.030568};
  for (int j = 0; j < 3; ++j) {
    EXPECT_NEAR(m[3 + j], u[j], 5e-7);
    EXPECT_NEAR(m[6 + j], v[j], 5e-7);
  }
  int16_t k[9];
  MatrixCoefficients(m, k);
  EXPECT_EQ(k[3], -14);
  EXPECT_EQ(k[4], -28);
  EXPECT_EQ(k[5], 28);
  EXPECT_EQ(k[6], 33);
  EXPECT_EQ(k[7], -29);
  EXPECT_EQ(k[8], -4);
  // Row Y is fixed whatever the gains and the saturation.
  double other[9];
  BuildColourMatrix(other, 2.0, 0.5, 3.0, 90);
  for (int j = 0; j < 3; ++j) EXPECT_EQ(other[j], m[j]);
  EXPECT_DOUBLE_EQ(m[0], 0.05367647058823529);
  EXPECT_DOUBLE_EQ(m[2], 0.10735294117647058);
}

TEST(ColourMatrix, CoefficientsRoundHalfAwayFromZeroAndSaturate) {
  double m[9] = {0, 0, 0, 2.5 / 128, -2.5 / 128, 1.49 / 128, -1.5 / 128, 1e9, std::nan("")};
  int16_t k[9];
  MatrixCoefficients(m, k);
  EXPECT_EQ(k[3], 3);
  EXPECT_EQ(k[4], -3);
  EXPECT_EQ(k[5], 1);
  EXPECT_EQ(k[6], -2);
  EXPECT_EQ(k[7], 32767);
  EXPECT_EQ(k[8], 0);
}

TEST(RGB16Table, QuantisedCorners) {
  std::vector<uint16_t> t(32768);
  BuildRGB16Table(t.data());
  // Black: Y 4, U and V at -112: every channel clamps to 0 except G.
  const int g = ClampSixteenths(19 * 4 + 6 * 112 + 13 * 112);
  EXPECT_EQ(t[0], (g & 0xF8) << 2);
  // Brightest grey index: qy 31 -> Y 219, qu = qv = 16 -> U = V = 4.
  const int y = 219, c = 4;
  const int r = ClampSixteenths(19 * y + 26 * c), gg = ClampSixteenths(19 * y - 6 * c - 13 * c),
            b = ClampSixteenths(19 * y + 32 * c);
  EXPECT_EQ(t[(31 << 10) | (16 << 5) | 16], ((r & 0xF8) << 7) | ((gg & 0xF8) << 2) | (b >> 3));
  for (uint16_t word : t) EXPECT_EQ(word & 0x8000, 0);
}

TEST(FormatHeader, ImageSizeRulePerCompression) {
  BITMAPINFOHEADER h;
  InitFormatHeader(&h);
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biPlanes, 1);
  EXPECT_EQ(h.biXPelsPerMeter, 2000);
  EXPECT_EQ(h.biYPelsPerMeter, 2000);
  SetFormatType(&h, 24, 0);
  SetFormatSize(&h, 162, 120);
  EXPECT_EQ(h.biSizeImage, 59040u);
  struct Case {
    int bits;
    DWORD comp;
    LONG w, h;
    DWORD size;
  } cases[] = {
      {12, FOURCC_I420, 160, 120, 28800}, {12, FOURCC_YV12, 160, 120, 28800}, {16, FOURCC_PYUV, 160, 120, 28800},
      {16, FOURCC_YUY2, 160, 120, 38400}, {16, FOURCC_CYUV, 160, 120, 38400}, {9, FOURCC_YVU9, 160, 120, 21600},
      {8, FOURCC_PSHU, 324, 244, 79056},  {16, 0, 161, 10, 3280},             {8, MakeFourCC('M', 'J', 'P', 'G'), 160, 120, 0},
      {24, 0, -160, 120, 0},
  };
  for (const Case& c : cases) {
    SetFormatType(&h, static_cast<int16_t>(c.bits), c.comp);
    h.biWidth = c.w;
    h.biHeight = c.h;
    h.biSizeImage = 12345;
    EXPECT_EQ(GetFormatImageSize(&h), c.size) << std::hex << c.comp;
    EXPECT_EQ(h.biSizeImage, c.size);
  }
  LONG w = 0, hh = 0;
  GetFormatSize(&h, &w, &hh);
  EXPECT_EQ(w, -160);
  int16_t bits = 0;
  DWORD comp = 1;
  GetFormatType(&h, &bits, &comp);
  EXPECT_EQ(bits, 24);
  EXPECT_EQ(comp, 0u);
}

using SettingsTest = ColSpaceTest;

TEST_F(SettingsTest, MissingSectionGivesDefaults) {
  ColSpace* cs = Make();
  int16_t b = 0, c = 0, col = 0;
  GetPictureControls(&b, &c, &col);
  EXPECT_EQ(b, 50);
  EXPECT_EQ(c, 50);
  EXPECT_EQ(col, 50);
  EXPECT_EQ(cs->redGain, 1.0);
  EXPECT_EQ(cs->blueGain, 1.0);
  EXPECT_EQ(cs->autoWhiteBalance, 1);
  EXPECT_EQ(cs->coringThreshold, 1);
  EXPECT_EQ(cs->sharpenGain, 3);
  EXPECT_EQ(cs->whiteLevel, 200);
  EXPECT_EQ(cs->palette.palNumEntries, 256);
  EXPECT_EQ(cs->palettePointer, &cs->palette);
  EXPECT_EQ(InitColSpace(nullptr), nullptr);  // no path, no record
}

TEST_F(SettingsTest, ReadsAppliesAndWritesTheSixKeysInOrder) {
  platform::WritePrivateProfileString("COLSPACE", "Brightness", "60", ini_.c_str());
  platform::WritePrivateProfileString("COLSPACE", "Colour", "-5", ini_.c_str());
  platform::WritePrivateProfileString("COLSPACE", "RedGain", "7", ini_.c_str());
  ColSpace* cs = Make();
  EXPECT_EQ(cs->brightness, 60);
  EXPECT_EQ(cs->colour, 0);  // brought into the sliders' range, 0..100
  EXPECT_DOUBLE_EQ(cs->redGain, 0.7);
  cs->blueGain = 1.37;  // as the white balance leaves it
  std::filesystem::remove(ini_);
  ASSERT_TRUE(WriteColSpaceInit(cs, ini_.c_str()));
  std::ifstream in(ini_);
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  const char* keys[] = {"Brightness=60", "Contrast=50", "Colour=0", "RedGain=7", "GreenGain=10", "BlueGain=13"};
  size_t at = 0;
  for (const char* key : keys) {
    const size_t found = s.find(key, at);
    ASSERT_NE(found, std::string::npos) << key << " in\n" << s;
    at = found;
  }
  EXPECT_FALSE(WriteColSpaceInit(cs, nullptr));
  EXPECT_FALSE(ReadColSpaceInit(cs, nullptr));
}

// Values edited by hand beyond what the driver stores are brought into range
// when read (picture settings held at the sliders' ends, gains at 0 or 1000)
// and so written back in range; values inside it, 0 and 51 among them, are
// untouched.
TEST_F(SettingsTest, OutOfRangeValuesAreHeldNotWrapped) {
  struct Case {
    const char* key;
    const char* text;
    int16_t expected;  // picture settings as stored, gains in tenths
  };
  const Case cases[] = {
      {"BlueGain", "40000", 1000}, {"BlueGain", "-3", 0},    {"BlueGain", "50", 50},     {"RedGain", "0", 0},
      {"RedGain", "7", 7},         {"RedGain", "1", 1},      {"GreenGain", "51", 51},    {"GreenGain", "1000", 1000},
      {"Brightness", "150", 100},  {"Contrast", "-1", 0},    {"Colour", "99999999999", 100},
      {"Brightness", "100", 100},  {"Contrast", "0", 0},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(ini_);
    platform::WritePrivateProfileString("COLSPACE", c.key, c.text, ini_.c_str());
    ColSpace* cs = Make();
    int16_t brightness = 0, contrast = 0, colour = 0, red = 0, green = 0, blue = 0;
    GetPictureControls(&brightness, &contrast, &colour);
    GetColourGains(&red, &green, &blue);
    const std::string key = c.key;
    const int16_t got = key == "Brightness"  ? brightness
                        : key == "Contrast"  ? contrast
                        : key == "Colour"    ? colour
                        : key == "RedGain"   ? red
                        : key == "GreenGain" ? green
                                             : blue;
    EXPECT_EQ(got, c.expected) << c.key << "=" << c.text;
    ASSERT_TRUE(WriteColSpaceInit(cs, ini_.c_str()));
    EXPECT_EQ(platform::GetPrivateProfileInt("COLSPACE", c.key, -7, ini_.c_str()),
              static_cast<UINT>(c.expected)) << c.key << "=" << c.text;
  }
}

TEST_F(SettingsTest, EveryWholeTenthRoundTrips) {
  Make();
  for (int16_t tenths = 0; tenths <= 1000; ++tenths) {
    SetColourGains(tenths, tenths, tenths);
    int16_t r = -1, g = -1, b = -1;
    GetColourGains(&r, &g, &b);
    ASSERT_EQ(r, tenths);
    ASSERT_EQ(b, tenths);
  }
}

TEST_F(SettingsTest, SettersMarkTablesStaleAndUpdateRebuildsThem) {
  ColSpace* cs = Make();
  UpdateColSpaceTables(CurrentColSpace());
  EXPECT_TRUE(cs->lumaValid && cs->matrixValid);
  SetColourGains(12, 10, 10);
  EXPECT_FALSE(cs->matrixValid);
  EXPECT_TRUE(cs->lumaValid);
  const double before = cs->colourMatrix[3];
  const double* m = GetColourMatrix(CurrentColSpace());
  EXPECT_TRUE(cs->matrixValid);
  EXPECT_NE(m[3], before);
  SetPictureControls(100, 50, 50);
  EXPECT_FALSE(cs->lumaValid);
  UpdateColSpaceTables(CurrentColSpace());
  EXPECT_EQ(cs->lumaTable[0], 45);
}

TEST_F(SettingsTest, YUVOutputsShiftTheLuminanceTableBy16) {
  ColSpace* cs = Make();
  BITMAPINFOHEADER src = Header(160, 120, 16, FOURCC_PYUV);
  BITMAPINFOHEADER out = Header(160, 120, 12, FOURCC_I420);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_EQ(cs->lumaTable[0], 16);
  EXPECT_EQ(cs->lumaTable[64], 107 + 16);
  EXPECT_EQ(cs->lumaTable[255], 235);
  out = Header(160, 120, 24, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  EXPECT_EQ(cs->lumaTable[255], 219);
}

TEST_F(SettingsTest, SelectAndFreeKeepOneCurrentRecord) {
  ColSpace* a = Make();
  ColSpace* b = Make();
  EXPECT_EQ(CurrentColSpace(), b);
  EXPECT_TRUE(SelectColSpace(b));  // already current
  EXPECT_TRUE(SelectColSpace(a));
  EXPECT_EQ(CurrentColSpace(), a);
  EXPECT_NE(a->lookupTable, nullptr);
  EXPECT_EQ(b->lookupTable, nullptr);
  // Shape a's green plane, then release b: a keeps its plane.
  BITMAPINFOHEADER src = Header(164, 124, 8, FOURCC_PSHU), out = Header(160, 120, 24, 0);
  ASSERT_TRUE(SetColSpaceFormat(CurrentColSpace(), &src, &out));
  ASSERT_TRUE(FreeColSpace(b, nullptr));
  Released(b);
  EXPECT_EQ(CurrentColSpace(), a);
  EXPECT_NE(Colour().greenPlane, nullptr);
  ASSERT_TRUE(FreeColSpace(a, ini_.c_str()));  // saves, then releases
  Released(a);
  EXPECT_EQ(CurrentColSpace(), nullptr);
  EXPECT_EQ(Colour().greenPlane, nullptr);
  EXPECT_EQ(platform::GetPrivateProfileInt("COLSPACE", "Contrast", 0, ini_.c_str()), 50u);
  EXPECT_FALSE(SelectColSpace(nullptr));
  // Nothing current: the accessors do nothing and the matrix is absent.
  EXPECT_EQ(GetColourMatrix(CurrentColSpace()), nullptr);
  SetPictureControls(1, 2, 3);
  std::vector<BYTE> frame(100), dest(100);
  EXPECT_FALSE(ConvertFrame(CurrentColSpace(), frame.data(), dest.data()));
}

TEST_F(SettingsTest, ForgetLeavesTheRecordAlive) {
  ColSpace* cs = Make();
  ForgetColSpace();
  EXPECT_EQ(CurrentColSpace(), nullptr);
  EXPECT_TRUE(SelectColSpace(cs));
  EXPECT_EQ(cs->brightness, 50);
}

}  // namespace
