// The format codes (FOURCCs) of the driver's image headers: the YUV output
// formats an application may ask for in DVM_FORMAT, and the camera's own
// formats the driver reports for its raw frames.
#pragma once

#include "zarncap/word.h"

constexpr ZarncapWord ZarncapFourCC(char a, char b, char c, char d) {
  return static_cast<ZarncapWord>(static_cast<unsigned char>(a)) |
         static_cast<ZarncapWord>(static_cast<unsigned char>(b)) << 8 |
         static_cast<ZarncapWord>(static_cast<unsigned char>(c)) << 16 |
         static_cast<ZarncapWord>(static_cast<unsigned char>(d)) << 24;
}

// Output formats (biCompression; BI_RGB for the RGB and palette formats).
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
