// The image formats zarncap can ask the driver for, as the driver's public
// table (include/zarncap/formats.h) lists them: found by name or header, the
// bytes of a frame, and the header a capture application sends.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/types.h"
#include "zarncap/formats.h"

namespace zarncap {

using Layout = ZarncapLayout;
using PixelFormat = ZarncapFormat;

// Every format the tool knows, in the order `formats` lists them.
std::span<const PixelFormat> AllFormats();
// The format called name (case-insensitive), or nullptr.
const PixelFormat* FindFormat(std::string_view name);
// The format a header describes (compression and bit count), or nullptr.
const PixelFormat* FormatOfHeader(const BITMAPINFOHEADER& header);
// Comma-separated list of the names, for messages.
std::string FormatNames();

// Bytes of one frame of w x h pixels in the format, rows back to back.
size_t FrameBytes(const PixelFormat& format, int width, int height);
// Bytes of one row as the driver writes it: a packed format's pixels, a
// planar format's luminance plane (its chroma rows follow at their own width).
size_t RowBytes(const PixelFormat& format, int width);
// The 40-byte header a capture application sends to ask for the format.
BITMAPINFOHEADER MakeFormatHeader(const PixelFormat& format, int width, int height);
// "I420", "YUY2", or "RGB" for BI_RGB: a printable compression tag.
std::string CompressionText(DWORD compression);

}  // namespace zarncap
