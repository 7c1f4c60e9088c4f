#include "colspace/reconstruct_rows.h"

#include <algorithm>
#include <array>

#include "colspace/reconstruct.h"

// The mosaic: even rows G R G R ..., odd rows B G B G .... Every output pixel
// sits on the corner point between four source pixels. Red and blue are the
// bilinear 9-3-3-1 mix of the four nearest samples of their colour; that mix
// is a [1 3 3 1] x [1 3 3 1] filter over the 4 x 4 window of the mosaic with
// every other colour's samples set to zero, which lets each row be worked
// column-parallel with no per-pixel choice of neighbours. Green comes from the
// green plane (one value per corner point), smoothed, and the detail it loses
// is added back, cored, to all three colours.
//
// The loops are written element by element over short row arrays so that the
// compiler runs them in vector lanes; 16-bit lanes are used only where the
// ranges are known to fit, and the casts to int16_t say so.

namespace {

constexpr int kMaxRow = kDeinterleaveRowBytes;
constexpr int kPad = 16;

constexpr std::array<int16_t, kMaxRow> ParityMask(int keep) {
  std::array<int16_t, kMaxRow> mask{};
  for (int x = 0; x < kMaxRow; ++x) mask[x] = (x % 2 == keep) ? int16_t{-1} : int16_t{0};
  return mask;
}
// Red samples stand in odd columns, blue in even ones.
alignas(16) constexpr std::array<int16_t, kMaxRow> kRedColumns = ParityMask(1);
constexpr std::array<BYTE, kMaxRow + 16> OddBytes() {
  std::array<BYTE, kMaxRow + 16> mask{};
  for (int x = 0; x < kMaxRow + 16; ++x) mask[x] = (x % 2 == 1) ? BYTE{0xFF} : BYTE{0};
  return mask;
}
alignas(16) constexpr std::array<BYTE, kMaxRow + 16> kOddBytes = OddBytes();
alignas(16) constexpr std::array<int16_t, kMaxRow> kBlueColumns = ParityMask(0);

inline int16_t I16(int v) { return static_cast<int16_t>(v); }
inline int16_t Clamp16(int16_t v, int16_t lo, int16_t hi) { return std::min(std::max(v, lo), hi); }

// Green plane: per corner point the mean of the two greens of its 2 x 2 block.
// In the block's two rows the greens sit in alternating columns, so one merged
// "green line" holds a green for every column, and each point averages two
// neighbours of it.
void BuildGreenPlane(const BYTE* frame, const DemosaicGeometry& g, BYTE* plane) {
  alignas(16) BYTE line[kMaxRow + kPad];
  for (int gy = 0; gy < g.height2; ++gy) {
    const BYTE* __restrict r0 = frame + static_cast<size_t>(gy) * g.width;
    const BYTE* __restrict r1 = r0 + g.width;
    // Row gy even: greens at even x in r0, odd x in r1; gy odd: the reverse.
    const BYTE* __restrict evenSrc = (gy % 2 == 0) ? r0 : r1;
    const BYTE* __restrict oddSrc = (gy % 2 == 0) ? r1 : r0;
    const BYTE* __restrict odd = kOddBytes.data();
    BYTE* __restrict l = line;
    for (int x = 0; x < g.width; ++x) l[x] = static_cast<BYTE>((oddSrc[x] & odd[x]) | (evenSrc[x] & ~odd[x]));
    BYTE* __restrict out = plane + static_cast<size_t>(gy) * g.width2;
    const int n = g.width2;
    for (int x = 0; x < n; ++x) out[x] = static_cast<BYTE>((l[x] + l[x + 1]) >> 1);
  }
}

struct RowBuffers {
  alignas(16) int16_t vRed[kMaxRow + kPad];
  alignas(16) int16_t vBlue[kMaxRow + kPad];
  alignas(16) int16_t b[kMaxRow + kPad];
  alignas(16) int16_t g[kMaxRow + kPad];
  alignas(16) int16_t r[kMaxRow + kPad];
  alignas(16) int16_t u[kMaxRow + kPad];
  alignas(16) int16_t v[kMaxRow + kPad];
  alignas(16) int16_t y[kMaxRow + kPad];
};

// Vertical [3 1] (near, far) mix of one colour, zero off its columns.
void VerticalMix(const BYTE* __restrict nearRow, const BYTE* __restrict farRow, const int16_t* __restrict mask,
                 int width, int16_t* __restrict out) {
  for (int x = 0; x < width; ++x) out[x] = I16((3 * nearRow[x] + farRow[x]) & mask[x]);
}

// Red, blue and sharpened green of one output row, 16-bit lanes.
void DemosaicRowNarrow(RowBuffers& rb, const BYTE* __restrict gUp, const BYTE* __restrict gMid,
                       const BYTE* __restrict gDown, int w, int16_t thr, int16_t gain) {
  const int16_t* __restrict vr = rb.vRed;
  const int16_t* __restrict vb = rb.vBlue;
  int16_t* __restrict ob = rb.b;
  int16_t* __restrict og = rb.g;
  int16_t* __restrict orr = rb.r;
  const int16_t lo = I16(-thr);
  for (int x = 0; x < w; ++x) {
    const int16_t red = I16(I16(vr[x] + vr[x + 3] + I16(3 * I16(vr[x + 1] + vr[x + 2]))) >> 4);
    const int16_t blue = I16(I16(vb[x] + vb[x + 3] + I16(3 * I16(vb[x + 1] + vb[x + 2]))) >> 4);
    const int16_t g0 = gMid[x + 1];
    const int16_t n = I16(gMid[x] + gMid[x + 2] + gUp[x + 1] + gDown[x + 1]);
    const int16_t d = I16(gUp[x] + gUp[x + 2] + gDown[x] + gDown[x + 2]);
    const int16_t smooth = I16(I16(4 * g0 + 2 * n + d) >> 4);
    const int16_t detail = I16(I16(I16(8 * g0 - d) >> 2) - smooth);
    const int16_t cored = I16(detail - Clamp16(detail, lo, thr));
    const int16_t boost = I16(I16(cored * gain) >> 1);
    ob[x] = Clamp16(I16(blue + boost), 0, 255);
    og[x] = Clamp16(I16(smooth + boost), 0, 255);
    orr[x] = Clamp16(I16(red + boost), 0, 255);
  }
}

// The same in full ints, for settings the 16-bit lanes cannot hold: detail
// within the threshold either side of zero is dropped, detail beyond it moves
// towards zero by the threshold, and the boost is formed in 64 bits.
void DemosaicRowWide(RowBuffers& rb, const BYTE* gUp, const BYTE* gMid, const BYTE* gDown, int w, int thr,
                     int gain) {
  auto clamp255 = [](int v) { return static_cast<int16_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
  for (int x = 0; x < w; ++x) {
    const int red = (rb.vRed[x] + 3 * rb.vRed[x + 1] + 3 * rb.vRed[x + 2] + rb.vRed[x + 3]) >> 4;
    const int blue = (rb.vBlue[x] + 3 * rb.vBlue[x + 1] + 3 * rb.vBlue[x + 2] + rb.vBlue[x + 3]) >> 4;
    const int g0 = gMid[x + 1];
    const int n = gMid[x] + gMid[x + 2] + gUp[x + 1] + gDown[x + 1];
    const int d = gUp[x] + gUp[x + 2] + gDown[x] + gDown[x + 2];
    const int smooth = (4 * g0 + 2 * n + d) >> 4;
    int detail = ((8 * g0 - d) >> 2) - smooth;
    if (detail > thr) {
      detail -= thr;
    } else if (detail < -thr) {
      detail += thr;
    } else {
      detail = 0;
    }
    const int boost = static_cast<int>((static_cast<int64_t>(detail) * gain) >> 1);
    rb.b[x] = clamp255(blue + boost);
    rb.g[x] = clamp255(smooth + boost);
    rb.r[x] = clamp255(red + boost);
  }
}

// Colour difference through rows U and V of the matrix, limited in highlights.
void ChromaNarrow(RowBuffers& rb, const int16_t* k, int w) {
  const int16_t k3 = k[3], k4 = k[4], k5 = I16(2 * k[5]);
  const int16_t k6 = k[6], k7 = k[7], k8 = I16(2 * k[8]);
  const int16_t* __restrict b = rb.b;
  const int16_t* __restrict g = rb.g;
  const int16_t* __restrict r = rb.r;
  int16_t* __restrict u = rb.u;
  int16_t* __restrict v = rb.v;
  for (int x = 0; x < w; ++x) {
    const int16_t lim = I16(I16(235 - g[x]) >> 2);
    const int16_t uu = Clamp16(I16(I16(I16(k3 * r[x]) + I16(k4 * g[x]) + I16(k5 * b[x])) >> 5), -127, 127);
    const int16_t vv = Clamp16(I16(I16(I16(k6 * r[x]) + I16(k7 * g[x]) + I16(k8 * b[x])) >> 5), -127, 127);
    u[x] = std::min(uu, lim);
    v[x] = std::min(vv, lim);
  }
}

void ChromaWide(RowBuffers& rb, const int16_t* k, int w) {
  for (int x = 0; x < w; ++x) {
    const int r = rb.r[x], g = rb.g[x], b = rb.b[x];
    int uu = (k[3] * r + k[4] * g + 2 * k[5] * b) >> 5;
    int vv = (k[6] * r + k[7] * g + 2 * k[8] * b) >> 5;
    uu = std::clamp(uu, -127, 127);
    vv = std::clamp(vv, -127, 127);
    const int lim = (235 - g) >> 2;
    rb.u[x] = static_cast<int16_t>(std::min(uu, lim));
    rb.v[x] = static_cast<int16_t>(std::min(vv, lim));
  }
}

// Luminance from the green channel's curve value, the statistics of bright
// pixels, and the pixel rebuilt through the fixed YUV-to-RGB matrix.
void RebuildRow(RowBuffers& rb, const BYTE* __restrict luma, int w, ColourPass& pass) {
  int16_t* __restrict y = rb.y;
  const int16_t* __restrict g = rb.g;
  for (int x = 0; x < w; ++x) y[x] = luma[g[x]];
  const int16_t* __restrict u = rb.u;
  const int16_t* __restrict v = rb.v;
  int sumU = 0;
  int sumV = 0;
  for (int x = 0; x < w; ++x) {
    const int16_t bright = I16(-(y[x] > 130));
    sumU += u[x] & bright;
    sumV += v[x] & bright;
  }
  pass.sumU += sumU;
  pass.sumV += sumV;
  int16_t* __restrict ob = rb.b;
  int16_t* __restrict og = rb.g;
  int16_t* __restrict orr = rb.r;
  for (int x = 0; x < w; ++x) {
    const int16_t yy = I16(19 * y[x]);
    ob[x] = Clamp16(I16(I16(yy + I16(32 * u[x])) >> 4), 0, 255);
    og[x] = Clamp16(I16(I16(yy - I16(6 * u[x]) - I16(13 * v[x])) >> 4), 0, 255);
    orr[x] = Clamp16(I16(I16(yy + I16(26 * v[x])) >> 4), 0, 255);
  }
}

void StoreRow(const RowBuffers& rb, int w, BYTE* __restrict out) {
  const int16_t* __restrict b = rb.b;
  const int16_t* __restrict g = rb.g;
  const int16_t* __restrict r = rb.r;
  for (int x = 0; x < w; ++x) {
    out[3 * x] = static_cast<BYTE>(b[x]);
    out[3 * x + 1] = static_cast<BYTE>(g[x]);
    out[3 * x + 2] = static_cast<BYTE>(r[x]);
  }
}

}  // namespace

bool NarrowSharpening(int16_t threshold, int16_t gain) { return threshold >= 0 && gain >= -64 && gain <= 64; }

bool NarrowColour(const int16_t k[9]) {
  auto weight = [](int a, int b, int c) { return std::abs(a) + std::abs(b) + 2 * std::abs(c); };
  return weight(k[3], k[4], k[5]) <= 128 && weight(k[6], k[7], k[8]) <= 128;
}

void DemosaicRows(const BYTE* frame, const DemosaicGeometry& g, BYTE* plane, int16_t threshold, int16_t gain,
                  ColourPass* colour, BYTE* destination) {
  BuildGreenPlane(frame, g, plane);
  const int w = g.width4;
  const int h = g.height4;
  const size_t stride = static_cast<size_t>(3) * w;
  const bool narrow = NarrowSharpening(threshold, gain);
  const bool narrowColour = colour != nullptr && NarrowColour(colour->k);
  RowBuffers rb{};
  for (int oy = 0; oy < h; ++oy) {
    auto row = [&](int y) { return frame + static_cast<size_t>(y) * g.width; };
    // Red rows are even, blue rows odd; the nearer row of the window weighs 3.
    const bool even = oy % 2 == 0;
    VerticalMix(row(even ? oy + 2 : oy + 1), row(even ? oy : oy + 3), kRedColumns.data(), g.width, rb.vRed);
    VerticalMix(row(even ? oy + 1 : oy + 2), row(even ? oy + 3 : oy), kBlueColumns.data(), g.width, rb.vBlue);
    const BYTE* gUp = plane + static_cast<size_t>(oy) * g.width2;
    const BYTE* gMid = gUp + g.width2;
    const BYTE* gDown = gMid + g.width2;
    if (narrow) {
      DemosaicRowNarrow(rb, gUp, gMid, gDown, w, threshold, gain);
    } else {
      DemosaicRowWide(rb, gUp, gMid, gDown, w, threshold, gain);
    }
    BYTE* out = destination + static_cast<size_t>(h - 1 - oy) * stride;
    if (colour != nullptr) {
      if (narrowColour) {
        ChromaNarrow(rb, colour->k, w);
      } else {
        ChromaWide(rb, colour->k, w);
      }
      RebuildRow(rb, colour->luma, w, *colour);
    }
    StoreRow(rb, w, out);
  }
}
