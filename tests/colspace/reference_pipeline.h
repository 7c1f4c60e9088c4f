// A deliberately plain, slow re-derivation of the colour pipeline straight from
// its formulas, sharing no code with src/colspace: every pixel is computed on
// its own from its neighbours, into fresh buffers. Tests compare the driver's
// frames with these byte for byte.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace ref {

using Bytes = std::vector<uint8_t>;

struct Settings {
  int brightness = 50;
  int contrast = 50;
  int colour = 50;
  double redGain = 1.0;
  double greenGain = 1.0;
  double blueGain = 1.0;
  int threshold = 1;
  int sharpen = 3;
};

std::array<uint8_t, 256> Luma(const Settings& s, bool yuvOutput);
std::array<double, 9> Matrix(const Settings& s);

struct Stats {
  int biasU = 0;
  int biasV = 0;
};

// "PSHU": the frame as the camera sends it (rows split by column parity), to
// an RGB24 image of (W - 4) x (H - 4), or 10/9 of that when stretch is set.
Bytes Mosaic(const Bytes& raw, int W, int H, const Settings& s, bool stretch, int outW, int outH, Stats* stats);
Bytes Double(const Bytes& rgb, int w, int h);
Bytes ToRGB16(const Bytes& rgb, int w, int h);

// "PYUV": the highlight limit (changes the frame) and its statistics.
Stats PrepareYUV(Bytes& frame, int w, int h, const std::array<uint8_t, 256>& luma);
Bytes YUVToRGB24(const Bytes& frame, int w, int h, const std::array<uint8_t, 256>& luma);
Bytes YUVToRGB16(const Bytes& frame, int w, int h, const std::array<uint8_t, 256>& luma);
// palette: 4 bytes per entry (r, g, b, flags).
Bytes YUVToPal8(const Bytes& frame, int w, int h, const std::array<uint8_t, 256>& luma,
                const std::vector<std::array<uint8_t, 4>>& palette);
Bytes YUVToPlanar(const Bytes& frame, int w, int h, const std::array<uint8_t, 256>& luma, bool uFirst);
Bytes YUVToYUY2(const Bytes& frame, int w, int h, const std::array<uint8_t, 256>& luma);
Bytes YUVToYVU9(const Bytes& frame, int w, int h, const std::array<uint8_t, 256>& luma);
Bytes QCIF(const Bytes& frame160x132);

void WhiteBalance(const Stats& stats, Settings& s);

}  // namespace ref
