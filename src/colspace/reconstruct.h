// Reconstruction of a raw "PSHU" mosaic into RGB24: row de-interleave, the
// demosaic with its green plane and sharpening, colour correction through the
// colour matrix and luminance table, and the optional 10/9 enlargement.
#pragma once

#include <cstdint>

#include "colspace/colspace.h"
#include "platform/types.h"

// Largest row DeinterleaveRows handles (its row buffer), and the line buffer of
// the 10/9 stretch.
constexpr int kDeinterleaveRowBytes = 512;
constexpr int kStretchLineBytes = 1071;

// Shapes the module's demosaic geometry for a W x H source and allocates the
// (W - 2) x (H - 2) green plane. 0 on failure (nothing allocated then).
BOOL AllocGreenPlane(LONG width, LONG height, int32_t bytesPerPixel);
void ReleaseGreenPlane();

BOOL ReconstructRawFrame(ColSpace& cs, BYTE* frame, BYTE* destination);
BOOL DeinterleaveRows(BYTE* frame, LONG width, LONG height);
// Needs the green plane shaped for the frame (AllocGreenPlane).
BOOL Demosaic(const BYTE* frame, int16_t threshold, int16_t gain, BYTE* destination);
BOOL CorrectColour(ColSpace& cs, BYTE* image, LONG width, LONG height);
// Whether Stretch10by9 can enlarge w x h to newWidth x newHeight.
bool CanStretch10by9(LONG width, LONG height, LONG newWidth, LONG newHeight);
BOOL Stretch10by9(BYTE* image, LONG width, LONG height, LONG newWidth, LONG newHeight);
BOOL SpreadRows(BYTE* image, LONG rowBytes, LONG rows, LONG newStride, LONG newRows);
