#include <array>

#include "colspace/colspace_state.h"
#include "colspace/reconstruct.h"

// The mosaic: even rows G R G R ..., odd rows B G B G .... Every output pixel
// sits on the corner point between four source pixels. Red and blue are the
// bilinear 9-3-3-1 mix of the four nearest samples of their colour; that mix
// is a [1 3 3 1] x [1 3 3 1] filter over the 4 x 4 window of the mosaic with
// every other colour's samples set to zero, which lets each row be worked
// column-parallel with no per-pixel choice of neighbours. Green comes from the
// green plane (one value per corner point), smoothed, and the detail it loses
// is added back, cored, to all three colours.

namespace {

constexpr int kMaxRow = kDeinterleaveRowBytes;

// Parity masks: red samples stand in odd columns, blue in even ones.
constexpr std::array<int16_t, kMaxRow> ParityMask(int keep) {
  std::array<int16_t, kMaxRow> mask{};
  for (int x = 0; x < kMaxRow; ++x) mask[x] = (x % 2 == keep) ? int16_t{-1} : int16_t{0};
  return mask;
}
alignas(16) constexpr std::array<int16_t, kMaxRow> kRedColumns = ParityMask(1);
alignas(16) constexpr std::array<int16_t, kMaxRow> kBlueColumns = ParityMask(0);

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Green plane: per corner point the mean of the two greens of its 2 x 2 block.
// In the block's two rows the greens sit in alternating columns, so one merged
// "green line" holds a green for every column, and each point averages two
// neighbours of it.
void BuildGreenPlane(const BYTE* frame, const DemosaicGeometry& g, BYTE* plane) {
  BYTE line[kMaxRow];
  for (int gy = 0; gy < g.height2; ++gy) {
    const BYTE* __restrict r0 = frame + static_cast<size_t>(gy) * g.width;
    const BYTE* __restrict r1 = r0 + g.width;
    // Row gy even: greens at even x in r0, odd x in r1; gy odd: the reverse.
    const BYTE* __restrict evenSrc = (gy % 2 == 0) ? r0 : r1;
    const BYTE* __restrict oddSrc = (gy % 2 == 0) ? r1 : r0;
    for (int x = 0; x < g.width; x += 2) {
      line[x] = evenSrc[x];
      line[x + 1] = oddSrc[x + 1];
    }
    BYTE* __restrict out = plane + static_cast<size_t>(gy) * g.width2;
    for (int x = 0; x < g.width2; ++x) out[x] = static_cast<BYTE>((line[x] + line[x + 1]) >> 1);
  }
}

// Vertical [3 1] (near, far) mix of one colour, zero off its columns.
void VerticalMix(const BYTE* __restrict nearRow, const BYTE* __restrict farRow, const int16_t* __restrict mask,
                 int width, int16_t* __restrict out) {
  for (int x = 0; x < width; ++x) out[x] = static_cast<int16_t>((3 * nearRow[x] + farRow[x]) & mask[x]);
}

}  // namespace

BOOL Demosaic(const BYTE* frame, int16_t threshold, int16_t gain, BYTE* destination) {
  const ColSpaceModule& module = ColSpaceState();
  const DemosaicGeometry& g = module.geometry;
  BYTE* plane = module.greenPlane.get();
  if (plane == nullptr || g.width < 5 || g.width > kMaxRow) return FALSE;
  BuildGreenPlane(frame, g, plane);

  const int w = g.width4;
  const int h = g.height4;
  const size_t stride = static_cast<size_t>(3) * w;
  int16_t vRed[kMaxRow];
  int16_t vBlue[kMaxRow];
  for (int oy = 0; oy < h; ++oy) {
    auto row = [&](int y) { return frame + static_cast<size_t>(y) * g.width; };
    // Red rows are even, blue rows odd; the nearer row of the window weighs 3.
    const bool even = oy % 2 == 0;
    VerticalMix(row(even ? oy + 2 : oy + 1), row(even ? oy : oy + 3), kRedColumns.data(), g.width, vRed);
    VerticalMix(row(even ? oy + 1 : oy + 2), row(even ? oy + 3 : oy), kBlueColumns.data(), g.width, vBlue);
    const BYTE* __restrict gUp = plane + static_cast<size_t>(oy) * g.width2;
    const BYTE* __restrict gMid = gUp + g.width2;
    const BYTE* __restrict gDown = gMid + g.width2;
    BYTE* __restrict out = destination + static_cast<size_t>(h - 1 - oy) * stride;
    for (int ox = 0; ox < w; ++ox) {
      const int red = (vRed[ox] + 3 * vRed[ox + 1] + 3 * vRed[ox + 2] + vRed[ox + 3]) >> 4;
      const int blue = (vBlue[ox] + 3 * vBlue[ox + 1] + 3 * vBlue[ox + 2] + vBlue[ox + 3]) >> 4;
      const int g0 = gMid[ox + 1];
      const int n = gMid[ox] + gMid[ox + 2] + gUp[ox + 1] + gDown[ox + 1];
      const int d = gUp[ox] + gUp[ox + 2] + gDown[ox] + gDown[ox + 2];
      const int smooth = (4 * g0 + 2 * n + d) >> 4;
      int detail = ((8 * g0 - d) >> 2) - smooth;
      if (detail > threshold) {
        detail -= threshold;
      } else if (detail < -threshold) {
        detail += threshold;
      } else {
        detail = 0;
      }
      const int boost = (detail * gain) >> 1;
      out[3 * ox + 0] = static_cast<BYTE>(Clamp255(blue + boost));
      out[3 * ox + 1] = static_cast<BYTE>(Clamp255(smooth + boost));
      out[3 * ox + 2] = static_cast<BYTE>(Clamp255(red + boost));
    }
  }
  return TRUE;
}
