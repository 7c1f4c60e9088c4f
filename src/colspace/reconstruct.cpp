#include "colspace/reconstruct.h"

#include <cstring>
#include <new>

#include "colspace/colour_tables.h"
#include "colspace/colspace_state.h"
#include "colspace/kernels.h"
#include "colspace/reconstruct_rows.h"

BOOL AllocGreenPlane(LONG width, LONG height, int32_t bytesPerPixel) {
  ColourState& module = Colour();
  ReleaseGreenPlane();
  if (width < 5 || height < 5) return FALSE;
  DemosaicGeometry& g = module.geometry;
  const size_t bytes = static_cast<size_t>(width - 2) * static_cast<size_t>(height - 2);
  module.greenPlane.reset(new (std::nothrow) BYTE[bytes]);
  if (!module.greenPlane) return FALSE;
  module.greenPlaneBytes = bytes;
  g.width = width;
  g.height = height;
  g.width2 = width - 2;
  g.height2 = height - 2;
  g.width4 = width - 4;
  g.height4 = height - 4;
  g.bytesPerPixel = bytesPerPixel;
  return TRUE;
}

void ReleaseGreenPlane() {
  ColourState& module = Colour();
  module.greenPlane.reset();
  module.greenPlaneBytes = 0;
  module.geometry = DemosaicGeometry{};
}

BOOL DeinterleaveRows(BYTE* frame, LONG width, LONG height) {
  if (width >= kDeinterleaveRowBytes) return FALSE;
  if (width < 0) return FALSE;
  if (height <= 0) return TRUE;
  ActiveKernels().deinterleave(frame, static_cast<int>(width), static_cast<int>(height));
  return TRUE;
}

BOOL ReconstructRawFrame(ColSpace& cs, BYTE* frame, BYTE* destination) {
  ColourState& module = Colour();
  if (module.greenPlane == nullptr) return FALSE;
  const LONG width = cs.sourceFormat.biWidth;
  const LONG height = cs.sourceFormat.biHeight;
  // What DeinterleaveRows refuses.
  if (width >= kDeinterleaveRowBytes || width < 0) return FALSE;
  const DemosaicGeometry& g = module.geometry;
  // De-interleave, demosaic and colour correction in one pass over the rows:
  // the same arithmetic as DeinterleaveRows, Demosaic and CorrectColour in
  // turn, without writing and re-reading the image in between. The kernels
  // de-interleave the rows as they read them; a green plane shaped for
  // another size (which format selection never leaves) gets the steps in
  // turn, de-interleaved at the source's size as before.
  const bool shaped = g.width == width && g.height == height;
  int16_t k[9];
  MatrixCoefficients(cs.colourMatrix, k);
  MosaicJob job;
  job.frame = frame;
  job.geometry = &g;
  job.plane = module.greenPlane.get();
  job.threshold = cs.coringThreshold;
  job.gain = cs.sharpenGain;
  job.k = k;
  job.luma = cs.lumaTable;
  job.lumaPairs = LumaPairTable(cs.lumaTable);
  job.destination = destination;
  if (!shaped) {
    DeinterleaveRows(frame, width, height);
    ColourPass pass{k, cs.lumaTable};
    DemosaicRows(frame, g, module.greenPlane.get(), cs.coringThreshold, cs.sharpenGain, &pass, destination);
    job.sumU = pass.sumU;
    job.sumV = pass.sumV;
  } else if (!ActiveKernels().mosaic(job)) {
    PortableKernels().mosaic(job);
  }
  const int64_t n = static_cast<int64_t>(g.width4) * g.height4 / 8;
  if (n > 0) {
    cs.chromaBiasU = static_cast<int32_t>(job.sumU / n);
    cs.chromaBiasV = static_cast<int32_t>(job.sumV / n);
  }
  if (!cs.stretch10by9) return TRUE;
  return Stretch10by9(destination, cs.reconWidth, cs.reconHeight, cs.outputFormat.biWidth,
                      cs.outputFormat.biHeight);
}
