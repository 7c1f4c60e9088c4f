#include "colspace/yuv_prepare.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "colspace/colspace_state.h"
#include "colspace/yuv_portable.h"

void PrepareYUVRows(BYTE* frame, int width, int height, const BYTE* luma, int64_t* sumU, int64_t* sumV) {
  const size_t w = static_cast<size_t>(width);
  const int pairs = (width + 1) / 2;
  int64_t su = 0;
  int64_t sv = 0;
  // A table that never falls (any contrast of 0 or more) makes "brighter than
  // 130" a plain compare of the raw byte with the first level that passes, so
  // dark pairs cost no table read.
  int firstBright = 256;
  bool rising = true;
  for (int i = 0; i < 256; ++i) {
    if (i > 0 && luma[i] < luma[i - 1]) rising = false;
    if (firstBright == 256 && luma[i] > 130) firstBright = i;
  }
  for (int m = 0; m < height / 2; ++m) {
    const BYTE* __restrict y1 = frame + 3 * static_cast<size_t>(m) * w;
    BYTE* __restrict uv = frame + (3 * static_cast<size_t>(m) + 2) * w;
    for (int k = 0; k < pairs; ++k) {
      if (rising ? y1[2 * k] < firstBright : luma[y1[2 * k]] <= 130) continue;
      const int yv = luma[y1[2 * k]];
      // Highlights carry little colour: the closer to white, the less.
      const int lim = ((235 - yv) >> 2) + 128;
      int u = uv[2 * k];
      int v = uv[2 * k + 1];
      if (u > lim) u = lim;
      if (v > lim) v = lim;
      uv[2 * k] = static_cast<BYTE>(u);
      uv[2 * k + 1] = static_cast<BYTE>(v);
      su += u - 128;
      sv += v - 128;
    }
  }
  *sumU += su;
  *sumV += sv;
}

void SetYUVChromaBias(ColSpace& cs, int64_t sumU, int64_t sumV, LONG width, LONG height) {
  const int64_t n = static_cast<int64_t>(static_cast<size_t>(width) * static_cast<size_t>(height) / 8);
  if (n > 0) {
    cs.chromaBiasU = static_cast<int32_t>(4 * sumU / n);
    cs.chromaBiasV = static_cast<int32_t>(4 * sumV / n);
  }
}

void PrepareYUVFrame(ColSpace& cs, BYTE* frame, LONG width, LONG height) {
  if (width <= 0 || height <= 0) return;
  int64_t sumU = 0;
  int64_t sumV = 0;
  PrepareYUVRows(frame, width, height, cs.lumaTable, &sumU, &sumV);
  SetYUVChromaBias(cs, sumU, sumV, width, height);
}

void AdjustWhiteBalance(int32_t bu, int32_t bv, double* redGain, double* greenGain, double* blueGain) {
  if (std::abs(bu) <= 10 && std::abs(bv) <= 10) return;
  const bool sameSign = (bu > 0 && bv > 0) || (bu < 0 && bv < 0);
  double dG = sameSign ? (bu + bv) * 0.0005 : 0.0;
  double dR = -bv * 0.001;
  double dB = -bu * 0.001;
  dR = std::clamp(dR, -0.05, 0.05);
  dG = std::clamp(dG, -0.05, 0.05);
  dB = std::clamp(dB, -0.05, 0.05);
  const double r = *redGain + dR;
  const double g = *greenGain + dG;
  const double b = *blueGain + dB;
  const double m = std::min({r, g, b});
  // Gains read as zero or below from the settings would make this a division
  // by zero or flip signs: leave them alone rather than feed NaN downstream.
  if (!(m > 0.0) || !std::isfinite(m)) return;
  *redGain = std::min(r / m, 5.0);
  *greenGain = std::min(g / m, 5.0);
  *blueGain = std::min(b / m, 5.0);
}

namespace {

// Luminance line q and chroma line p of a frame w bytes wide.
inline size_t LumaLine(int q, int w) { return static_cast<size_t>(3 * (q / 2) + (q % 2)) * w; }
inline size_t ChromaLine(int p, int w) { return static_cast<size_t>(3 * p + 2) * w; }

// 10 -> 11 in 16 blocks: the 10th byte repeated.
void WidenLuma(const BYTE* in, BYTE* out) {
  for (int b = 0; b < 16; ++b) {
    std::memcpy(out + 11 * b, in + 10 * b, 10);
    out[11 * b + 10] = in[10 * b + 9];
  }
}

// 20 -> 22 in 8 blocks: the last U, V pair repeated.
void WidenChroma(const BYTE* in, BYTE* out) {
  for (int b = 0; b < 8; ++b) {
    std::memcpy(out + 22 * b, in + 20 * b, 20);
    out[22 * b + 20] = in[20 * b + 18];
    out[22 * b + 21] = in[20 * b + 19];
  }
}

}  // namespace

BOOL StretchToQCIF(const BYTE* source, BYTE* destination) {
  constexpr int sw = kQCIFSourceWidth;
  constexpr int dw = kQCIFWidth;
  // Every 11th line is a copy of the one after it, so lines go last to first.
  for (int q = 143; q >= 0; --q) {
    BYTE* out = destination + LumaLine(q, dw);
    if (q == 0) {
      WidenLuma(source + LumaLine(1, sw), out);
    } else if ((q - 1) % 11 == 0) {
      std::memcpy(out, destination + LumaLine(q + 1, dw), dw);
    } else {
      WidenLuma(source + LumaLine(q - (q - 1) / 11, sw), out);
    }
  }
  for (int p = 71; p >= 0; --p) {
    BYTE* out = destination + ChromaLine(p, dw);
    if (p % 11 == 6) {
      std::memcpy(out, destination + ChromaLine(p + 1, dw), dw);
    } else {
      WidenChroma(source + ChromaLine(p - (p + 5) / 11, sw), out);
    }
  }
  return TRUE;
}
