// Format selection and frame conversion: SetColSpaceFormat judges a (source,
// output) pair and picks its converter once; ConvertFrame runs it on a frame.
// Also the intermediate RGB24 image of the 16-bit paths. Each acts on the
// record it is given (the device's converter); a null record fails.
#pragma once

#include "colspace/colspace.h"
#include "platform/types.h"

// 1 accepted, 0 refused (and the current formats left as they were). May
// rewrite "IYUV" to "I420" in output.
BOOL SetColSpaceFormat(ColSpace* cs, const BITMAPINFOHEADER* source, BITMAPINFOHEADER* output);
BOOL ConvertFrame(ColSpace* cs, BYTE* frame, BYTE* destination);
BOOL AllocIntermediateImage(ColSpace* cs, const BITMAPINFOHEADER* output);
BOOL FreeIntermediateImage(ColSpace* cs);
