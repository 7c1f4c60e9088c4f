// The portable "PYUV" loops: the highlight limit with its sums, and the writers
// of RGB24, RGB16, palette indices and the YUV outputs, on a frame of the
// given size. The public
// writers and the converters reach them through colspace/kernels.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

// A "PYUV" frame is h/2 groups of three lines of w bytes: luminance of the
// upper row (Y1), luminance of the lower row (Y2), then w/2 chroma pairs U, V
// shared by both rows.
struct PortableYUVFrame {
  const BYTE* frame;
  int w;
  int h;
  const BYTE* Y1(int m) const { return frame + static_cast<size_t>(3 * m) * w; }
  const BYTE* Y2(int m) const { return frame + static_cast<size_t>(3 * m + 1) * w; }
  const BYTE* UV(int m) const { return frame + static_cast<size_t>(3 * m + 2) * w; }
  // The RGB writers take image row 2m from Y2(m) and row 2m + 1 from Y1(m + 1)
  // (the last row repeats Y2(m)), both with the chroma of group m.
  const BYTE* RGBLuma(int row) const {
    const int m = row / 2;
    if (row % 2 == 0 || row == h - 1) return Y2(m);
    return Y1(m + 1);
  }
};

// Limits the chroma of bright pairs in place and adds their chroma (less 128)
// to the sums.
void PrepareYUVRows(BYTE* frame, int width, int height, const BYTE* luma, int64_t* sumU, int64_t* sumV);
void WriteRGB24Portable(const PortableYUVFrame& f, const BYTE* luma, BYTE* destination);
// I420 (uFirst) or YV12.
void WritePlanarPortable(const PortableYUVFrame& f, const BYTE* luma, BYTE* destination, bool uFirst);
void WriteYUY2Portable(const PortableYUVFrame& f, const BYTE* luma, BYTE* destination);
void WriteYVU9Portable(const PortableYUVFrame& f, const BYTE* luma, BYTE* destination);
void WriteRGB16Portable(const PortableYUVFrame& f, const BYTE* luma, const uint16_t* table, BYTE* destination);
void WritePal8Portable(const PortableYUVFrame& f, const BYTE* luma, const BYTE* table, BYTE* destination);
