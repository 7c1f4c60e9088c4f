#include "colspace/colspace_state.h"
#include "colspace/reconstruct.h"
#include "colspace/reconstruct_rows.h"

BOOL Demosaic(const BYTE* frame, int16_t threshold, int16_t gain, BYTE* destination) {
  const ColourState& module = Colour();
  const DemosaicGeometry& g = module.geometry;
  BYTE* plane = module.greenPlane.get();
  if (plane == nullptr || g.width < 5 || g.width >= kDeinterleaveRowBytes) return FALSE;
  DemosaicRows(frame, g, plane, threshold, gain, nullptr, destination);
  return TRUE;
}
