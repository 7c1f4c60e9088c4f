// The output writers: "PYUV" frames to RGB24, RGB16, 8-bit palette indices and
// the planar and packed YUV formats, the 2x enlargement, and the RGB24 to
// RGB16 reformat. Each writes at the current record's source size.
#pragma once

#include "colspace/colspace.h"
#include "platform/types.h"

BOOL YUVToRGB24(const BYTE* frame, BYTE* destination);
BOOL YUVToRGB16(const BYTE* frame, BYTE* destination);
BOOL YUVToPal8(const BYTE* frame, BYTE* destination);
BOOL YUVToI420(const BYTE* frame, BYTE* destination);
BOOL YUVToYV12(const BYTE* frame, BYTE* destination);
BOOL YUVToYUY2(const BYTE* frame, BYTE* destination);
BOOL YUVToYVU9(const BYTE* frame, BYTE* destination);
// w x h RGB24 pixels at stride 3w become 2w x 2h at stride 6w in the same
// buffer, which must hold 12 w h bytes.
void Double2x(BYTE* image, LONG height, LONG width);
// From an RGB24 image of outputFormat's size to RGB555 words.
BOOL Reformat_RGB24_To_RGB16(const ColSpace& cs, const BYTE* source, BYTE* destination);
