// The image formats of the driver's headers, in one table: the format codes
// (FOURCCs), and every format an application may ask for in DVM_FORMAT with
// how its frame is laid out and what other frameworks call it. Adding a
// format is one row of kClientFormats (and the driver's writer for it); every
// host reads its list, names and twins from here.
#pragma once

#include <cstdint>
#include <string_view>

#include "zarncap/word.h"

constexpr ZarncapWord ZarncapFourCC(char a, char b, char c, char d) {
  return static_cast<ZarncapWord>(static_cast<unsigned char>(a)) |
         static_cast<ZarncapWord>(static_cast<unsigned char>(b)) << 8 |
         static_cast<ZarncapWord>(static_cast<unsigned char>(c)) << 16 |
         static_cast<ZarncapWord>(static_cast<unsigned char>(d)) << 24;
}

// Output formats (biCompression; BI_RGB, 0, for the RGB and palette formats).
inline constexpr ZarncapWord FOURCC_I420 = ZarncapFourCC('I', '4', '2', '0');
inline constexpr ZarncapWord FOURCC_IYUV = ZarncapFourCC('I', 'Y', 'U', 'V');  // I420 by another name
inline constexpr ZarncapWord FOURCC_YV12 = ZarncapFourCC('Y', 'V', '1', '2');
inline constexpr ZarncapWord FOURCC_YUY2 = ZarncapFourCC('Y', 'U', 'Y', '2');
inline constexpr ZarncapWord FOURCC_YVU9 = ZarncapFourCC('Y', 'V', 'U', '9');
// The camera formats: the raw colour mosaic and the camera-made YUV data.
inline constexpr ZarncapWord FOURCC_PSHU = ZarncapFourCC('P', 'S', 'H', 'U');
inline constexpr ZarncapWord FOURCC_PYUV = ZarncapFourCC('P', 'Y', 'U', 'V');
// A compression the driver knows only to refuse.
inline constexpr ZarncapWord FOURCC_CYUV = ZarncapFourCC('c', 'y', 'u', 'v');

// How the bytes of one frame lie in the buffer the driver fills.
enum class ZarncapLayout {
  kBgr24,   // B, G, R bytes per pixel
  kRgb555,  // little-endian 16-bit words: blue bits 0-4, green 5-9, red 10-14
  kPal8,    // one palette index per pixel
  kI420,    // planes Y, U, V (4:2:0)
  kYv12,    // planes Y, V, U (4:2:0)
  kYuy2,    // packed Y0 U Y1 V (4:2:2)
  kYvu9,    // planes Y, V, U (4:1:0: one chroma sample per 4 x 4 pixels)
};

// One format an application may ask for. The twins name the same bytes in
// other frameworks; an empty twin means the format is not offered there.
struct ZarncapFormat {
  std::string_view name;     // zarncap's name for it: rgb24, i420, ...
  ZarncapWord compression;   // biCompression an application sends: 0 or a FOURCC
  unsigned short bitCount;   // biBitCount an application sends
  ZarncapWord stored;        // biCompression the driver keeps and reports (IYUV is kept as I420)
  ZarncapLayout layout;
  bool bottomUp;             // rows as the driver writes them: last image row first
  bool yuv;                  // a YUV format (luma and colour difference)
  ZarncapWord v4l2;          // V4L2 pixel format (v4l2_fourcc: the same byte order), 0: none
  std::string_view v4l2Description;  // the text V4L2 gives that pixel format
  std::string_view ffmpeg;   // FFmpeg pixel format (av_get_pix_fmt name) of the bytes as the driver writes them
  std::string_view spa;      // PipeWire's video format (SPA_VIDEO_FORMAT_<spa>), "": none
};

