// The image formats zarncap can ask the driver for: how each is named on the
// command line, how it is described in a BITMAPINFOHEADER, how big a frame is
// and how its bytes are laid out in the buffer the driver fills.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace zarncap {

enum class Layout {
  kBgr24,   // B, G, R bytes per pixel
  kRgb555,  // little-endian 16-bit words: blue bits 0-4, green 5-9, red 10-14
  kPal8,    // one palette index per pixel
  kI420,    // planes Y, U, V (4:2:0)
  kYv12,    // planes Y, V, U (4:2:0)
  kYuy2,    // packed Y0 U Y1 V (4:2:2)
  kYvu9,    // planes Y, V, U (4:1:0: one chroma sample per 4 x 4 pixels)
};

struct PixelFormat {
  std::string_view name;  // command-line name: rgb24, i420, ...
  DWORD compression;      // biCompression: BI_RGB or a four-character code
  WORD bitCount;          // biBitCount as a capture application sends it
  Layout layout;
  bool bottomUp;  // rows as the driver writes them: last image row first
  bool yuv;       // a YUV format (may be saved as .yuv)
};

// Every format the tool knows, in the order `formats` lists them.
std::span<const PixelFormat> AllFormats();
// The format called name (case-insensitive), or nullptr.
const PixelFormat* FindFormat(std::string_view name);
// The format a header describes (compression and bit count), or nullptr.
const PixelFormat* FormatOfHeader(const BITMAPINFOHEADER& header);
// Comma-separated list of the names, for messages.
std::string FormatNames();

// Bytes of one frame of w x h pixels in the format.
size_t FrameBytes(const PixelFormat& format, int width, int height);
// The 40-byte header a capture application sends to ask for the format.
BITMAPINFOHEADER MakeFormatHeader(const PixelFormat& format, int width, int height);
// "I420", "YUY2", or "RGB" for BI_RGB: a printable compression tag.
std::string CompressionText(DWORD compression);

}  // namespace zarncap
