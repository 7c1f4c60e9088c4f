// The derived colour tables: the luminance curve, the 3x3 colour matrix with
// its integer coefficients, the RGB16 lookup table, and the fixed YUV-to-RGB
// matrix every writer shares.
#pragma once

#include <cstdint>

#include "platform/types.h"

// Rows R, G, B; columns Y, U, V; in sixteenths.
inline constexpr int16_t YUVToRGBMatrix[3][3] = {
    {19, 0, 26},
    {19, -6, -13},
    {19, 32, 0},
};

// A product sum in sixteenths to a byte: negative -> 0, above 255 after the
// shift -> 255.
inline int ClampSixteenths(int value) {
  if (value < 0) return 0;
  value >>= 4;
  return value > 255 ? 255 : value;
}

void BuildLumaTable(BYTE table[256], double gamma, int16_t black, int16_t white, int16_t brightness,
                    int16_t contrast);
void BuildColourMatrix(double matrix[9], double redGain, double greenGain, double blueGain, int16_t colour);
// K[i] = 128 x matrix[i], rounded half away from zero and kept inside int16.
void MatrixCoefficients(const double matrix[9], int16_t k[9]);
// 32768 RGB555 words indexed by (qy << 10) | (qu << 5) | qv.
void BuildRGB16Table(uint16_t* table);
// A double to int16, truncated toward zero; out-of-range values saturate and a
// NaN gives 0 (a raw conversion would be undefined).
int16_t TruncateToInt16(double value);
