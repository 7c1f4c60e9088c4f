// Still-picture files: PNG (through libpng) and JPEG (through libjpeg-turbo)
// from top-down RGB, and BMP holding
// the device-independent bitmap exactly as the driver delivered it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "platform/types.h"

namespace zarncap {

// Writes an 8-bit RGB PNG of width x height from R, G, B bytes, top row
// first. Returns false and fills error when libpng fails.
bool WritePng(std::FILE* file, int width, int height, std::span<const uint8_t> rgb, std::string* error);

// Writes a baseline JPEG of quality 1..100 from R, G, B bytes, top row first.
// Returns false and fills error when libjpeg fails.
bool WriteJpeg(std::FILE* file, int width, int height, std::span<const uint8_t> rgb, int quality, std::string* error);
// The same JPEG into memory (out is replaced).
bool EncodeJpeg(int width, int height, std::span<const uint8_t> rgb, int quality, std::vector<uint8_t>* out,
                std::string* error);

// The bytes of a BMP file for a DIB: the 14-byte file header, the 40-byte info
// header (size, bit count and palette count filled in from the arguments), the
// palette (8-bit only) and the rows. The driver packs rows back to back; BMP
// rows are padded to 4 bytes, so padding is added where a row needs it.
// header describes the DIB (positive height: bottom-up, as delivered).
std::vector<uint8_t> BuildBmp(const BITMAPINFOHEADER& header, std::span<const RGBQUAD> palette,
                              std::span<const uint8_t> pixels);

}  // namespace zarncap
