#include "colspace/colour_tables.h"

#include <cmath>

namespace {

constexpr double RGBToYUVTable[3][3] = {
    {0.2568, 0.5041, 0.09791},
    {-0.1482, -0.291, 0.4392},
    {0.4392, -0.3678, -0.0714},
};

constexpr double SensorCorrectionTable[3][3] = {
    {3.0, -1.0, -0.25},
    {-0.75, 3.0, -0.4},
    {-1.08, -1.5, 6.0},
};

constexpr double kStudioRange = 0.8588235294117647;  // 219 / 255
constexpr double kLumaRowRG = 0.05367647058823529;  // 219/255 / 16
constexpr double kLumaRowB = 0.10735294117647058;   // 219/255 / 8

int16_t SaturateInt16(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 32767.0) return 32767;
  if (value <= -32768.0) return -32768;
  return static_cast<int16_t>(value);
}

}  // namespace

int16_t TruncateToInt16(double value) { return SaturateInt16(std::trunc(value)); }

void BuildLumaTable(BYTE table[256], double gamma, int16_t black, int16_t white, int16_t brightness,
                    int16_t contrast) {
  const int span = white - black;
  const int bias = (brightness - 50) / 3;
  for (int i = 0; i < 256; ++i) {
    const int f = (i * contrast - black * contrast) / 50 + bias;
    int v;
    if (f < 0) {
      v = 0;
    } else if (f >= span) {
      v = 219;
    } else {
      // In double until the final limit, so no gamma can overflow an int.
      const double m = std::trunc(219.0 * std::pow(static_cast<double>(f) / span, gamma));
      const double toe = 4.5 * f;
      const double picked = toe < m ? std::trunc(toe) : m;
      v = picked >= 219.0 ? 219 : (picked > 0.0 ? static_cast<int>(picked) : 0);
    }
    table[i] = static_cast<BYTE>(v);
  }
}

void BuildColourMatrix(double matrix[9], double redGain, double greenGain, double blueGain, int16_t colour) {
  const double gain[3] = {redGain, greenGain, blueGain};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      double sum = 0.0;
      for (int k = 0; k < 3; ++k) sum += RGBToYUVTable[i][k] * SensorCorrectionTable[k][j] * gain[k];
      matrix[3 * i + j] = sum;
    }
  }
  const double s = matrix[0] + matrix[1] + matrix[2];
  const double scale = (0.0625 / s) * kStudioRange;
  for (int i = 0; i < 9; ++i) matrix[i] *= scale;
  matrix[0] = kLumaRowRG;
  matrix[1] = kLumaRowRG;
  matrix[2] = kLumaRowB;
  const double sat = colour * 0.1;
  for (int row = 1; row < 3; ++row) {
    matrix[3 * row + 0] *= sat;
    matrix[3 * row + 1] *= sat;
    matrix[3 * row + 2] *= sat * 0.5;  // stored halved; every user doubles it back
  }
}

void MatrixCoefficients(const double matrix[9], int16_t k[9]) {
  for (int i = 0; i < 9; ++i) k[i] = SaturateInt16(std::round(128.0 * matrix[i]));
}

void BuildRGB16Table(uint16_t* table) {
  auto clampChroma = [](int c) { return c < -112 ? -112 : (c > 112 ? 112 : c); };
  for (int qy = 0; qy < 32; ++qy) {
    const int y = 8 * qy + 4 < 219 ? 8 * qy + 4 : 219;
    for (int qu = 0; qu < 32; ++qu) {
      const int u = clampChroma(8 * qu - 124);
      for (int qv = 0; qv < 32; ++qv) {
        const int v = clampChroma(8 * qv - 124);
        const int r = ClampSixteenths(YUVToRGBMatrix[0][0] * y + YUVToRGBMatrix[0][1] * u + YUVToRGBMatrix[0][2] * v);
        const int g = ClampSixteenths(YUVToRGBMatrix[1][0] * y + YUVToRGBMatrix[1][1] * u + YUVToRGBMatrix[1][2] * v);
        const int b = ClampSixteenths(YUVToRGBMatrix[2][0] * y + YUVToRGBMatrix[2][1] * u + YUVToRGBMatrix[2][2] * v);
        table[(qy << 10) | (qu << 5) | qv] = static_cast<uint16_t>(((r & 0xF8) << 7) | ((g & 0xF8) << 2) | (b >> 3));
      }
    }
  }
}
