#include <cstring>

#include "colspace/colspace_state.h"
#include "colspace/reconstruct.h"

// The 10/9 enlargement: every 9 samples become 10 through fixed kernels in
// sixty-fourths, first along the rows, then down the columns.

namespace {

// Ten outputs from x[-1] .. x[9] (x points at x0).
inline void StretchBlock(const int* x, int* o) {
  o[0] = 63 * x[0] + 2 * x[-1] - x[1];
  o[1] = 61 * x[1] + 7 * x[0] - 4 * x[2];
  o[2] = 55 * x[2] + 14 * x[1] - 5 * x[3];
  o[3] = 48 * x[3] + 22 * x[2] - 6 * x[4];
  o[4] = 40 * x[4] + 30 * x[3] - 6 * x[5];
  o[5] = 40 * x[4] + 30 * x[5] - 6 * x[3];
  o[6] = 48 * x[5] + 22 * x[6] - 6 * x[4];
  o[7] = 55 * x[6] + 14 * x[7] - 5 * x[5];
  o[8] = 61 * x[7] + 7 * x[8] - 4 * x[6];
  o[9] = 63 * x[8] + 2 * x[9] - x[7];
}

inline BYTE Sixtyfourths(int sum) {
  if (sum < 0) return 0;
  if (sum >= 16384) return 255;
  return static_cast<BYTE>(sum >> 6);
}

constexpr int kMaxSamples = kStretchLineBytes / 3 - 2;  // 355

// Stretches n samples (framed: in[-1] and in[n] are valid) into 10n/9
// outputs written at out[i * outStep].
void StretchLine(const int* in, int n, BYTE* out, size_t outStep) {
  int block[10];
  for (int b = 0; b < n / 9; ++b) {
    StretchBlock(in + 9 * b, block);
    for (int t = 0; t < 10; ++t) out[(10 * b + t) * outStep] = Sixtyfourths(block[t]);
  }
}

}  // namespace

bool CanStretch10by9(LONG width, LONG height, LONG newWidth, LONG newHeight) {
  if (width <= 0 || height <= 0) return false;
  if (width % 9 != 0 || height % 9 != 0 || newWidth % 10 != 0 || newHeight % 10 != 0) return false;
  if (newWidth != 10 * width / 9 || newHeight != 10 * height / 9) return false;
  return 3 * (width + 2) <= kStretchLineBytes && 3 * (height + 2) <= kStretchLineBytes;
}

BOOL SpreadRows(BYTE* image, LONG rowBytes, LONG rows, LONG newStride, LONG newRows) {
  if (!(rowBytes < newStride && rows < newRows)) return FALSE;
  for (LONG y = rows - 1; y >= 1; --y) {
    std::memmove(image + static_cast<size_t>(y) * newStride, image + static_cast<size_t>(y) * rowBytes,
                 static_cast<size_t>(rowBytes));
  }
  return TRUE;
}

BOOL Stretch10by9(BYTE* image, LONG width, LONG height, LONG newWidth, LONG newHeight) {
  if (!CanStretch10by9(width, height, newWidth, newHeight)) return FALSE;
  const size_t stride = static_cast<size_t>(3) * newWidth;
  if (!SpreadRows(image, 3 * width, height, 3 * newWidth, newHeight)) return FALSE;
  int line[3][kMaxSamples + 2];
  // Along each row, per colour byte.
  for (LONG y = 0; y < height; ++y) {
    BYTE* row = image + static_cast<size_t>(y) * stride;
    for (int ch = 0; ch < 3; ++ch) {
      int* l = line[ch] + 1;
      for (LONG x = 0; x < width; ++x) l[x] = row[3 * x + ch];
      l[-1] = l[0];
      l[width] = l[width - 1];
    }
    for (int ch = 0; ch < 3; ++ch) StretchLine(line[ch] + 1, width, row + ch, 3);
  }
  // Down each byte column.
  int column[kMaxSamples + 2];
  for (size_t c = 0; c < stride; ++c) {
    int* col = column + 1;
    for (LONG y = 0; y < height; ++y) col[y] = image[static_cast<size_t>(y) * stride + c];
    col[-1] = col[0];
    col[height] = col[height - 1];
    StretchLine(col, height, image + c, stride);
  }
  return TRUE;
}
