// Format selection and frame conversion: SetColSpaceFormat judges a (source,
// output) pair and picks its converter once; ConvertFrame runs it on a frame.
// Also the intermediate RGB24 image of the 16-bit paths.
#pragma once

#include "colspace/colspace.h"
#include "platform/types.h"

// 1 accepted, 0 refused (and the current formats left as they were). May
// rewrite "IYUV" to "I420" in output.
BOOL SetColSpaceFormat(const BITMAPINFOHEADER* source, BITMAPINFOHEADER* output);
BOOL ConvertFrame(BYTE* frame, BYTE* destination);
BOOL AllocIntermediateImage(const BITMAPINFOHEADER* output);
BOOL FreeIntermediateImage();
