// The table of formats zarncap knows and the header a capture application
// builds from it.
#include "tools/zarncap/host/format_table.h"

#include "zarncap/formats.h"

#include <array>
#include <cctype>

namespace zarncap {
namespace {

// YUY2 is bottom-up: the driver's packed writer stores the first image row in
// the last buffer row, as it does for its RGB formats. The planar YUV writers
// store rows top-down.
constexpr std::array kFormats = {
    PixelFormat{"rgb24", BI_RGB, 24, Layout::kBgr24, true, false},
    PixelFormat{"rgb16", BI_RGB, 16, Layout::kRgb555, true, false},
    PixelFormat{"pal8", BI_RGB, 8, Layout::kPal8, true, false},
    PixelFormat{"i420", FOURCC_I420, 12, Layout::kI420, false, true},
    PixelFormat{"iyuv", FOURCC_IYUV, 12, Layout::kI420, false, true},
    PixelFormat{"yv12", FOURCC_YV12, 12, Layout::kYv12, false, true},
    PixelFormat{"yuy2", FOURCC_YUY2, 16, Layout::kYuy2, true, true},
    PixelFormat{"yvu9", FOURCC_YVU9, 9, Layout::kYvu9, false, true},
};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::span<const PixelFormat> AllFormats() { return kFormats; }

const PixelFormat* FindFormat(std::string_view name) {
  for (const auto& format : kFormats) {
    if (SameName(format.name, name)) return &format;
  }
  return nullptr;
}

const PixelFormat* FormatOfHeader(const BITMAPINFOHEADER& header) {
  for (const auto& format : kFormats) {
    if (header.biCompression != format.compression) continue;
    if (format.compression != BI_RGB || header.biBitCount == format.bitCount) return &format;
  }
  return nullptr;
}

std::string FormatNames() {
  std::string names;
  for (const auto& format : kFormats) {
    if (!names.empty()) names += ", ";
    names += format.name;
  }
  return names;
}

size_t FrameBytes(const PixelFormat& format, int width, int height) {
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  switch (format.layout) {
    case Layout::kBgr24: return pixels * 3;
    case Layout::kRgb555: return pixels * 2;
    case Layout::kPal8: return pixels;
    case Layout::kI420:
    case Layout::kYv12: return pixels + 2 * ((pixels / 4));
    case Layout::kYuy2: return pixels * 2;
    case Layout::kYvu9: return pixels + 2 * (pixels / 16);
  }
  return 0;
}

BITMAPINFOHEADER MakeFormatHeader(const PixelFormat& format, int width, int height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = format.bitCount;
  header.biCompression = format.compression;
  header.biSizeImage = static_cast<DWORD>(FrameBytes(format, width, height));
  header.biXPelsPerMeter = 2000;
  header.biYPelsPerMeter = 2000;
  return header;
}

std::string CompressionText(DWORD compression) {
  if (compression == BI_RGB) return "RGB";
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((compression >> (8 * i)) & 0xFF);
    text += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
  }
  return text;
}

}  // namespace zarncap
