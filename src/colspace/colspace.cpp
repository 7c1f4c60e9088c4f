#include "colspace/colspace.h"

#include <cstdio>
#include <new>

#include "colspace/colour_tables.h"
#include "colspace/colspace_state.h"
#include "colspace/convert.h"
#include "colspace/format_header.h"
#include "colspace/palette.h"
#include "colspace/reconstruct.h"
#include "platform/platform.h"

namespace {

constexpr const char* kSection = "COLSPACE";
// The source settings' sliders run 0..100. Gains are tenths, 0..1000 as the
// settings file may hold them (another installation, a hand edit).
constexpr int kMinPictureSetting = 0;
constexpr int kMaxPictureSetting = 100;
constexpr int kMinGainTenths = 0;
constexpr int kMaxGainTenths = 1000;
constexpr int kDefaultGainTenths = 10;

// The record a handle names, made current first; nullptr when it cannot be.
ColSpace* Selected(HCOLSPACE handle) { return SelectColSpace(handle) ? handle : nullptr; }

void WriteInt(const char* key, int value, const char* iniPath) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  platform::WritePrivateProfileString(kSection, key, text, iniPath);
}

}  // namespace

HCOLSPACE InitColSpace(const char* iniPath) {
  auto* cs = new (std::nothrow) ColSpace();
  if (cs == nullptr) return nullptr;
  cs->lookupBlock.reset(new (std::nothrow) uint16_t[kLookupBlockBytes / 2]());
  cs->lookupKind = LOOKUP_NONE;
  cs->palettePointer = &cs->palette;
  if (!cs->lookupBlock || !SetColSpaceDefaults(cs) || !ReadColSpaceInit(cs, iniPath)) {
    if (Colour().current == cs) ForgetColSpace();
    delete cs;
    return nullptr;
  }
  return cs;
}

BOOL FreeColSpace(HCOLSPACE handle, const char* iniPath) {
  if (handle == nullptr) return FALSE;
  WriteColSpaceInit(handle, iniPath);
  const bool wasCurrent = handle == Colour().current;
  FreeIntermediateImage(handle);
  handle->intermediateBlock.reset();
  handle->intermediateImage = nullptr;
  handle->lookupTable = nullptr;
  handle->lookupBlock.reset();
  // The green plane is the module's, shaped for the current record's format:
  // releasing another record must not pull it from under the current one.
  if (wasCurrent || Colour().current == nullptr) ReleaseGreenPlane();
  if (wasCurrent) Colour().current = nullptr;
  delete handle;
  return TRUE;
}

BOOL SetColSpaceDefaults(HCOLSPACE handle) {
  ColSpace* cs = Selected(handle);
  if (cs == nullptr) return FALSE;
  cs->gamma = 0.625;
  cs->blackLevel = 0;
  cs->whiteLevel = 200;
  cs->coringThreshold = 1;
  cs->sharpenGain = 3;
  cs->stretch10by9 = 0;
  cs->doubleSize = 0;
  LoadDefaultPalette(&cs->palette);
  SetPictureControls(50, 50, 50);
  SetColourGains(10, 10, 10);
  SetAutoWhiteBalance(1);
  return TRUE;
}

BOOL ReadColSpaceInit(HCOLSPACE handle, const char* iniPath) {
  if (iniPath == nullptr) return FALSE;
  if (Selected(handle) == nullptr) return FALSE;
  // Values edited by hand beyond what the driver itself would store are not
  // wrapped into 16 bits (BlueGain=40000 would read as -25536 and whiten every
  // picture): each is held at the end of its range, a picture setting at the
  // sliders' ends, a gain at 0 or 1000. Values in range are taken as they are.
  auto read = [iniPath](const char* key, int fallback, int lowest, int highest) {
    const auto value = static_cast<int>(platform::GetPrivateProfileInt(kSection, key, fallback, iniPath));
    return static_cast<int16_t>(value < lowest ? lowest : (value > highest ? highest : value));
  };
  auto readGain = [&read](const char* key) { return read(key, kDefaultGainTenths, kMinGainTenths, kMaxGainTenths); };
  const int16_t brightness = read("Brightness", 50, kMinPictureSetting, kMaxPictureSetting);
  const int16_t contrast = read("Contrast", 50, kMinPictureSetting, kMaxPictureSetting);
  const int16_t colour = read("Colour", 50, kMinPictureSetting, kMaxPictureSetting);
  SetPictureControls(brightness, contrast, colour);
  const int16_t red = readGain("RedGain");
  const int16_t green = readGain("GreenGain");
  const int16_t blue = readGain("BlueGain");
  SetColourGains(red, green, blue);
  return TRUE;
}

BOOL WriteColSpaceInit(HCOLSPACE handle, const char* iniPath) {
  if (iniPath == nullptr) return FALSE;
  ColSpace* cs = Selected(handle);
  if (cs == nullptr) return FALSE;
  WriteInt("Brightness", cs->brightness, iniPath);
  WriteInt("Contrast", cs->contrast, iniPath);
  WriteInt("Colour", cs->colour, iniPath);
  int16_t red = 0, green = 0, blue = 0;
  GetColourGains(&red, &green, &blue);
  WriteInt("RedGain", red, iniPath);
  WriteInt("GreenGain", green, iniPath);
  WriteInt("BlueGain", blue, iniPath);
  return TRUE;
}

void SetPictureControls(int16_t brightness, int16_t contrast, int16_t colour) {
  ColSpace* cs = Colour().current;
  if (cs == nullptr) return;
  cs->brightness = brightness;
  cs->contrast = contrast;
  cs->colour = colour;
  cs->matrixValid = 0;
  cs->lumaValid = 0;
}

void GetPictureControls(int16_t* brightness, int16_t* contrast, int16_t* colour) {
  const ColSpace* cs = Colour().current;
  if (cs == nullptr) return;
  *brightness = cs->brightness;
  *contrast = cs->contrast;
  *colour = cs->colour;
}

void SetColourGains(int16_t red, int16_t green, int16_t blue) {
  ColSpace* cs = Colour().current;
  if (cs == nullptr) return;
  cs->redGain = red * 0.1;
  cs->greenGain = green * 0.1;
  cs->blueGain = blue * 0.1;
  cs->matrixValid = 0;
}

void GetColourGains(int16_t* red, int16_t* green, int16_t* blue) {
  const ColSpace* cs = Colour().current;
  if (cs == nullptr) return;
  *red = TruncateToInt16(cs->redGain * 10.0);
  *green = TruncateToInt16(cs->greenGain * 10.0);
  *blue = TruncateToInt16(cs->blueGain * 10.0);
}

void SetAutoWhiteBalance(int32_t on) {
  if (Colour().current != nullptr) Colour().current->autoWhiteBalance = on;
}

