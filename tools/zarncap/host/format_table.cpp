// The driver's formats as zarncap finds them, and the header a capture
// application builds for one.
#include "tools/zarncap/host/format_table.h"

#include <cctype>

namespace zarncap {
namespace {

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

std::span<const PixelFormat> AllFormats() { return kClientFormats; }

const PixelFormat* FindFormat(std::string_view name) {
  for (const auto& format : kClientFormats) {
    if (SameName(format.name, name)) return &format;
  }
  return nullptr;
}

const PixelFormat* FormatOfHeader(const BITMAPINFOHEADER& header) {
  return ZarncapFormatOf(header.biCompression, header.biBitCount);
}

std::string FormatNames() {
  std::string names;
  for (const auto& format : kClientFormats) {
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

size_t RowBytes(const PixelFormat& format, int width) {
  const size_t pixels = static_cast<size_t>(width);
  switch (format.layout) {
    case Layout::kBgr24: return pixels * 3;
    case Layout::kRgb555:
    case Layout::kYuy2: return pixels * 2;
    case Layout::kPal8:
    case Layout::kI420:
    case Layout::kYv12:
    case Layout::kYvu9: return pixels;
  }
  return 0;
}

BITMAPINFOHEADER MakeFormatHeader(const PixelFormat& format, int width, int height) {
  return ZarncapFormatHeader<BITMAPINFOHEADER>(width, height, format.bitCount, format.compression);
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
