// The row kernels of the "PSHU" reconstruction: demosaic, sharpening and
// colour correction fused per output row, column-parallel in 16-bit lanes
// where the settings keep every intermediate inside 16 bits.
#pragma once

#include <cstdint>

#include "colspace/colspace.h"
#include "colspace/colspace_state.h"

// Whether the 16-bit demosaic lanes hold for these sharpening settings.
bool NarrowSharpening(int16_t threshold, int16_t gain);
// Whether the colour coefficients keep every product sum inside 16 bits.
bool NarrowColour(const int16_t k[9]);

struct ColourPass {
  const int16_t* k;   // the nine coefficients
  const BYTE* luma;   // luminance table
  int64_t sumU = 0;   // bright-pixel statistics, accumulated
  int64_t sumV = 0;
};

// Builds the green plane, then writes every output row (bottom-up); with
// colour set, each row is also colour-corrected on the way out.
void DemosaicRows(const BYTE* frame, const DemosaicGeometry& g, BYTE* plane, int16_t threshold, int16_t gain,
                  ColourPass* colour, BYTE* destination);
