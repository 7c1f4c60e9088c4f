// Pixel conversions the tool does on frames the driver delivered: to 24-bit RGB
// for PNG files, to 4:2:0 YUV for Y4M streams, and to the top-down rows that
// raw-video containers expect. The driver's own bytes are never modified.
#pragma once

#include <cstdint>
#include <span>

#include "platform/types.h"
#include "tools/zarncap/host/format_table.h"

namespace zarncap {

// One frame as the driver delivered it.
struct Frame {
  const PixelFormat* format = nullptr;
  int width = 0;
  int height = 0;
  std::span<const uint8_t> data;
  std::span<const RGBQUAD> palette;  // pal8 only: the driver's palette
};

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};
struct Yuv {
  uint8_t y, u, v;
  bool operator==(const Yuv&) const = default;
};

// YUV (studio range: Y 16..235, chroma offset 128) to RGB with the same
// sixteenths the driver uses for its own RGB output: R = 19Y' + 26V,
// G = 19Y' - 6U - 13V, B = 19Y' + 32U (Y' = Y - 16), each >> 4 and clamped.
Rgb YuvToRgb(int y, int u, int v);
// RGB to studio-range BT.601 YUV, as Y4M readers expect it.
Yuv RgbToYuv(int r, int g, int b);

// Bytes of a 4:2:0 image whose chroma planes cover odd edges too.
size_t I420Bytes(int width, int height);

// Whether a frame's size, buffer and format allow conversion.
bool FrameIsComplete(const Frame& frame);

// The frame as R, G, B bytes per pixel, top row first; out holds w * h * 3.
// Returns false (out untouched) for an incomplete frame.
bool FrameToRgb24(const Frame& frame, std::span<uint8_t> out);
// The frame as planar Y, U, V 4:2:0, top row first; out holds I420Bytes.
// RGB and palette frames go through rgbScratch (w * h * 3 bytes).
bool FrameToI420(const Frame& frame, std::span<uint8_t> out, std::span<uint8_t> rgbScratch);
// Top-down R, G, B to 4:2:0, chroma averaged over each 2 x 2 block.
void Rgb24ToI420(std::span<const uint8_t> rgb, int width, int height, std::span<uint8_t> out);
// The frame's own bytes with its rows top-down: bottom-up formats (RGB, pal8
// and the driver's YUY2) flipped row by row, the planar YUV formats (already
// top-down) as they are. What raw-video containers and .yuv files hold.
bool FrameToTopDown(const Frame& frame, std::span<uint8_t> out);

}  // namespace zarncap
