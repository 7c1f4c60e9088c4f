// The colour layer's process-wide state: the current record, the demosaic
// geometry with its green plane, which exist once for the whole driver, and
// the per-pixel loops in use with the two-pixel luminance table they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "colspace/colspace.h"
#include "core/driver_context.h"
#include "core/frame_limits.h"

struct DemosaicGeometry {
  int32_t width = 0;  // source W
  int32_t height = 0;
  int32_t width2 = 0;  // W - 2: green-plane width
  int32_t height2 = 0;
  int32_t width4 = 0;  // W - 4: reconstructed width
  int32_t height4 = 0;
  int32_t bytesPerPixel = 0;
};

struct ColourKernels;

struct ColourState {
  static constexpr int kResetRank = 40;  // by layer, highest first (see core/README.md)
  // Releases the green plane and forgets the current record.
  void Reset();

  ColSpace* current = nullptr;
  DemosaicGeometry geometry;
  std::unique_ptr<BYTE[]> greenPlane;  // (W - 2) x (H - 2) bytes
  size_t greenPlaneBytes = 0;
  const ColourKernels* kernels = nullptr;  // chosen once, see colspace/kernels.h
  bool kernelsForced = false;
  // The fastest set per path, measured once (colspace/kernel_calibration.h):
  // the "PSHU" reconstruction, each "PYUV" output, and the RGB24 helpers.
  bool calibrated = false;
  const ColourKernels* mosaicSet = nullptr;
  const ColourKernels* yuvSets[7] = {};
  const ColourKernels* rgbSet = nullptr;
  std::unique_ptr<uint16_t[]> lumaPairs;  // 65536 entries, built from lumaPairsSource
  BYTE lumaPairsSource[256] = {};
  bool lumaPairsValid = false;
};

ColourState& Colour();

