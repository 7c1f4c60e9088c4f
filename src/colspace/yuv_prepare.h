// "PYUV" frames: the highlight chroma limit with the white-balance statistics,
// the automatic white balance itself, and the 160 x 132 to 176 x 144 stretch.
#pragma once

#include <cstdint>

#include "colspace/colspace.h"
#include "platform/types.h"

void PrepareYUVFrame(ColSpace& cs, BYTE* frame, LONG width, LONG height);
// The white-balance statistics of a prepared frame from the sums of its
// bright pairs' chroma.
void SetYUVChromaBias(ColSpace& cs, int64_t sumU, int64_t sumV, LONG width, LONG height);
void AdjustWhiteBalance(int32_t chromaBiasU, int32_t chromaBiasV, double* redGain, double* greenGain,
                        double* blueGain);

constexpr int kQCIFSourceWidth = 160;
constexpr int kQCIFSourceLines = 198;  // 66 groups of three lines
constexpr int kQCIFWidth = 176;
constexpr int kQCIFLines = 216;  // 72 groups
// Offset in the raw buffer at which the stretched copy is written.
constexpr int kQCIFOffset = kQCIFSourceWidth * kQCIFSourceLines;
BOOL StretchToQCIF(const BYTE* source, BYTE* destination);
