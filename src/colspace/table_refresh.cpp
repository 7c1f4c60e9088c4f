// The derived tables of the current record, rebuilt only when a setting they
// come from has changed: the luminance curve, the colour matrix, and the
// lookup block of the 16-bit and palette outputs.
#include "colspace/colour_tables.h"
#include "colspace/colspace.h"
#include "colspace/colspace_state.h"
#include "colspace/palette.h"

const double* GetColourMatrix(ColSpace* cs) {
  if (cs == nullptr) return nullptr;
  if (!cs->matrixValid) {
    BuildColourMatrix(cs->colourMatrix, cs->redGain, cs->greenGain, cs->blueGain, cs->colour);
    cs->matrixValid = 1;
  }
  return cs->colourMatrix;
}

void UpdateColSpaceTables(ColSpace* cs) {
  if (cs == nullptr) return;
  if (!cs->lumaValid) {
    BuildLumaTable(cs->lumaTable, cs->gamma, cs->blackLevel, cs->whiteLevel, cs->brightness, cs->contrast);
    cs->lumaValid = 1;
    if (IsYUVOutput(cs->outputFormat.biCompression)) {
      for (BYTE& entry : cs->lumaTable) entry = static_cast<BYTE>(entry + 16);
    }
  }
  GetColourMatrix(cs);
  if (cs->outputFormat.biCompression == 0) {
    if (cs->outputFormat.biBitCount == 16 && cs->lookupKind != LOOKUP_RGB16) {
      BuildRGB16Table(cs->lookupBlock.get());
      cs->lookupKind = LOOKUP_RGB16;
    }
    if (cs->outputFormat.biBitCount == 8) BuildPaletteIndexTable(cs);
  }
}
