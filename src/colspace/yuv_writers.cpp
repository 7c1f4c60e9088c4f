#include <cstring>

#include "colspace/colour_tables.h"
#include "colspace/store_bgr.h"
#include "colspace/colspace_state.h"
#include "colspace/kernels.h"
#include "colspace/writers.h"
#include "colspace/yuv_portable.h"

// Luminance always goes through the luminance table; chroma bytes are used as
// they are.

namespace {

// Widest "PYUV" row the writers meet (the 176-pixel quarter frame and twice
// that for safety); format selection keeps sources inside the raw buffer.
constexpr int kMaxYUVWidth = 512;

inline int16_t Clamp16(int16_t v) { return v < 0 ? int16_t{0} : (v > 255 ? int16_t{255} : v); }

using YUVFrame = PortableYUVFrame;

// The public writers: the frame as it stands (no highlight limit), through the
// kernel set in use.
BOOL WriteThroughKernels(const BYTE* frame, BYTE* destination, YUVTarget target) {
  const ColSpace& cs = *CurrentColSpace();
  YUVJob job;
  job.frame = const_cast<BYTE*>(frame);  // not written without prepare
  job.width = static_cast<int>(cs.sourceFormat.biWidth);
  job.height = static_cast<int>(cs.sourceFormat.biHeight);
  job.luma = cs.lumaTable;
  job.lumaPairs = LumaPairTable(cs.lumaTable);
  job.destination = destination;
  job.rgb16Table = cs.lookupBlock.get();
  job.paletteTable = cs.lookupTable;
  if (!ActiveKernels().yuv(job, target)) PortableKernels().yuv(job, target);
  return TRUE;
}

// Y plane: both luminance lines of every group, top-down, through the table.
void WriteLumaPlane(const YUVFrame& f, const BYTE* __restrict luma, BYTE* __restrict plane) {
  const int run = 2 * f.w;
  for (int m = 0; m < f.h / 2; ++m) {
    const BYTE* __restrict src = f.Y1(m);
    BYTE* __restrict dst = plane + static_cast<size_t>(m) * run;
    for (int i = 0; i < run; ++i) dst[i] = luma[src[i]];
  }
}

// The two chroma planes at quarter size, each row from one group's pairs.
void WriteChromaPlanes(const YUVFrame& f, BYTE* __restrict uPlane, BYTE* __restrict vPlane) {
  const int half = f.w / 2;
  for (int m = 0; m < f.h / 2; ++m) {
    const BYTE* __restrict uv = f.UV(m);
    BYTE* __restrict u = uPlane + static_cast<size_t>(m) * half;
    BYTE* __restrict v = vPlane + static_cast<size_t>(m) * half;
    for (int k = 0; k < half; ++k) {
      u[k] = uv[2 * k];
      v[k] = uv[2 * k + 1];
    }
  }
}

}  // namespace

void WriteRGB24Portable(const YUVFrame& f, const BYTE* __restrict luma, BYTE* destination) {
  const size_t stride = static_cast<size_t>(3) * f.w;
  const int half = f.w / 2;
  // Per row: the luminance terms through the table (the one step that cannot
  // run in vector lanes), the chroma terms per pair, then every pixel in
  // 16-bit lanes, then the B, G, R bytes.
  alignas(16) int16_t yy[kMaxYUVWidth];
  alignas(16) int16_t bu[kMaxYUVWidth];
  alignas(16) int16_t guv[kMaxYUVWidth];
  alignas(16) int16_t rv[kMaxYUVWidth];
  alignas(16) uint32_t bgr0[kMaxYUVWidth];
  for (int row = 0; row < f.h; ++row) {
    const BYTE* __restrict y = f.RGBLuma(row);
    const BYTE* __restrict uv = f.UV(row / 2);
    for (int x = 0; x < f.w; ++x) yy[x] = static_cast<int16_t>(19 * luma[y[x]]);
    for (int k = 0; k < half; ++k) {
      const int u = uv[2 * k] - 128;
      const int v = uv[2 * k + 1] - 128;
      bu[2 * k] = bu[2 * k + 1] = static_cast<int16_t>(32 * u);
      guv[2 * k] = guv[2 * k + 1] = static_cast<int16_t>(-6 * u - 13 * v);
      rv[2 * k] = rv[2 * k + 1] = static_cast<int16_t>(26 * v);
    }
    for (int x = 0; x < f.w; ++x) {
      const uint32_t b = static_cast<uint32_t>(Clamp16(static_cast<int16_t>(static_cast<int16_t>(yy[x] + bu[x]) >> 4)));
      const uint32_t g = static_cast<uint32_t>(Clamp16(static_cast<int16_t>(static_cast<int16_t>(yy[x] + guv[x]) >> 4)));
      const uint32_t r = static_cast<uint32_t>(Clamp16(static_cast<int16_t>(static_cast<int16_t>(yy[x] + rv[x]) >> 4)));
      bgr0[x] = b | g << 8 | r << 16;
    }
    StoreBGR(bgr0, f.w, destination + static_cast<size_t>(f.h - 1 - row) * stride);
  }
}

BOOL YUVToRGB24(const BYTE* frame, BYTE* destination) {
  return WriteThroughKernels(frame, destination, YUVTarget::kRGB24);
}

