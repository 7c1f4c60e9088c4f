#include "colspace/colspace_state.h"
#include "colspace/kernels.h"
#include "colspace/writers.h"
#include "trace/trace.h"

// Each output pixel lies a quarter of the way between input pixels, so it is
// weighted 9-3-3-1 from the four around it; the weights are separable, so a
// vertical 3:1 pass feeds a horizontal 3:1 pass without any rounding between.
//
// The enlarged image overwrites the small one in place. Output row Y covers
// input rows 2Y and 2Y + 1 and needs input rows up to Y/2 + 1, so working
// from the last row up never destroys an input row before its last use.
void Double2x(BYTE* image, LONG height, LONG width) {
  const int w = width;
  const int h = height;
  if (w < 2 || h < 2) return;
  const ColourKernels& kernels = ActiveKernels();
  if (kernels.double2x != nullptr && kernels.double2x(image, h, w)) return;
  const size_t inStride = static_cast<size_t>(3) * w;
  const size_t outStride = 2 * inStride;
  const int lastOut = 2 * w - 1;
  for (int y = 2 * h - 2; y >= 1; --y) {
    const int nearRow = y / 2;
    const int farRow = (y % 2 == 1) ? nearRow + 1 : nearRow - 1;
    const BYTE* nearLine = image + static_cast<size_t>(nearRow) * inStride;
    const BYTE* farLine = image + static_cast<size_t>(farRow) * inStride;
    BYTE* out = image + static_cast<size_t>(y) * outStride;
    // Odd output columns first from the right: X = 2c + 1 uses c and c + 1;
    // even X = 2c uses c and c - 1. Column 0 and 2w - 1 are border copies.
    for (int x = 2 * w - 2; x >= 1; --x) {
      const int nc = x / 2;
      const int fc = (x % 2 == 1) ? nc + 1 : nc - 1;
      for (int ch = 0; ch < 3; ++ch) {
        const int vn = 3 * nearLine[3 * nc + ch] + farLine[3 * nc + ch];
        const int vf = 3 * nearLine[3 * fc + ch] + farLine[3 * fc + ch];
        out[3 * x + ch] = static_cast<BYTE>((3 * vn + vf + 8) >> 4);
      }
    }
    for (int ch = 0; ch < 3; ++ch) {
      out[ch] = out[3 + ch];
      out[3 * lastOut + ch] = out[3 * (lastOut - 1) + ch];
    }
  }
  const size_t lastRow = static_cast<size_t>(2 * h - 1);
  for (size_t i = 0; i < outStride; ++i) {
    image[lastRow * outStride + i] = image[(lastRow - 1) * outStride + i];
    image[i] = image[outStride + i];
  }
}

BOOL Reformat_RGB24_To_RGB16(const ColSpace& cs, const BYTE* source, BYTE* destination) {
  // A diagnostic line, never a message box: this runs for every frame, and a
  // modal box on the stream timer's thread would stall capture.
  DriverTrace(TRACE_LINE, "Reformat_RGB24_To_RGB16");
  const int w = cs.outputFormat.biWidth;
  const int h = cs.outputFormat.biHeight;
  const size_t pixels = static_cast<size_t>(w) * h;
  const ColourKernels& kernels = ActiveKernels();
  if (kernels.rgb16 != nullptr && kernels.rgb16(source, destination, pixels)) return TRUE;
  const BYTE* __restrict src = source;
  BYTE* __restrict dst = destination;
  for (size_t i = 0; i < pixels; ++i) {
    const unsigned word = (src[3 * i] >> 3) | ((src[3 * i + 1] >> 3) << 5) | ((src[3 * i + 2] >> 3) << 10);
    dst[2 * i] = static_cast<BYTE>(word);
    dst[2 * i + 1] = static_cast<BYTE>(word >> 8);
  }
  return TRUE;
}