// Every format, in the order hosts list them. YUY2 is bottom-up: the driver's
// packed writer stores the first image row in the last buffer row, as it does
// for its RGB formats; the planar YUV writers store rows top-down. The 8-bit
// palette format has no V4L2 twin, and IYUV (I420 by another name) none of its
// own. FFmpeg reads YV12 and YVU9 as yuv420p and yuv410p with the chroma
// planes swapped, which a movie's codec tag (the FOURCC) says.
inline constexpr ZarncapFormat kClientFormats[] = {
    {"rgb24", 0, 24, 0, ZarncapLayout::kBgr24, true, false, ZarncapFourCC('B', 'G', 'R', '3'), "24-bit BGR 8-8-8", "bgr24", "BGR"},
    {"rgb16", 0, 16, 0, ZarncapLayout::kRgb555, true, false, ZarncapFourCC('R', 'G', 'B', 'O'), "16-bit A/XRGB 1-5-5-5", "rgb555le",
     "RGB15"},
    {"pal8", 0, 8, 0, ZarncapLayout::kPal8, true, false, 0, "", "pal8", ""},
    {"i420", FOURCC_I420, 12, FOURCC_I420, ZarncapLayout::kI420, false, true, ZarncapFourCC('Y', 'U', '1', '2'), "Planar YUV 4:2:0",
     "yuv420p", "I420"},
    {"iyuv", FOURCC_IYUV, 12, FOURCC_I420, ZarncapLayout::kI420, false, true, 0, "", "yuv420p", ""},
    {"yv12", FOURCC_YV12, 12, FOURCC_YV12, ZarncapLayout::kYv12, false, true, ZarncapFourCC('Y', 'V', '1', '2'), "Planar YVU 4:2:0",
     "yuv420p", "YV12"},
    {"yuy2", FOURCC_YUY2, 16, FOURCC_YUY2, ZarncapLayout::kYuy2, true, true, ZarncapFourCC('Y', 'U', 'Y', 'V'), "YUYV 4:2:2", "yuyv422",
     "YUY2"},
    {"yvu9", FOURCC_YVU9, 9, FOURCC_YVU9, ZarncapLayout::kYvu9, false, true, ZarncapFourCC('Y', 'V', 'U', '9'), "Planar YVU 4:1:0",
     "yuv410p", "YVU9"},
};

// The row of the format an application's header asks for (its compression,
// and for BI_RGB its bit count), or nullptr.
constexpr const ZarncapFormat* ZarncapFormatOf(ZarncapWord compression, unsigned bitCount) {
  for (const ZarncapFormat& format : kClientFormats) {
    if (format.compression != compression) continue;
    if (compression != 0 || format.bitCount == bitCount) return &format;
  }
  return nullptr;
}

// The image size of a header: the driver's one rule for every compression it
// knows. Rows are rounded up to whole groups of 4 pixels; an unlisted
// compression (IYUV among them: the driver keeps it as I420) has size 0, a
// negative size describes no buffer. Computed in 64 bits and saturated at
// 0xFFFFFFFF, so an absurd size can never wrap into a small one.
constexpr ZarncapWord ZarncapImageSize(std::int64_t width, std::int64_t height, unsigned bitCount,
                                       ZarncapWord compression) {
  if (width < 0 || height < 0) return 0;
  const std::int64_t padded = (width + 3) / 4 * 4;
  const std::int64_t base = height * padded;
  std::int64_t size = 0;
  switch (compression) {
    case 0: size = base * bitCount / 8; break;
    case FOURCC_I420:
    case FOURCC_YV12:
    case FOURCC_PYUV: size = base * 3 / 2; break;
    case FOURCC_YUY2:
    case FOURCC_CYUV: size = base * 2; break;
    case FOURCC_YVU9: size = base * 9 / 8; break;
    case FOURCC_PSHU: size = base; break;
    default: break;
  }
  return size > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<ZarncapWord>(size);
}

// The compression the driver keeps for one an application asks for (IYUV is
// kept as I420); any other comes back as it is.
constexpr ZarncapWord ZarncapStoredCompression(ZarncapWord compression) {
  for (const ZarncapFormat& format : kClientFormats) {
    if (format.compression == compression) return format.stored;
  }
  return compression;
}

// The one way to make a fresh image header (a BITMAPINFOHEADER or any record
// with its fields): header size 40, one plane, both resolutions 2000, width x
// height at bitCount and compression, and the image size of the bytes the
// driver delivers for it. The driver's camera and default formats and every
// host's request are made here.
template <class Header>
constexpr Header ZarncapFormatHeader(std::int32_t width, std::int32_t height, unsigned bitCount,
                                     ZarncapWord compression) {
  Header header{};
  header.biSize = sizeof(Header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<decltype(header.biBitCount)>(bitCount);
  header.biCompression = compression;
  header.biSizeImage = ZarncapImageSize(width, height, bitCount, ZarncapStoredCompression(compression));
  header.biXPelsPerMeter = 2000;
  header.biYPelsPerMeter = 2000;
  return header;
}
