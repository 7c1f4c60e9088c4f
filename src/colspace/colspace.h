// The colour layer's record, ColSpace (picture settings, gains, the luminance
// table, colour matrix, lookup block, palette, formats and geometry), and what
// is done with it: creation, selection and release, the "COLSPACE" settings
// section, the accessors the dialogs use, and the lazy rebuild of the derived
// tables. Creation, release and settings live in colspace.cpp, selection in
// colspace_state.cpp, the rebuild in table_refresh.cpp.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/types.h"

struct ColSpace;

// One converter per accepted (source, output) pair, chosen when the format is
// set so that a frame costs one indirect call and no per-pixel format test.
using ConvertRoutine = BOOL (*)(ColSpace& cs, BYTE* frame, BYTE* destination);

// A LOGPALETTE with room for all 256 entries (1028 bytes).
struct PaletteStore {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[256];
};
static_assert(sizeof(PaletteStore) == 1028);

constexpr size_t kLookupBlockBytes = 65536;
constexpr int32_t LOOKUP_NONE = 0;
constexpr int32_t LOOKUP_RGB16 = 1;
constexpr int32_t LOOKUP_PALETTE_INDEX = 2;

struct ColSpace {
  int16_t brightness = 0;
  int16_t contrast = 0;
  int16_t colour = 0;
  double redGain = 0;
  double greenGain = 0;
  double blueGain = 0;
  int32_t autoWhiteBalance = 0;
  int32_t chromaBiasU = 0;
  int32_t chromaBiasV = 0;
  double colourMatrix[9] = {};
  int32_t matrixValid = 0;
  int16_t coringThreshold = 0;
  int16_t sharpenGain = 0;
  int16_t blackLevel = 0;
  int16_t whiteLevel = 0;
  double gamma = 0;
  BYTE lumaTable[256] = {};
  int32_t lumaValid = 0;
  // 64 KB: 32768 RGB555 words, or 8192 palette indices at its start. Held as
  // words so the RGB16 view is properly aligned; read bytewise for indices.
  std::unique_ptr<uint16_t[]> lookupBlock;
  BYTE* lookupTable = nullptr;  // set while the record is current
  int32_t lookupKind = LOOKUP_NONE;
  int32_t paletteChanged = 0;
  PaletteStore palette = {};
  PaletteStore* palettePointer = nullptr;
  BITMAPINFOHEADER sourceFormat = {};
  BITMAPINFOHEADER outputFormat = {};
  int32_t stretch10by9 = 0;
  int32_t reconWidth = 0;
  int32_t reconHeight = 0;
  int32_t doubleSize = 0;
  BITMAPINFOHEADER intermediateFormat = {};
  std::unique_ptr<BYTE[]> intermediateBlock;
  BYTE* intermediateImage = nullptr;
  size_t intermediateBytes = 0;
  ConvertRoutine convertRoutine = nullptr;  // none until a format is accepted
};

using HCOLSPACE = ColSpace*;

// ---- lifecycle (one record is current at a time)
HCOLSPACE InitColSpace(const char* iniPath);
BOOL SelectColSpace(HCOLSPACE handle);
// Saves the settings when iniPath is given, then releases the record and all it
// owns. The handle is dead afterwards.
BOOL FreeColSpace(HCOLSPACE handle, const char* iniPath);
// Forgets the current record without releasing it (a re-enabled driver starts
// with no converter; the record belongs to whoever created it).
void ForgetColSpace();
// The current record, or nullptr.
ColSpace* CurrentColSpace();

// ---- settings
BOOL SetColSpaceDefaults(HCOLSPACE handle);
BOOL ReadColSpaceInit(HCOLSPACE handle, const char* iniPath);
BOOL WriteColSpaceInit(HCOLSPACE handle, const char* iniPath);

// ---- accessors on the current record (no effect when none is current)
void SetPictureControls(int16_t brightness, int16_t contrast, int16_t colour);
void GetPictureControls(int16_t* brightness, int16_t* contrast, int16_t* colour);
void SetColourGains(int16_t red, int16_t green, int16_t blue);
void GetColourGains(int16_t* red, int16_t* green, int16_t* blue);
void SetAutoWhiteBalance(int32_t on);
// The nine values of the record's colour matrix, rebuilt first when stale;
// nullptr without a record.
const double* GetColourMatrix(ColSpace* cs);
// Rebuilds whatever derived table of the record is stale.
void UpdateColSpaceTables(ColSpace* cs);

// True for the four planar/packed YUV outputs ("YVU9", "I420", "YUY2", "YV12").
bool IsYUVOutput(DWORD compression);
