#include "colspace/colour_tables.h"
#include "colspace/colspace_state.h"
#include "colspace/reconstruct.h"

// Each pixel's colour difference is taken through the U and V rows of the
// colour matrix (the sensor correction, the gains and the saturation live
// there), limited in highlights, and the pixel is rebuilt from the luminance
// curve of its green and that colour difference. Bright pixels feed the
// white-balance statistics.
BOOL CorrectColour(ColSpace& cs, BYTE* image, LONG width, LONG height) {
  int16_t k[9];
  MatrixCoefficients(cs.colourMatrix, k);
  const int ku[3] = {k[3], k[4], 2 * k[5]};
  const int kv[3] = {k[6], k[7], 2 * k[8]};
  const BYTE* __restrict luma = cs.lumaTable;
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  BYTE* __restrict p = image;
  int64_t sumU = 0;
  int64_t sumV = 0;
  for (size_t i = 0; i < pixels; ++i, p += 3) {
    const int b = p[0];
    const int g = p[1];
    const int r = p[2];
    int u = (ku[0] * r + ku[1] * g + ku[2] * b) >> 5;
    int v = (kv[0] * r + kv[1] * g + kv[2] * b) >> 5;
    u = u < -127 ? -127 : (u > 127 ? 127 : u);
    v = v < -127 ? -127 : (v > 127 ? 127 : v);
    const int lim = (235 - g) >> 2;
    if (u > lim) u = lim;
    if (v > lim) v = lim;
    const int y = luma[g];
    if (y > 130) {
      sumU += u;
      sumV += v;
    }
    const int yy = 19 * y;
    p[0] = static_cast<BYTE>(ClampSixteenths(yy + 32 * u));
    p[1] = static_cast<BYTE>(ClampSixteenths(yy - 6 * u - 13 * v));
    p[2] = static_cast<BYTE>(ClampSixteenths(yy + 26 * v));
  }
  const int64_t n = static_cast<int64_t>(pixels / 8);
  if (n > 0) {
    cs.chromaBiasU = static_cast<int32_t>(sumU / n);
    cs.chromaBiasV = static_cast<int32_t>(sumV / n);
  }
  return TRUE;
}