void WriteRGB16Portable(const YUVFrame& f, const BYTE* __restrict luma, const uint16_t* __restrict table,
                        BYTE* destination) {
  const size_t stride = static_cast<size_t>(2) * f.w;
  for (int row = 0; row < f.h; ++row) {
    const BYTE* __restrict y = f.RGBLuma(row);
    const BYTE* __restrict uv = f.UV(row / 2);
    BYTE* __restrict out = destination + static_cast<size_t>(f.h - 1 - row) * stride;
    for (int k = 0; k < f.w / 2; ++k) {
      const int chroma = ((uv[2 * k] >> 3) << 5) | (uv[2 * k + 1] >> 3);
      for (int p = 0; p < 2; ++p) {
        const uint16_t word = table[((luma[y[2 * k + p]] >> 3) << 10) | chroma];
        out[4 * k + 2 * p] = static_cast<BYTE>(word);
        out[4 * k + 2 * p + 1] = static_cast<BYTE>(word >> 8);
      }
    }
  }
}

BOOL YUVToRGB16(const BYTE* frame, BYTE* destination) {
  return WriteThroughKernels(frame, destination, YUVTarget::kRGB16);
}

void WritePal8Portable(const YUVFrame& f, const BYTE* __restrict luma, const BYTE* __restrict table,
                       BYTE* destination) {
  for (int row = 0; row < f.h; ++row) {
    const BYTE* __restrict y = f.RGBLuma(row);
    const BYTE* __restrict uv = f.UV(row / 2);
    BYTE* __restrict out = destination + static_cast<size_t>(f.h - 1 - row) * f.w;
    for (int k = 0; k < f.w / 2; ++k) {
      const int chroma = ((uv[2 * k] >> 4) << 4) | (uv[2 * k + 1] >> 4);
      out[2 * k] = table[((luma[y[2 * k]] >> 3) << 8) | chroma];
      out[2 * k + 1] = table[((luma[y[2 * k + 1]] >> 3) << 8) | chroma];
    }
  }
}

BOOL YUVToPal8(const BYTE* frame, BYTE* destination) {
  return WriteThroughKernels(frame, destination, YUVTarget::kPal8);
}

void WritePlanarPortable(const YUVFrame& f, const BYTE* luma, BYTE* destination, bool uFirst) {
  const size_t area = static_cast<size_t>(f.w) * f.h;
  WriteLumaPlane(f, luma, destination);
  BYTE* first = destination + area;
  BYTE* second = destination + area + area / 4;
  WriteChromaPlanes(f, uFirst ? first : second, uFirst ? second : first);
}

void WriteYUY2Portable(const YUVFrame& f, const BYTE* __restrict luma, BYTE* destination) {
  const size_t stride = static_cast<size_t>(2) * f.w;
  for (int m = 0; m < f.h / 2; ++m) {
    const BYTE* __restrict uv = f.UV(m);
    for (int line = 0; line < 2; ++line) {
      const BYTE* __restrict y = line == 0 ? f.Y1(m) : f.Y2(m);
      BYTE* __restrict out = destination + static_cast<size_t>(f.h - 1 - 2 * m - line) * stride;
      for (int k = 0; k < f.w / 2; ++k) {
        out[4 * k + 0] = luma[y[2 * k]];
        out[4 * k + 1] = uv[2 * k];
        out[4 * k + 2] = luma[y[2 * k + 1]];
        out[4 * k + 3] = uv[2 * k + 1];
      }
    }
  }
}

void WriteYVU9Portable(const YUVFrame& f, const BYTE* luma, BYTE* destination) {
  const size_t area = static_cast<size_t>(f.w) * f.h;
  WriteLumaPlane(f, luma, destination);
  BYTE* vPlane = destination + area;
  BYTE* uPlane = destination + area + area / 16;
  const int cols = f.w / 4;
  for (int j = 0; j < f.h / 4; ++j) {
    const BYTE* __restrict upper = f.UV(2 * j);
    const BYTE* __restrict lower = f.UV(2 * j + 1);
    BYTE* __restrict v = vPlane + static_cast<size_t>(j) * cols;
    BYTE* __restrict u = uPlane + static_cast<size_t>(j) * cols;
    for (int k = 0; k < cols; ++k) {
      v[k] = static_cast<BYTE>((upper[4 * k + 1] + lower[4 * k + 3]) >> 1);
      u[k] = static_cast<BYTE>((upper[4 * k] + lower[4 * k + 2]) >> 1);
    }
  }
}

BOOL YUVToI420(const BYTE* frame, BYTE* destination) {
  return WriteThroughKernels(frame, destination, YUVTarget::kI420);
}

BOOL YUVToYV12(const BYTE* frame, BYTE* destination) {
  return WriteThroughKernels(frame, destination, YUVTarget::kYV12);
}

BOOL YUVToYUY2(const BYTE* frame, BYTE* destination) {
  return WriteThroughKernels(frame, destination, YUVTarget::kYUY2);
}

BOOL YUVToYVU9(const BYTE* frame, BYTE* destination) {
  return WriteThroughKernels(frame, destination, YUVTarget::kYVU9);
}
